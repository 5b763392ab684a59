// The recording's compression in the browser program, which has no zlib: the
// page's zlib-compatible coder (the `pako` script beside index.html) does the
// deflating and inflating, with zlib's settings, so the bytes are a zlib
// stream any zlib reads (platform/record/packing.hpp). Unpacking is bounded as
// zlib's is by its output buffer: the input goes in small slices and the
// stream is given up as soon as it makes more than it may.
#include <emscripten.h>

#include <array>

#include "platform/record/packing.hpp"
#include "platform/record/recording_format.hpp"

// clang-format off
EM_JS(int, tlvx_js_packer_new, (int inflating), {
    const coders = (Module.tlvxCoders = Module.tlvxCoders || { next: 1, all: new Map() });
    const id = coders.next++;
    const c = inflating ? new pako.Inflate() : new pako.Deflate({ level: 6 });
    // Inflate hands over its output buffer only when full; what it wrote
    // since the last look is taken from the buffer itself.
    c.pieces = []; c.buf = null; c.taken = 0;
    c.take = (upto) => {
        if (c.strm.output !== c.buf) { c.buf = c.strm.output; c.taken = 0; }
        if (upto > c.taken) c.pieces.push(c.buf.slice(c.taken, upto));
        c.taken = Math.max(c.taken, upto);
    };
    c.onData = (chunk) => c.take(chunk.length);
    c.onEnd = () => {};
    coders.all.set(id, c);
    return id;
});
EM_JS(void, tlvx_js_packer_free, (int id), { Module.tlvxCoders.all.delete(id); });
// Runs `bytes` through the coder (a sync flush); the output, at most `limit`
// bytes, waits in the coder for tlvx_js_packer_take. Returns its length, or
// -1 when the coder failed, made more than `limit` or left input over, or,
// with `whole`, when the stream did not end.
EM_JS(double, tlvx_js_packer_push, (int id, const char* data, double bytes, double limit, int whole), {
    const c = Module.tlvxCoders.all.get(id);
    const input = HEAPU8.subarray(data, data + bytes);
    c.pieces = [];
    const made = () => c.pieces.reduce((n, p) => n + p.length, 0);
    if (!(c instanceof pako.Inflate)) return c.push(input, 2) && !c.err ? made() : -1;
    for (let at = 0; at < input.length; at += 1024) {
        if (!c.push(input.subarray(at, Math.min(input.length, at + 1024)), 2) || c.err) return -1;
        if (c.strm.output) c.take(c.strm.next_out);
        if (made() > limit) return -1;
        if (c.ended && at + 1024 < input.length) return -1;
    }
    if (c.strm.avail_in !== 0 || (whole && !c.ended)) return -1;
    return made();
});
EM_JS(void, tlvx_js_packer_take, (int id, char* out), {
    const c = Module.tlvxCoders.all.get(id);
    let at = out;
    for (const p of c.pieces) { HEAPU8.set(p, at); at += p.length; }
    c.pieces = [];
});
EM_JS(double, tlvx_js_pack_whole, (const char* data, double bytes), {
    const packed = pako.deflate(HEAPU8.subarray(data, data + bytes), { level: 9 });
    Module.tlvxPackedWhole = packed;
    return packed.length;
});
EM_JS(void, tlvx_js_take_whole, (char* out), {
    HEAPU8.set(Module.tlvxPackedWhole, out);
    Module.tlvxPackedWhole = null;
});
// clang-format on

namespace tlvx::packing {

namespace {

std::array<uint32_t, 256> crc_table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

// Runs `n` bytes through a coder of the page into `out`.
bool push(int id, const char* data, size_t n, size_t limit, bool whole, std::string& out) {
    const double made =
        tlvx_js_packer_push(id, data, static_cast<double>(n), static_cast<double>(limit), whole ? 1 : 0);
    if (made < 0) return false;
    out.resize(static_cast<size_t>(made));
    tlvx_js_packer_take(id, out.data());
    return true;
}

}  // namespace

uint32_t crc32_of(const char* data, size_t n) {
    static const std::array<uint32_t, 256> table = crc_table();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = table[(c ^ static_cast<uint8_t>(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string pack_whole(const std::string& raw) {
    std::string out(static_cast<size_t>(tlvx_js_pack_whole(raw.data(), static_cast<double>(raw.size()))), '\0');
    tlvx_js_take_whole(out.data());
    return out;
}

bool unpack_whole(const std::string& packed, uint64_t raw_len, std::string& raw) {
    const int id = tlvx_js_packer_new(1);
    const bool ok =
        push(id, packed.data(), packed.size(), static_cast<size_t>(raw_len), true, raw) && raw.size() == raw_len;
    tlvx_js_packer_free(id);
    return ok;
}

struct StreamPacker::Coder {
    int id = tlvx_js_packer_new(0);
    ~Coder() { tlvx_js_packer_free(id); }
};

StreamPacker::StreamPacker() : coder_(std::make_unique<Coder>()) {}
StreamPacker::~StreamPacker() = default;

bool StreamPacker::pack(const std::string& raw, std::string& out) {
    return push(coder_->id, raw.data(), raw.size(), SIZE_MAX / 2, false, out);
}

struct StreamUnpacker::Coder {
    int id = tlvx_js_packer_new(1);
    std::string piece;
    ~Coder() { tlvx_js_packer_free(id); }
};

StreamUnpacker::StreamUnpacker() : coder_(std::make_unique<Coder>()) {}
StreamUnpacker::~StreamUnpacker() = default;

bool StreamUnpacker::unpack(const char* packed, size_t packed_len, char* out, size_t raw_len) {
    if (raw_len == 0 && packed_len == 0) return true;
    std::string& piece = coder_->piece;
    if (!push(coder_->id, packed, packed_len, raw_len, false, piece) || piece.size() != raw_len) return false;
    std::copy(piece.begin(), piece.end(), out);
    return true;
}

}  // namespace tlvx::packing
