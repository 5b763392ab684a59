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
// The writer flushes a chunk at least twice a second and at least every 4096
// passes, so a killed game leaves
// all but its last moments; a reader stops at the first damaged chunk and
// replays up to the last pass that is complete before it.
//
// This header holds the types both ends share and the field helpers the
// writer and the reader use; recording_writer.hpp and recording_reader.hpp
// hold the two ends.
#include <cstdint>
#include <cstdio>
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

// --- Events -----------------------------------------------------------------

enum class EventKind : uint8_t { BeginPass = 1, Time = 2, Poll = 3, EmptyPolls = 4, Quit = 5, End = 6 };

struct Event {
    EventKind kind = EventKind::BeginPass;
    double time = 0.0;              // Time
    std::vector<std::string> keys;  // Poll
    uint64_t count = 0;             // EmptyPolls
    int32_t status = 0;             // End
};

// --- Field helpers ------------------------------------------------------------

namespace recording_bytes {

inline constexpr char kMagic[8] = {'T', 'L', 'V', 'X', 'R', 'E', 'C', 0x1A};

// What the writer can produce. A recording is untrusted input: the reader
// refuses anything beyond these before it allocates or loops.
constexpr uint32_t kMaxHeader = 64 * 1024;  // the writer's header is about 1 KiB
constexpr uint64_t kMaxStartFiles = 64;     // the writer lists 10
constexpr uint64_t kMaxNameBytes = 255;     // a file name, as the file systems allow
constexpr uint64_t kMaxCopyFiles = 8192;    // the tables can name about 6700 pictures and masks
// The world copy unpacked: the file bytes plus each file's name and two lengths.
constexpr uint64_t kMaxCopyRaw = static_cast<uint64_t>(kWorldCopyLimit) + kMaxCopyFiles * (kMaxNameBytes + 20);
// The writer writes a chunk once 1 MiB of events has gathered; the largest
// event (a poll of 1024 keys) is 17 KiB.
constexpr uint32_t kMaxChunkRaw = (1u << 20) + (64u << 10);
// The writer writes a chunk at the latest when it holds this many passes
// (a window at full speed or a headless run passes far more than that in the
// half second between chunks); the reader refuses a chunk of more than four
// times as many, so a crafted file cannot make it replay millions of passes a
// chunk. Recordings of format 1 made before the writer had the bound may
// hold more and read only up to such a chunk.
constexpr int64_t kChunkPasses = 4096;
constexpr int64_t kMaxChunkPasses = 4 * kChunkPasses;
// Deflate's worst case for incompressible bytes, with room to spare.
constexpr uint64_t packed_bound(uint64_t raw) { return raw + raw / 1000 + 1024; }
// The writer starts a new run of key polls that found nothing at this count;
// a paused window polls about 50 times a second, so a run is never near it.
constexpr uint64_t kMaxEmptyPollRun = 1u << 24;

// A name a world copy may hold: a plain file name of one folder, not hidden,
// 1 to kMaxNameBytes bytes, without control bytes.
bool plain_world_name(const std::string& name);

uint64_t bits_of(double v);
double double_of(uint64_t b);
void put_varint(std::string& out, uint64_t v);
inline uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
inline int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }
void put_u32(std::string& out, uint32_t v);
void put_u64(std::string& out, uint64_t v);
void put_string(std::string& out, const std::string& s);
uint32_t crc_of(const char* data, size_t n);

// Reads fields from a byte buffer; every read checks the length first.
struct Cursor {
    const std::string& b;
    size_t at = 0;
    void need(uint64_t n) const {
        if (n > b.size() - at) throw RecordingError("the recording's header is cut short");
    }
    uint64_t varint() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            need(1);
            const auto c = static_cast<uint8_t>(b[at++]);
            v |= static_cast<uint64_t>(c & 0x7F) << shift;
            if (!(c & 0x80)) return v;
        }
        throw RecordingError("the recording's header holds a malformed number");
    }
    uint64_t u64() {
        need(8);
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(b[at++])) << (8 * i);
        return v;
    }
    std::string string() {
        const uint64_t n = varint();
        need(n);
        std::string s = b.substr(at, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
        return s;
    }
};

inline uint32_t u32_of(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t u64_of(const unsigned char* p) { return u32_of(p) | static_cast<uint64_t>(u32_of(p + 4)) << 32; }

inline bool read_exact(std::FILE* f, void* to, size_t n) { return n == 0 || std::fread(to, 1, n, f) == n; }

}  // namespace recording_bytes

}  // namespace tlvx
