#pragma once
// Reading a recording (the layout is in recording_format.hpp), and the
// summary of a whole recording.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/record/packing.hpp"
#include "platform/record/recording_format.hpp"

namespace tlvx {

class RecordingReader {
public:
    // Reads the header from `path`. Throws RecordingError for a file that is
    // not a recording, of another format version, or with a damaged header.
    explicit RecordingReader(const std::string& path);
    // The same over an open file, which the reader closes.
    explicit RecordingReader(std::FILE* file, const std::string& name);
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    const RecordingHeader& header() const { return header_; }
    // The embedded world copy (empty when there is none). Throws RecordingError
    // when it is damaged.
    std::vector<EmbeddedFile> world_copy();

    // The next event, false at the end of the usable events. After false,
    // damage() tells why reading stopped early ("" when the file simply ended
    // on a whole chunk).
    bool next(Event& e);
    const std::string& damage() const { return damage_; }
    // The passes begun before a chunk refused for holding more passes than
    // the writer puts into one (kMaxChunkPasses); INT64_MAX while none is.
    // Those of the refused chunk are not to be played.
    int64_t passes_before_refused_chunk() const { return passes_before_refused_; }

private:
    void open_header();
    bool fill();           // inflate the next chunk into raw_; false at the end or on damage
    uint64_t remaining();  // bytes of the file after the read position
    bool get_byte(uint8_t& b);
    bool get_varint(uint64_t& v);

    // Owned from the start, so a header refused in the constructor closes it.
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> owned_;
    std::FILE* file_ = nullptr;
    std::string name_;
    RecordingHeader header_;
    long copy_offset_ = 0;
    packing::StreamUnpacker unpacker_;
    std::string raw_;
    size_t at_ = 0;
    uint64_t last_bits_ = 0;
    int64_t chunk_ = 0;
    int64_t passes_ = 0;            // passes begun so far
    int64_t chunk_first_pass_ = 0;  // passes_ when the current chunk was read
    int64_t passes_before_refused_ = INT64_MAX;
    std::string damage_;
    bool ended_ = false;
};

// What a whole recording holds, read once from start to end.
struct RecordingSummary {
    int64_t complete_passes = 0;  // passes whose every event is in the recording
    bool ended = false;           // the session's end is recorded
    int32_t exit_status = 0;      // when ended
    bool ended_by_quit = false;   // a "quit requested" answer ended it (window closed, signal)
    double first_time = 0.0, last_time = 0.0;
    int64_t time_readings = 0;
    int64_t polls = 0;
    std::vector<std::pair<std::string, int64_t>> keys;  // key text and how often, in order of first use
    int64_t keys_pressed = 0;
    std::string damage;  // why reading stopped early, or ""
};
RecordingSummary summarize_recording(RecordingReader& reader);

}  // namespace tlvx
