#pragma once
// Shared by the display tests: an open screen over a temporary data directory,
// reading text back off the screen, and BMP files built in memory.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/image.hpp"
#include "display/screen.hpp"
#include "shell/error.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

struct ScreenFixture : ::testing::Test {
    TempDir dir;
    FakePlatform platform;
    State s;
    ScreenFixture() {
        init_state(s, dir.path(), platform);
        SCREEN_OPEN(s, 13);
    }
    void put(const std::string& name, const std::string& bytes) { write_file(dir.file(name), bytes); }
    void fill_screen(uint8_t v) { s.screen.pixels.fill(v); }
};

// The error number a call ends with, or 0 when it returns normally.
inline int error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// The character shown in a text cell (bits set where the pixel is not the
// background 0), or '?' when no glyph matches.
inline char cell_char(const State& s, int row, int col) {
    uint8_t bits[8];
    for (int y = 0; y < 8; ++y) {
        bits[y] = 0;
        for (int x = 0; x < 8; ++x)
            if (s.screen.at((col - 1) * 8 + x, (row - 1) * 8 + y) != 0) bits[y] |= static_cast<uint8_t>(0x80 >> x);
    }
    for (int pass = 0; pass < 2; ++pass)
        for (int ch = pass ? 0 : 32; ch < (pass ? 256 : 127); ++ch)
            if (std::equal(bits, bits + 8, kFont8x8[ch])) return static_cast<char>(ch);
    return '?';
}

inline std::string screen_text(const State& s, int row, int col, int len) {
    std::string out;
    for (int i = 0; i < len; ++i) out += cell_char(s, row, col + i);
    return out;
}

// The foreground colour of a text cell: its first pixel that is not the background 0.
inline int cell_fg(const State& s, int row, int col) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (uint8_t v = s.screen.at((col - 1) * 8 + x, (row - 1) * 8 + y)) return v;
    return 0;
}

struct Bmp {
    int info_size = 40;
    int width = 4, height = 4;  // height < 0: rows stored top row first
    int bpp = 8;
    int planes = 1;
    uint32_t compression = 0;
    bool zero_offset = false;
    std::vector<Rgb> colours;                        // the colour table (padded with black)
    std::function<int(int x, int y)> pixel = [](int x, int y) { return (x + 3 * y) & 0xFF; };  // y = 0 is the top

    std::string bytes() const {
        auto u16 = [](std::string& o, uint32_t v) { o += char(v & 0xFF), o += char((v >> 8) & 0xFF); };
        auto u32 = [&](std::string& o, uint32_t v) { u16(o, v & 0xFFFF), u16(o, v >> 16); };
        const int h = height < 0 ? -height : height;
        const int entries = bpp <= 8 ? 1 << bpp : 0;
        const int entry_size = info_size == 12 ? 3 : 4;
        const uint32_t offset = static_cast<uint32_t>(14 + info_size + entries * entry_size);
        const int row_bytes = (width * bpp + 31) / 32 * 4;
        std::string f = "BM";
        u32(f, offset + static_cast<uint32_t>(row_bytes * h));
        u32(f, 0);
        u32(f, zero_offset ? 0 : offset);
        u32(f, static_cast<uint32_t>(info_size));
        if (info_size == 12) {
            u16(f, static_cast<uint32_t>(width)), u16(f, static_cast<uint32_t>(height));
            u16(f, static_cast<uint32_t>(planes)), u16(f, static_cast<uint32_t>(bpp));
        } else {
            u32(f, static_cast<uint32_t>(width)), u32(f, static_cast<uint32_t>(height));
            u16(f, static_cast<uint32_t>(planes)), u16(f, static_cast<uint32_t>(bpp));
            u32(f, compression), u32(f, static_cast<uint32_t>(row_bytes * h));
            f += std::string(static_cast<size_t>(info_size - 24), '\0');
        }
        for (int i = 0; i < entries; ++i) {
            Rgb c = i < static_cast<int>(colours.size()) ? colours[static_cast<size_t>(i)] : Rgb{};
            f += char(c.b), f += char(c.g), f += char(c.r);
            if (entry_size == 4) f += '\0';
        }
        for (int fr = 0; fr < h; ++fr) {
            const int y = height < 0 ? fr : h - 1 - fr;
            std::string row(static_cast<size_t>(row_bytes), '\0');
            for (int x = 0; x < width && bpp <= 8; ++x) {
                const int v = pixel(x, y) & ((1 << bpp) - 1);
                const int bit = x * bpp;
                row[static_cast<size_t>(bit / 8)] = static_cast<char>(
                    static_cast<uint8_t>(row[static_cast<size_t>(bit / 8)]) | (v << (8 - bpp - bit % 8)));
            }
            f += row;
        }
        return f;
    }
};

}  // namespace tlvx::test
