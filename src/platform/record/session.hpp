#pragma once
// Starting a recording, and preparing the world a recording replays on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/record/recording_reader.hpp"
#include "platform/record/recording_writer.hpp"
#include "platform/record/world_copy.hpp"

namespace tlvx {

// This program's version, as written into recordings.
std::string program_version();

// Creates the recording `path` for a session on the world in `data_dir`: the
// header with the world's start state, and a copy of the world when it is small.
std::unique_ptr<RecordingWriter> start_recording(const std::string& path, const std::string& data_dir);

// Writes the world copy kept in a recording into `dir`, which must not exist
// or be an empty folder (not a link). The files go into a private folder
// beside `dir` that becomes `dir` only when complete. Throws RecordingError
// when there is no copy, the copy is damaged or `dir` cannot take it, and
// StopRequested after SIGINT or SIGTERM; either way nothing is left behind.
void unpack_world_copy(RecordingReader& reader, const std::string& dir);

// A temporary copy of a world, removed with everything in it on destruction.
class TemporaryWorld {
public:
    // From the recording's own world copy when it has one, otherwise from the
    // world's files in `data_dir` (sparse files stay sparse), into a private
    // folder in $TMPDIR (or /tmp). Throws RecordingError when that cannot be
    // made, and StopRequested after SIGINT or SIGTERM, leaving nothing.
    TemporaryWorld(RecordingReader& reader, const std::string& data_dir);
    ~TemporaryWorld();
    TemporaryWorld(const TemporaryWorld&) = delete;
    TemporaryWorld& operator=(const TemporaryWorld&) = delete;
    const std::string& dir() const;

private:
    std::unique_ptr<PrivateWorld> world_;
};

// A recording made ready to play back (`tlvx --play`, the page's Watch
// recording): the world it plays on (a temporary copy, or with `apply` the
// world in `data_dir` itself) checked against the recording's start, the
// passes it holds whole, and a reader at its first event. Throws
// RecordingError when the recording cannot be read or the world is not the
// one it starts from, StopRequested like TemporaryWorld.
class PreparedPlayback {
public:
    PreparedPlayback(const std::string& file, const std::string& data_dir, bool apply);
    const std::string& dir() const { return dir_; }
    // The passes to play: those before any damage.
    int64_t passes() const { return summary_.complete_passes; }
    // Why the recording stops early, or "".
    const std::string& damage() const { return summary_.damage; }
    RecordingReader& reader() { return *reader_; }

private:
    std::optional<TemporaryWorld> copy_;
    std::string dir_;
    RecordingSummary summary_;
    std::unique_ptr<RecordingReader> reader_;
};

}  // namespace tlvx
