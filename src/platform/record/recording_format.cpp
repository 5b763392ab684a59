#include "platform/record/recording_format.hpp"

#include <algorithm>
#include <cstring>

#include "platform/record/packing.hpp"

namespace tlvx::recording_bytes {

uint64_t bits_of(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double double_of(uint64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

void put_varint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_u64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_string(std::string& out, const std::string& s) {
    put_varint(out, s.size());
    out += s;
}

uint32_t crc_of(const char* data, size_t n) { return packing::crc32_of(data, n); }

bool plain_world_name(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameBytes || name[0] == '.') return false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace tlvx::recording_bytes
