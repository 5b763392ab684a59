#pragma once
// Shared by the display tests: an open screen over a temporary data directory,
// text read back off the screen, BMP files built in memory, and view cells.
#include <gtest/gtest.h>

#include <map>

#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "display/image.hpp"
#include "display/screen.hpp"
#include "display/view.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

using Cell = std::function<uint8_t(int c, int r)>;
// A layer holding value v at each listed (c, r, v), 0 elsewhere.
inline Cell cells(std::map<std::pair<int, int>, uint8_t> at) {
    return [at](int c, int r) { return at.count({c, r}) ? at.at({c, r}) : uint8_t(0); };
}

struct ScreenFixture : ::testing::Test {
    TempDir dir;
    FakePlatform platform;
    State s;
    ScreenFixture() { init_state(s, dir.path(), platform), SCREEN_OPEN(s, 13), s.OBJ_M(0) = 1; }
    void put(const std::string& name, const std::string& bytes) { write_file(dir.file(name), bytes); }
    uint8_t px(int x, int y) const { return s.screen.at(x, y); }
    void make_map(int w, int h, Cell ground, Cell creatures = nullptr, Cell structures = nullptr) {
        Cell layers[] = {ground, creatures, structures, nullptr, nullptr};
        for (int k = 0; k < 5; ++k) put("tlvx_gr" + std::to_string(k + 1) + ".tmp", layer_bytes(w, h, layers[k]));
        open_layer_files(s);
    }
    void tile(int z, uint8_t colour) { put(s.M_S(z) = "g" + std::to_string(z), solid_picture(24, 24, colour)); }
    // Object n: frame f is a solid picture of colour base + f with an all-0 mask.
    void object(int n, int size, int mode, uint8_t base) {
        s.OBJ(n) = size, s.OBJ_M(n) = mode;
        for (int f = 1; f <= 4; ++f) {
            put(s.OBJ_S(n, f) = "o" + std::to_string(n * 10 + f), solid_picture(size, size, uint8_t(base + f)));
            put(mask_name(s.OBJ_S(n, f)), solid_picture(size, size, 0));
        }
    }
    void draw_cell(int x, int y) { s.X = x, s.Y = y, full_cell_draw(s); }
};

// The error number a call ends with, or 0 when it returns normally.
inline int error_of(const std::function<void()>& f) { return catch_error(f).number; }

// The text shown from a cell on, wrapping like the cursor: each cell's glyph by its set pixels.
inline std::string screen_text(const State& s, int row, int col, int len) {
    std::string out(size_t(len), '?');
    for (int i = 0, at = (row - 1) * 40 + col - 1; i < len; ++i, ++at) {
        uint8_t bits[8] = {};
        for (int p = 0; p < 64; ++p)
            if (s.screen.at(at % 40 * 8 + p % 8, at / 40 * 8 + p / 8)) bits[p / 8] |= uint8_t(0x80 >> p % 8);
        for (int ch = 255; ch >= 0; --ch)  // printable glyphs first
            if ((ch >= 32 || out[size_t(i)] == '?') && std::equal(bits, bits + 8, kFont8x8[ch]))
                out[size_t(i)] = char(ch);
    }
    return out;
}

// The foreground colour of a text cell: its first pixel that is not the background 0.
inline int cell_fg(const State& s, int row, int col) {
    for (int p = 0; p < 64; ++p)
        if (uint8_t v = s.screen.at((col - 1) * 8 + p % 8, (row - 1) * 8 + p / 8)) return v;
    return 0;
}

inline void put_le(std::string& o, int64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) o += char(v >> 8 * k);
}

struct Bmp {
    int info_size = 40, width = 4, height = 4, bpp = 8;  // height < 0: top row first
    bool zero_offset = false;
    std::vector<Rgb> colours = {};  // the colour table (padded with black)
    std::function<int(int x, int y)> pixel = [](int x, int y) { return (x + 3 * y) & 0xFF; };  // y = 0 is the top

    std::string bytes() const {
        const int h = std::abs(height), entries = bpp <= 8 ? 1 << bpp : 0, entry = info_size == 12 ? 3 : 4;
        const int offset = 14 + info_size + entries * entry, row_bytes = (width * bpp + 31) / 32 * 4;
        const int dim = entry == 3 ? 2 : 4;  // width and height have 16 bits in the 12-byte header
        std::string f = "BM";
        put_le(f, offset + row_bytes * h, 4), put_le(f, 0, 4), put_le(f, zero_offset ? 0 : offset, 4);
        put_le(f, info_size, 4), put_le(f, width, dim), put_le(f, height, dim), put_le(f, 1, 2), put_le(f, bpp, 2);
        if (info_size > 12) f += std::string(size_t(info_size - 16), '\0');  // no compression
        for (int i = 0; i < entries; ++i) {
            const Rgb c = i < int(colours.size()) ? colours[size_t(i)] : Rgb{};
            f += {char(c.b), char(c.g), char(c.r)}, f += std::string(size_t(entry - 3), '\0');
        }
        for (int fr = 0; fr < h; ++fr) {
            std::string row(size_t(row_bytes), '\0');
            for (int x = 0, bit = 0; x < width && bpp <= 8; ++x, bit += bpp)
                row[size_t(bit / 8)] |=
                    char((pixel(x, height < 0 ? fr : h - 1 - fr) & ((1 << bpp) - 1)) << (8 - bpp - bit % 8));
            f += row;
        }
        return f;
    }
};

}  // namespace tlvx::test
