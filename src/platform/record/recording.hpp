#pragma once
// Recordings of a session: every input the game takes from outside (each
// clock reading, each key poll's keys, each "quit requested" answer), pass by
// pass, so that a session replays bit for bit on the same starting world.
//
// File layout (little-endian):
//   "TLVXREC" 0x1A | u32 format version | u32 header length | header | u32 crc32(header)
//   world copy, when the header says so: u64 raw length | u64 packed length | u32 crc32(packed) | packed
//   then chunks until the end: "CK" | u32 packed length | u32 raw length | u32 crc32(packed) | packed
// The chunks are pieces of one deflate stream (each ends on a sync flush), so
// each can be inflated as soon as it is read and no chunk depends on a later
// one. Their inflated bytes are a stream of events:
//   0x01 a pass begins              0x02 clock reading: zigzag varint of the bit
//   0x03 poll: varint n, n keys      pattern's difference from the previous reading
//        (varint length, bytes)     0x04 polls that found no key: varint count
//   0x05 quit requested answered yes 0x06 the session ended: zigzag varint exit status
// The writer flushes a chunk at least twice a second, so a killed game leaves
// all but its last moments; a reader stops at the first damaged chunk and
// replays up to the last pass that is complete before it.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tlvx {

constexpr uint32_t kRecordingFormat = 1;
// Worlds whose files total at most this many bytes are copied into the recording.
constexpr int64_t kWorldCopyLimit = 4 * 1024 * 1024;

// An unreadable or unusable recording (the message says why).
class RecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One file of the world as it was when the session started. size is -1 for a
// file that did not exist (a layer file the game then creates).
struct StartFile {
    std::string name;
    int64_t size = -1;
    uint64_t hash = 0;
    bool operator==(const StartFile&) const = default;
};

struct EmbeddedFile {
    std::string name;
    std::string bytes;
};

struct RecordingHeader {
    uint32_t format = kRecordingFormat;
    std::string program_version;
    int64_t created = 0;  // seconds since 1970, UTC
    std::vector<StartFile> files;
    bool has_world_copy = false;
};

// Content hash of a file, independent of how it is stored: the file is hashed
// in 64 KiB blocks and the block hashes are hashed in turn; a block inside a
// hole of a sparse file gets the hash of zeros without being read. So a
// 65535 by 65535 map that is mostly holes hashes in milliseconds, and a copy
// with the holes filled in hashes the same. Returns false when the file does
// not exist or is not a regular file; throws RecordingError when it cannot be read.
bool hash_file(const std::string& path, int64_t& size, uint64_t& hash);

// The files the game reads at start-up (palette, save file, the world
// description the save file names, tile and object tables) and the five layer
// files, with their sizes and hashes, in the order the game reads them.
std::vector<StartFile> world_start_state(const std::string& data_dir);

// The first file of `recorded` that differs in `data_dir`, as a message naming
// it; empty when the world is the recorded one.
std::string first_world_difference(const std::vector<StartFile>& recorded, const std::string& data_dir);

// The regular files directly in `data_dir` to keep as a world copy, when they
// total at most kWorldCopyLimit (empty otherwise). Skips screenshots and
// recordings.
std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir);

// Copies a file keeping its holes (a sparse layer file stays sparse).
void copy_file_sparse(const std::string& from, const std::string& to);

// --- Events -----------------------------------------------------------------

enum class EventKind : uint8_t { BeginPass = 1, Time = 2, Poll = 3, EmptyPolls = 4, Quit = 5, End = 6 };

struct Event {
    EventKind kind = EventKind::BeginPass;
    double time = 0.0;              // Time
    std::vector<std::string> keys;  // Poll
    uint64_t count = 0;             // EmptyPolls
    int32_t status = 0;             // End
};

// --- Writing ----------------------------------------------------------------

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
    // Writes a chunk when one is due (half a second since the last); called by
    // every event, so the caller never has to.
    void flush_if_due();
    // Writes a chunk now.
    void flush();
    // Seconds between chunks at most (0.5 unless set); 0 writes one at every pass and poll.
    void set_flush_interval(double seconds) { flush_ns_ = static_cast<int64_t>(seconds * 1e9); }
    // Bytes written to the file so far.
    int64_t bytes_written() const { return written_; }

private:
    void put_empty_polls();
    void write_bytes(const void* data, size_t n);

    std::FILE* file_ = nullptr;
    std::string path_;
    struct Deflater;
    std::unique_ptr<Deflater> z_;
    std::string raw_;     // events not yet in a chunk
    std::string packed_;  // reused output buffer
    uint64_t last_bits_ = 0;
    uint64_t empty_polls_ = 0;
    int64_t last_flush_ns_ = 0;
    int64_t flush_ns_ = 500'000'000;
    int64_t written_ = 0;
    bool finished_ = false;
};

// --- Reading ----------------------------------------------------------------

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

private:
    void open_header();
    bool fill();           // inflate the next chunk into raw_; false at the end or on damage
    uint64_t remaining();  // bytes of the file after the read position
    bool get_byte(uint8_t& b);
    bool get_varint(uint64_t& v);

    std::FILE* file_ = nullptr;
    std::string name_;
    RecordingHeader header_;
    long copy_offset_ = 0;
    struct Inflater;
    std::unique_ptr<Inflater> z_;
    std::string raw_;
    size_t at_ = 0;
    uint64_t last_bits_ = 0;
    int64_t chunk_ = 0;
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
