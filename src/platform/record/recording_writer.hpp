#pragma once
// Writing a recording (the layout is in recording_format.hpp).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/record/packing.hpp"
#include "platform/record/recording_format.hpp"

namespace tlvx {

class RecordingWriter {
public:
    // Creates `path` and writes the header (and the world copy, if given).
    // Throws RecordingError when the file exists already or cannot be written.
    RecordingWriter(const std::string& path, const RecordingHeader& header,
                    const std::vector<EmbeddedFile>& world_copy);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    void begin_pass();
    void time(double reading);
    void poll(const std::vector<std::string>& keys);
    void quit();
    // Writes the end event and the last chunk and closes the file.
    void finish(int32_t exit_status);
    // Writes a chunk when one is due (half a second since the last, 1 MiB of
    // events or kChunkPasses passes gathered); called by
    // every event, so the caller never has to.
    void flush_if_due();
    // Writes a chunk now.
    void flush();
    // Seconds between chunks at most (0.5 unless set); 0 writes one at every pass and poll.
    void set_flush_interval(double seconds) { flush_ns_ = static_cast<int64_t>(seconds * 1e9); }
    // Bytes written to the file so far.
    int64_t bytes_written() const { return written_; }
    // Why the recording stopped early ("" while it is written): a write
    // failed, the file was cut after its last whole chunk and closed, and
    // every later call does nothing. The call that failed threw RecordingError
    // with this message.
    const std::string& failure() const { return failure_; }

private:
    void put_empty_polls();
    void write_bytes(const void* data, size_t n);
    std::string cannot_write(int error) const;
    [[noreturn]] void give_up(const std::string& why);

    std::FILE* file_ = nullptr;
    std::string path_;
    packing::StreamPacker packer_;
    std::string raw_;     // events not yet in a chunk
    std::string packed_;  // reused output buffer
    uint64_t last_bits_ = 0;
    uint64_t empty_polls_ = 0;
    int64_t last_flush_ns_ = 0;
    int64_t flush_ns_ = 500'000'000;
    int64_t written_ = 0;
    int64_t good_ = 0;            // bytes of the file that hold whole chunks
    int64_t passes_ = 0;          // passes begun
    int64_t passes_flushed_ = 0;  // passes begun when the last whole chunk was written
    std::string failure_;
};
}  // namespace tlvx
