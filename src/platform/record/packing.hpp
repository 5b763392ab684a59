#pragma once
// The recording's compression: zlib streams and their CRC-32, behind one small
// interface. The native programs use zlib (packing_zlib.cpp); the browser
// program, which has no zlib, the page's zlib-compatible coder
// (platform/web/packing_page.cpp). Both write and read the same bytes, so a
// recording made in one replays in the other.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tlvx::packing {

uint32_t crc32_of(const char* data, size_t n);

// `raw` as one whole zlib stream at the best compression. Throws RecordingError.
std::string pack_whole(const std::string& raw);
// The bytes of the whole zlib stream `packed`, which must unpack to exactly
// `raw_len` bytes (no more is ever produced); false when it does not.
bool unpack_whole(const std::string& packed, uint64_t raw_len, std::string& raw);

// One zlib stream written in pieces, each ending on a sync flush, so that a
// reader can unpack every piece as soon as it has it.
class StreamPacker {
public:
    StreamPacker();
    ~StreamPacker();
    StreamPacker(const StreamPacker&) = delete;
    StreamPacker& operator=(const StreamPacker&) = delete;
    // Appends the packed piece of `raw` to `out` (cleared first); false when
    // the coder failed.
    bool pack(const std::string& raw, std::string& out);

private:
    struct Coder;
    std::unique_ptr<Coder> coder_;
};

// The reading end of a StreamPacker's pieces, in order.
class StreamUnpacker {
public:
    StreamUnpacker();
    ~StreamUnpacker();
    StreamUnpacker(const StreamUnpacker&) = delete;
    StreamUnpacker& operator=(const StreamUnpacker&) = delete;
    // Unpacks the next piece into `out`, which must take exactly `raw_len`
    // bytes and no input may be left over; false otherwise (the stream is
    // then of no further use).
    bool unpack(const char* packed, size_t packed_len, char* out, size_t raw_len);

private:
    struct Coder;
    std::unique_ptr<Coder> coder_;
};

}  // namespace tlvx::packing
