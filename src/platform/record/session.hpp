#pragma once
// Starting a recording, and preparing the world a recording replays on.
#include <memory>
#include <string>

#include "platform/record/recording_reader.hpp"
#include "platform/record/recording_writer.hpp"

namespace tlvx {

// This program's version, as written into recordings.
std::string program_version();

// Creates the recording `path` for a session on the world in `data_dir`: the
// header with the world's start state, and a copy of the world when it is small.
std::unique_ptr<RecordingWriter> start_recording(const std::string& path, const std::string& data_dir);

// Writes the world copy kept in a recording into `dir`, which must not exist
// or be empty. Throws RecordingError when there is no copy or `dir` holds files.
void unpack_world_copy(RecordingReader& reader, const std::string& dir);

// A temporary copy of a world, removed with everything in it on destruction.
class TemporaryWorld {
public:
    // From the recording's own world copy when it has one, otherwise from the
    // regular files directly in `data_dir` (sparse files stay sparse).
    TemporaryWorld(RecordingReader& reader, const std::string& data_dir);
    ~TemporaryWorld();
    TemporaryWorld(const TemporaryWorld&) = delete;
    TemporaryWorld& operator=(const TemporaryWorld&) = delete;
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

}  // namespace tlvx
