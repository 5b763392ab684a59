// The recording's compression through zlib (the native programs; the browser
// program has platform/web/packing_page.cpp in its place).
#include <zlib.h>

#include <algorithm>

#include "platform/record/packing.hpp"
#include "platform/record/recording_format.hpp"

namespace tlvx::packing {

uint32_t crc32_of(const char* data, size_t n) {
    uLong c = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const uInt part = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        c = crc32(c, reinterpret_cast<const Bytef*>(data), part);
        data += part;
        n -= part;
    }
    return static_cast<uint32_t>(c);
}

std::string pack_whole(const std::string& raw) {
    uLongf n = compressBound(static_cast<uLong>(raw.size()));
    std::string out(n, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        throw RecordingError("cannot compress the world copy");
    out.resize(n);
    return out;
}

bool unpack_whole(const std::string& packed, uint64_t raw_len, std::string& raw) {
    raw.assign(raw_len, '\0');
    uLongf got = static_cast<uLongf>(raw.size());
    return uncompress(reinterpret_cast<Bytef*>(raw.data()), &got, reinterpret_cast<const Bytef*>(packed.data()),
                      static_cast<uLong>(packed.size())) == Z_OK &&
           got == raw_len;
}

struct StreamPacker::Coder {
    z_stream z{};
    bool ready = false;
    ~Coder() {
        if (ready) deflateEnd(&z);
    }
};

StreamPacker::StreamPacker() : coder_(std::make_unique<Coder>()) {
    if (deflateInit(&coder_->z, 6) != Z_OK) throw RecordingError("cannot start compressing the recording");
    coder_->ready = true;
}

StreamPacker::~StreamPacker() = default;

bool StreamPacker::pack(const std::string& raw, std::string& out) {
    z_stream& z = coder_->z;
    out.resize(deflateBound(&z, static_cast<uLong>(raw.size())) + 64);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    size_t out_len = 0;
    do {
        if (out.size() - out_len < 64) out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + out_len);
        z.avail_out = static_cast<uInt>(out.size() - out_len);
        const int rc = deflate(&z, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
        out_len = out.size() - z.avail_out;
    } while (z.avail_out == 0 || z.avail_in > 0);
    out.resize(out_len);
    return true;
}

struct StreamUnpacker::Coder {
    z_stream z{};
    bool ready = false;
    ~Coder() {
        if (ready) inflateEnd(&z);
    }
};

StreamUnpacker::StreamUnpacker() : coder_(std::make_unique<Coder>()) {
    if (inflateInit(&coder_->z) != Z_OK) throw RecordingError("cannot start reading the recording");
    coder_->ready = true;
}

StreamUnpacker::~StreamUnpacker() = default;

bool StreamUnpacker::unpack(const char* packed, size_t packed_len, char* out, size_t raw_len) {
    if (raw_len == 0 && packed_len == 0) return true;
    z_stream& z = coder_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed));
    z.avail_in = static_cast<uInt>(packed_len);
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(raw_len);
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    return (rc == Z_OK || rc == Z_BUF_ERROR) && z.avail_out == 0 && z.avail_in == 0;
}

}  // namespace tlvx::packing
