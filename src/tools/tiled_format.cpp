#include "tools/tiled_format.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

namespace tlvx::tools::tiled {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kChunk = 64 * 1024;

std::array<int8_t, 256> decode_table() {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return t;
}

void flush_to(const ByteSink& out, std::string& buf) {
    if (buf.empty()) return;
    out(reinterpret_cast<const uint8_t*>(buf.data()), buf.size());
    buf.clear();
}

}  // namespace

void Base64Encoder::write(const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        pending_[npending_++] = data[i];
        if (npending_ < 3) continue;
        const uint32_t v = uint32_t{pending_[0]} << 16 | uint32_t{pending_[1]} << 8 | pending_[2];
        buf_ += kAlphabet[v >> 18];
        buf_ += kAlphabet[(v >> 12) & 63];
        buf_ += kAlphabet[(v >> 6) & 63];
        buf_ += kAlphabet[v & 63];
        npending_ = 0;
        if (buf_.size() >= kChunk) flush_to(out_, buf_);
    }
}

void Base64Encoder::finish() {
    if (npending_ > 0) {
        const uint32_t v = uint32_t{pending_[0]} << 16 | (npending_ > 1 ? uint32_t{pending_[1]} << 8 : 0);
        buf_ += kAlphabet[v >> 18];
        buf_ += kAlphabet[(v >> 12) & 63];
        buf_ += npending_ > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        buf_ += '=';
        npending_ = 0;
    }
    flush_to(out_, buf_);
}

void Base64Decoder::write(const char* text, size_t n) {
    static const std::array<int8_t, 256> table = decode_table();
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            if (nacc_ < 2 || ++padding_ + nacc_ > 4) throw std::runtime_error("misplaced '=' in the base64 data");
            continue;
        }
        const int8_t v = table[static_cast<uint8_t>(c)];
        if (v < 0 || padding_ > 0) throw std::runtime_error("a character that is not base64 in the data");
        acc_ = acc_ << 6 | static_cast<uint32_t>(v);
        if (++nacc_ == 4) {
            buf_ += static_cast<char>(acc_ >> 16);
            buf_ += static_cast<char>((acc_ >> 8) & 0xFF);
            buf_ += static_cast<char>(acc_ & 0xFF);
            acc_ = 0;
            nacc_ = 0;
            if (buf_.size() >= kChunk) flush_to(out_, buf_);
        }
    }
}

void Base64Decoder::finish() {
    // Groups of 2 or 3 characters carry 1 or 2 bytes, padded or not.
    if (nacc_ == 1) throw std::runtime_error("the base64 data is cut short");
    if (nacc_ == 2) buf_ += static_cast<char>(acc_ >> 4);
    if (nacc_ == 3) {
        buf_ += static_cast<char>(acc_ >> 10);
        buf_ += static_cast<char>((acc_ >> 2) & 0xFF);
    }
    acc_ = 0;
    nacc_ = 0;
    padding_ = 0;
    flush_to(out_, buf_);
}

Deflater::Deflater(ByteSink out) : out_(std::move(out)) {
    if (deflateInit(&z_, Z_BEST_SPEED) != Z_OK) throw std::runtime_error("cannot start zlib compression");
    buf_.resize(kChunk);
}

Deflater::~Deflater() { deflateEnd(&z_); }

void Deflater::run(int flush) {
    int ret = Z_OK;
    do {
        z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
        z_.avail_out = static_cast<uInt>(buf_.size());
        ret = deflate(&z_, flush);
        if (ret == Z_STREAM_ERROR) throw std::runtime_error("zlib compression failed");
        const size_t have = buf_.size() - z_.avail_out;
        if (have > 0) out_(reinterpret_cast<const uint8_t*>(buf_.data()), have);
    } while (z_.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
}

void Deflater::write(const uint8_t* data, size_t n) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(n);
    run(Z_NO_FLUSH);
}

void Deflater::finish() {
    z_.next_in = nullptr;
    z_.avail_in = 0;
    run(Z_FINISH);
}

Inflater::Inflater(ByteSink out) : out_(std::move(out)) {
    // 15 + 32: a window of 32 KiB, zlib or gzip header detected.
    if (inflateInit2(&z_, 15 + 32) != Z_OK) throw std::runtime_error("cannot start zlib decompression");
    buf_.resize(kChunk);
}

Inflater::~Inflater() { inflateEnd(&z_); }

void Inflater::write(const uint8_t* data, size_t n) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(n);
    // Run until the input is used up and the output buffer was not filled
    // (a full buffer may leave more output waiting inside zlib).
    bool full = false;
    while (z_.avail_in > 0 || full) {
        if (ended_) {
            if (z_.avail_in > 0) throw std::runtime_error("data after the end of the compressed stream");
            break;
        }
        z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
        z_.avail_out = static_cast<uInt>(buf_.size());
        const int ret = inflate(&z_, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) ended_ = true;
        else if (ret != Z_OK && ret != Z_BUF_ERROR)
            throw std::runtime_error(std::string("the compressed data is corrupt") +
                                     (z_.msg ? std::string(": ") + z_.msg : ""));
        const size_t have = buf_.size() - z_.avail_out;
        if (have > 0) out_(reinterpret_cast<const uint8_t*>(buf_.data()), have);
        full = z_.avail_out == 0;
        if (ret == Z_BUF_ERROR && have == 0) break;
    }
}

void Inflater::finish() {
    if (!ended_) throw std::runtime_error("the compressed data is cut short");
}

Progress::Progress(bool on, const char* verb, int64_t total)
    : on_(on), verb_(verb), total_(std::max<int64_t>(total, 1)) {}

Progress::~Progress() {
    if (on_ && shown_ >= 0 && done_ < total_) std::fputc('\n', stderr);
}

void Progress::step(const char* what) {
    ++done_;
    const int pct = static_cast<int>(done_ * 100 / total_);
    if (!on_ || pct == shown_) return;
    shown_ = pct;
    const int filled = pct * 40 / 100;
    std::fprintf(stderr, "\r%s %-10s [%s%s] %3d%%", verb_, what, std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(40 - filled), '.').c_str(), pct);
    if (done_ == total_) std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string tileset_file(const std::string& stem, const char* tileset) { return stem + "-" + tileset + ".tsj"; }
std::string atlas_file(const std::string& stem, const char* tileset) { return stem + "-" + tileset + ".png"; }

}  // namespace tlvx::tools::tiled
