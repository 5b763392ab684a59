#include "base/printable.hpp"

#include <cstdio>

namespace tlvx {

namespace {

void escape(std::string& out, unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
}

// The length of the well-formed UTF-8 sequence at `at` of a character from
// U+00A0 up (so no C1 control, U+0080 to U+009F, which some terminals obey as
// an escape), or 0.
size_t utf8_length(const std::string& text, size_t at) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = b(0);
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (lead == 0xC2) n = 2, lo = 0xA0;
    else if (lead >= 0xC3 && lead <= 0xDF) n = 2;
    else if (lead == 0xE0) n = 3, lo = 0xA0;
    else if (lead == 0xED) n = 3, hi = 0x9F;  // no surrogates
    else if (lead >= 0xE1 && lead <= 0xEF) n = 3;
    else if (lead == 0xF0) n = 4, lo = 0x90;
    else if (lead >= 0xF1 && lead <= 0xF3) n = 4;
    else if (lead == 0xF4) n = 4, hi = 0x8F;
    if (n == 0 || at + n > text.size() || b(1) < lo || b(1) > hi) return 0;
    for (size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF) return 0;
    return n;
}

}  // namespace

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            if (const size_t n = utf8_length(text, at)) {
                out.append(text, at, n);
                at += n;
            } else {
                escape(out, c);
                ++at;
            }
            continue;
        }
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7F) escape(out, c);
        else out += static_cast<char>(c);
        ++at;
    }
    return out;
}

}  // namespace tlvx
