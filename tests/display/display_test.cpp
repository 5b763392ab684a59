// The display: pictures loaded and drawn, text and the status rows on the screen, the view's cells,
// clamp and marker. Each test runs on an open screen over a temporary data directory.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "display/image.hpp"
#include "display/screen.hpp"
#include "display/status.hpp"
#include "display/view.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

using Cell = std::function<uint8_t(int c, int r)>;
// A layer holding value v at each listed (c, r, v), 0 elsewhere.
Cell cells(std::map<std::pair<int, int>, uint8_t> at) {
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
        for (int k = 0; k < 5; ++k) put(kLayerNames[k], layer_bytes(w, h, layers[k]));
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

// The text shown from a cell on, wrapping like the cursor: each cell's glyph by its set pixels.
std::string screen_text(const State& s, int row, int col, int len) {
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
int cell_fg(const State& s, int row, int col) {
    for (int p = 0; p < 64; ++p)
        if (uint8_t v = s.screen.at((col - 1) * 8 + p % 8, (row - 1) * 8 + p / 8)) return v;
    return 0;
}

void put_le(std::string& o, int64_t v, int bytes) {
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

struct ImageTest : ScreenFixture {
    int draw(std::string name, int32_t x = 0, int32_t y = 0, std::string mode = "pset") {
        return catch_error([&] { GRAPHICPUT(s, name, x, y, mode); }).number;
    }
    int load(const std::string& bytes) {
        put("p.pic", bytes);
        return catch_error([&] { load_image(s, "p.pic"); }).number;
    }
    int word(size_t i) const { return s.SCN[i] | s.SCN[i + 1] << 8; }
};

// A long block file (254) holding `data`, after a long image header of `words` when given.
std::string long_block(const std::string& data, std::vector<int64_t> words = {}) {
    std::string f = "\xFE"s, head;
    for (int64_t w : words) put_le(head, w, 4);
    if (!words.empty()) head += std::string(12, '\0');
    put_le(f, int64_t(head.size() + data.size()), 4);
    return f + head + data;
}
std::string ramp(int n, int from = 0) {  // bytes from, from + 1, ...
    std::string r;
    for (int i = 0; i < n; ++i) r += char(from + i);
    return r;
}

// The 12th character of a name becomes "v" in the caller's variable. The on-screen test decides whether a
// (missing) file is even opened; modes other than pset, and, or load without drawing; or and and combine.
TEST_F(ImageTest, WhenPicturesAreLoadedAndDrawn) {
    put("abcdefg.08x", solid_picture(2, 2, 5)), put("abcdefgh.08v", solid_picture(2, 2, 6));
    std::string names[] = {"abcdefg.08x", "abcdefgh.08x", "abcdefgh.08xyz"}, mode = "pset";
    const std::string after[] = {"abcdefg.08x", "abcdefgh.08v", "abcdefgh.08vyz"};
    const int shown[] = {5, 6, 6}, err[] = {0, 0, ERR_FILE_NOT_FOUND};
    for (int i = 0, x = 0; i < 3; ++i) {
        EXPECT_EQ(catch_error([&] { GRAPHICPUT(s, names[i], x, x, mode); }).number * 100 + px(0, 0),
                  err[i] * 100 + shown[i]);
        EXPECT_EQ(names[i], after[i]);
    }
    const int tries[][3] = {{616, 0, 2}, {617, 0, 0}, {0, 327, 0}, {INT32_MAX, 0, 0}};
    for (auto& t : tries) EXPECT_EQ(draw("missing.pic", t[0], t[1]), t[2]) << t[0] << "," << t[1];
    EXPECT_EQ(draw(""), 0);
    put("p.pic", solid_picture(4, 4, 9)), s.screen.pixels.fill(3);
    EXPECT_EQ(draw("p.pic", 0, 0, "PSET") * 1000 + s.SCN[4] * 100 + px(0, 0), 903);  // loaded, not drawn
    put("p", solid_picture(8, 8, 0x3C)), s.screen.pixels.fill(0x0F);  // "or" and "and" combine bits with the screen's
    draw("p", 20, 20, "or"), draw("p", 30, 30, "and");
    EXPECT_EQ(std::tuple(px(20, 20), px(27, 27), px(30, 30), px(28, 28)), std::tuple(0x3F, 0x3F, 0x0C, 0x0F));
}

// kept: the game opens a picture name from its tables that leads out of the
// world folder ("../", "..\\"), as names have always been read. mended: the
// tools' state (names_stay_in_folder) refuses it, error 2 naming it, and
// opens nothing; a name inside the folder draws as ever.
TEST_F(ImageTest, NamesLeavingTheFolderAreReadByTheGameAndNotByTheTools) {
    std::filesystem::create_directory(dir.file("w"));
    s.data_dir = dir.file("w");
    put("o.pic", solid_picture(2, 2, 7)), put("w/in.pic", solid_picture(2, 2, 9));
    for (const std::string name : {"../o.pic", "..\\o.pic", "./../o.pic"}) {
        s.screen.pixels.fill(0);
        EXPECT_EQ(draw(name) * 100 + px(0, 0), 7) << name;
    }
    s.names_stay_in_folder = true;
    for (const std::string name : {"../o.pic", "..\\o.pic", "./../o.pic"}) {
        s.screen.pixels.fill(0);
        std::string n = name, mode = "pset";
        int32_t x = 0;
        const Caught c = catch_error([&] { GRAPHICPUT(s, n, x, x, mode); });
        EXPECT_EQ(std::tuple(c.number, px(0, 0)), std::tuple(int32_t{ERR_FILE_NOT_FOUND}, 0)) << name;
        EXPECT_NE(c.place.find("\"" + name + "\": the name leads out of the world folder"), std::string::npos)
            << c.place;
    }
    EXPECT_EQ(draw("in.pic") * 100 + px(0, 0), 9);
    // What leaves the folder: a ".." part after backslashes become separators,
    // an absolute path, a drive letter; not names merely holding dots.
    for (const char* out : {"..", "../x", "..\\x", "a/../../x", "a\\..", "/etc/x", "\\x", "C:x", "c:\\x", "./../x"})
        EXPECT_TRUE(name_leaves_folder(out)) << out;
    for (const char* in : {"", "x", "..x", "x..", "...", "a/..b/c", "./x", ".\\x", "sub/x.pic", "1:x", "grass_01.pcv"})
        EXPECT_FALSE(name_leaves_folder(in)) << in;
}

// Pixel (x, y) of picture (px, py) lands at (x + px, y + py) when on the screen and inside the buffer. Block
// data shorter than its length loads what it has; longer is cut at the buffer's end.
TEST_F(ImageTest, HeaderWordsClippingAndTheBufferEnd) {
    s.SCN.fill(0x55);
    ASSERT_EQ(load(solid_picture(10, 30, 0xAA).substr(0, 7 + 200)), 0);
    EXPECT_EQ(s.SCN[199] * 256 + s.SCN[200], 0xAA55);
    ASSERT_EQ(load(long_block(ramp(3000))), 0);
    EXPECT_EQ(s.SCN[2351], 2351 % 256);
    for (const std::string& bad : {""s, "Zxxxxxxxx"s, "\xFD\0\0"s}) EXPECT_EQ(load(bad), ERR_FILE_IO) << bad.size();
    auto r16 = [](char word) { return long_block(std::string{word, 0, 16, 0} + ramp(256)); };  // pixel 16 y + x
    const std::string pitch = long_block(ramp(30, 1), {7, 1, 4, 3, 10});
    const std::string huge = long_block(ramp(32, 5), {7, 1, INT32_MAX, INT32_MAX, INT32_MAX});
    const std::vector<std::array<int, 3>> whole16 = {
        {20, 10, 0}, {25, 17, 7 * 16 + 5}, {35, 25, 255}, {36, 10, 0xEE}, {20, 26, 0xEE}};
    // A picture drawn at (x, y), then screen x, y and the value there.
    const std::tuple<std::string, int, int, std::vector<std::array<int, 3>>> cases[] = {
        {r16(char(129)), 20, 10, whole16},
        {r16(char(128)), 20, 10, whole16},  // header words 129 and 128 alike
        {r16(char(129)), 310, 190, {{310, 190, 0}, {319, 199, 9 * 16 + 9}, {309, 199, 0xEE}}},
        {r16(char(129)), -3, -2, {{0, 0, 2 * 16 + 3}, {12, 13, 255}, {13, 0, 0xEE}, {0, 14, 0xEE}}},
        {pitch, 0, 0, {{3, 0, 4}, {0, 2, 21}, {4, 0, 0xEE}}},  // long header: rows follow the pitch
        {huge, 0, 0, {{0, 0, 5}, {0, 1, 0xEE}}},               // rows past the buffer are not drawn
        {block_picture(48, 60, std::vector<uint8_t>(48 * 60, 9)), 0, 0, {{47, 47, 9}, {43, 48, 9}, {44, 48, 0xEE}}},
    };
    for (const auto& [pic, at_x, at_y, probes] : cases) {
        put("c.pic", pic);
        s.screen.pixels.fill(0xEE);
        EXPECT_EQ(draw("c.pic", at_x, at_y), 0);
        for (auto [x, y, v] : probes)
            EXPECT_EQ(px(x, y), v) << "drawn at " << at_x << "," << at_y << "; " << x << "," << y;
    }
    put("w.pic", long_block("\x22\0\4\0"s + std::string(32, '\1')));  // 2 bytes a pixel
    EXPECT_EQ(draw("w.pic"), ERR_ILLEGAL_FUNCTION_CALL);
}

// BMP rows of 1, 4 and 8 bits, either order, either header, land in the buffer as one byte a pixel. A spoiled
// mark, info header size, plane count (2) or compression (run-length), a header or rows cut short, no width and
// 2 bits are file errors; 24 bits is an illegal call; a refused picture leaves the palette alone.
TEST_F(ImageTest, BmpDecodes) {
    const uint32_t serial = s.screen.palette_serial;
    const std::string good = Bmp{}.bytes();
    auto spoiled = [&](size_t at, char v) { return good.substr(0, at) + v + good.substr(at + 1); };
    const std::string bad[] = {spoiled(1, 'X'),         spoiled(14, 20),      spoiled(26, 2),
                               spoiled(30, 1),          good.substr(0, 30),   good.substr(0, good.size() - 1),
                               Bmp{.width = 0}.bytes(), Bmp{.bpp = 2}.bytes()};
    for (const std::string& f : bad) EXPECT_EQ(load(f), ERR_FILE_IO) << &f - bad;
    EXPECT_EQ(load(Bmp{.bpp = 24}.bytes()), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(s.screen.palette_serial, serial);
    const auto one_bit = [](int x, int y) { return (x * 7 + y) % 3 == 0; };
    const Bmp cases[] = {
        {.width = 5, .height = 3},
        {.width = 7, .height = -4, .bpp = 4},
        {.info_size = 12, .width = 19, .height = 3, .bpp = 1, .pixel = one_bit},
        {.info_size = 124, .width = 19, .height = 3, .bpp = 1, .pixel = one_bit},
        {.bpp = 4, .zero_offset = true},  // mended: offset 0 means the rows follow the colour table
        {.info_size = 12, .bpp = 4, .zero_offset = true},
    };
    ASSERT_EQ(load(Bmp{.bpp = 1, .colours = {{1, 2, 3}, {250, 251, 252}}}.bytes()), 0);  // table entries from 0
    EXPECT_EQ(s.screen.palette[1], (Rgb{250, 251, 252}));
    EXPECT_EQ(s.screen.palette[2], kVgaDefaultPalette[2]);  // past the table: untouched
    for (const Bmp& b : cases) {
        SCOPED_TRACE(testing::Message() << b.info_size << "-byte header, " << b.bpp << " bits, h " << b.height);
        s.SCN.fill(0);
        ASSERT_EQ(load(b.bytes()), 0);
        EXPECT_EQ(word(0) * 1000 + word(2), (b.width * 8 + 1) * 1000 + std::abs(b.height));
        for (int i = 0; i < b.width * std::abs(b.height); ++i)
            ASSERT_EQ(s.SCN[size_t(4 + i)], b.pixel(i % b.width, i / b.width) & ((1 << b.bpp) - 1)) << i;
    }
}

// kept: a header left in the buffer by the last picture limits size and row distance.
// A picture larger than the buffer stores the rows that fit (the top ones, at the file's end).
TEST_F(ImageTest, BmpIntoABufferHoldingAHeaderOrTooLargeForIt) {
    const Bmp big{.width = 9, .height = 8};
    ASSERT_EQ(load(solid_picture(6, 5, 7)) + load(big.bytes()), 0);
    EXPECT_EQ(word(0) * 1000 + word(2), 49005);
    EXPECT_EQ(s.SCN[4 + 4 * 6 + 5] * 1000 + s.SCN[4 + 5 * 6], big.pixel(5, 4) * 1000);
    s.SCN.fill(0);
    const Bmp large{.width = 200, .height = 100, .pixel = [](int x, int y) { return (x + y * 13) % 256; }};
    std::string bytes = large.bytes();
    ASSERT_GT(bytes.size(), 16384u);  // more than one read: the rows that fit are fetched after it
    ASSERT_EQ(load(bytes), 0);
    EXPECT_EQ(s.SCN[4 + 10 * 200 + 7], large.pixel(7, 10));
    EXPECT_EQ(s.SCN[2351], large.pixel(147, 11));
    bytes.pop_back();  // cut short past the first read: refused before the palette changes
    const uint32_t serial = s.screen.palette_serial;
    EXPECT_EQ(load(bytes), ERR_FILE_IO);
    EXPECT_EQ(s.screen.palette_serial, serial);
}

// Printing from a place: what the screen shows there and where the cursor ends. The screen is
// filled with 0xEE first, so a glyph cell that is not opaque would read as another character.
TEST_F(ScreenFixture, TextWrapsControlsAndNumbers) {
    // Row and column, what is printed, where it is read back and what it shows, the cursor after.
    const std::tuple<int, int, std::function<void()>, int, int, std::string, int, int> cases[] = {
        {5, 38, [&] { TEXT_PRINT(s, "ABCDE"); }, 5, 38, "ABCDE", 6, 3},
        {9, 33, [&] { TEXT_PRINT(s, "12345678"); }, 9, 33, "12345678", 10, 1},
        {1, 1, [&] { NUMBER_PRINT(s, 0), NUMBER_PRINT(s, 7), NUMBER_PRINT(s, -12); }, 1, 1, " 0  7 -12 ", 1, 11},
        {3, 5, [&] { TEXT_PRINT(s, "\x07"); }, 3, 5, "\xDB", 3, 5},  // nothing drawn: the fill shows
        {3, 5, [&] { TEXT_PRINT(s, "\x08"); }, 3, 5, "\xDB", 3, 4},
        {3, 1, [&] { TEXT_PRINT(s, "\x08\t\t"); }, 3, 1, "        ", 3, 17},
        {3, 1, [&] { TEXT_PRINT(s, "ab\rc\nd"); }, 3, 1, "cb", 4, 2},
        {25, 1, [&] { TEXT_PRINT(s, "last", true); }, 24, 1, "last", 25, 1},  // scrolls up a row
    };
    for (const auto& [row, col, print, read_row, read_col, shown, end_row, end_col] : cases) {
        SCOPED_TRACE(shown);
        s.screen.pixels.fill(0xEE);
        TEXT_LOCATE(s, row, col);
        print();
        EXPECT_EQ(screen_text(s, read_row, read_col, int(shown.size())), shown);
        EXPECT_EQ(s.screen.row * 100 + s.screen.col, end_row * 100 + end_col);
    }
    EXPECT_EQ(px(0, 199), 0);       // the row scrolled in is blank
    EXPECT_EQ(s.screen.bells, 1u);  // of all those prints only the one with byte 7 rang the bell
    EXPECT_EQ(catch_error([&] { TEXT_LOCATE(s, 1, 41); }).number, ERR_ILLEGAL_FUNCTION_CALL);
}

using StatusTest = ScreenFixture;

// The rows a status display of an ordinary session shows are the golden replays'; here the
// boundaries of the title, the clock, the day, the arm colour and the cell in front.
TEST_F(StatusTest, RowsAndTheirColours) {
    s.D(1) = {0, -1}, s.A_S(0) = "\x04", s.A_S(1) = "\x18";  // facing 0: none, 1: up
    struct Case {
        std::function<void()> set;
        int row;
        std::string text;
        int fg = -1, col = 33;
    };  // fg -1: not checked
    const Case cases[] = {
        {[&] { s.GC = 1; }, 2, "TaLoVeX", 13},
        {[&] { s.TIMH = 0, s.TIMM = 5, s.TIMD = 364; }, 10, "01:05am"},  // kept: hour 0 shows 01
        {{}, 9, "Day 365"},
        {[&] { s.TIMH = 11, s.TIMM = 0, s.TIMD = 365; }, 10, "12:00am"},
        {{}, 9, "Day 001"},
        {[&] { s.TIMH = 12, s.TIMM = 59, s.TIMD = 1; }, 10, "01:59pm"},
        {[&] { s.TIMH = 23, s.TIMM = 30, s.TIMD = 0; }, 10, "12:30pm"},
        {[&] { s.GE = 3; }, 7, "Arm: 3 ", 8, 38},
        // The facing arrow and the three layers of the cell in front; facing 0 reads the player's own cell.
        {[&] { s.D2 = 1, s.GR(0, -1) = 7, s.CR(0, -1) = 12, s.CS(0, -1) = 255; }, 6, "Aim:\x18", 9, 37},
        {{}, 12, "gr:007"},
        {{}, 14, "cs:255"},
        {[&] { s.D2 = 0, s.P = 1, s.GR(0, 0) = 1, s.CR(0, 0) = 1, s.CS(0, 0) = 0; }, 6, "Aim:\x04", 1, 37},
        {{}, 13, "cr:001"},
    };
    for (const Case& c : cases) {
        if (c.set) c.set();
        status_display(s);
        EXPECT_EQ(screen_text(s, c.row, 33, int(c.text.size())), c.text);
        EXPECT_EQ(c.fg < 0 ? c.fg : cell_fg(s, c.row, c.col), c.fg) << c.text;
    }
}

// PALETTE_SET scales six-bit levels to 0..255, ignores other bits and takes the index modulo 256. Entries
// 239..242 hold four shades; the one holding shade 0 moves on every quarter second.
TEST_F(StatusTest, PaletteSetPaletteFileGradientAndRotation) {
    const uint32_t serial = s.screen.palette_serial;
    const std::tuple<int, uint32_t, Rgb> cases[] = {{200, 63u << 16, {0, 0, 255}},
                                                    {200, 0x7F | 0x40 << 8 | 0xC1 << 16, {255, 0, 4}},
                                                    {256 + 5, 63u << 8, {0, 255, 0}}};
    for (auto [index, value, rgb] : cases) {
        PALETTE_SET(s, index, value);
        EXPECT_EQ(s.screen.palette[size_t(index % 256)], rgb) << value;
    }
    EXPECT_EQ(s.screen.palette_serial, serial + 3);
    std::string pal = "63,0,0\r\n0,0,63\r\n64,65,0\r\n";  // entries 175 on; levels wrap at 64
    for (int i = 178; i <= 255; ++i) pal += "10,20,30\r\n";
    put("tlvx_w05.pal", pal);
    load_palette_file(s);
    // The file's entries, the gradient over entries 223 to 238 (its ends and one step), and before them the default.
    const std::pair<int, Rgb> entries[] = {
        {175, {0, 0, 255}}, {177, {0, 4, 0}},     {255, {121, 80, 40}},          {223, {12, 64, 0}},
        {227, {76, 97, 0}}, {238, {255, 186, 0}}, {174, kVgaDefaultPalette[174]}};
    for (auto [k, rgb] : entries) EXPECT_EQ(s.screen.palette[size_t(k)], rgb) << k;
    const Rgb shade[4] = {{0, 0, 255}, {32, 64, 255}, {64, 129, 255}, {97, 194, 255}};
    for (auto [now, phase] : {std::pair{100.0, 0}, {100.25, 1}, {100.125, 0}, {100.75, 3}}) {
        platform.now = now;
        colour_rotation(s);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(s.screen.palette[size_t(239 + (phase + k) % 4)], shade[k]) << now << " " << k;
    }
}

// mended: an empty picture name has an empty mask name. The mask name is written into storage that held a
// longer name, as the cell drawing reuses it. Around the centre (10, 8): creature 2 (16 pixels) on structure 3 at
// (0, 0), structure 3 alone at (1, 0), value 9 without a record at (2, 0), all layers 0 at (1, -2). Frame 1 has
// colour base + 1.
TEST_F(ScreenFixture, CellDrawing) {
    std::string mask = "a-much-longer-name-than-any-picture.pic";
    for (auto [name, want] :
         {std::pair{"tree_001.08x", "tree-001.08x"}, {"abcdefghij", "abcd-defghij"}, {"abc", "abc-abc"}, {"", ""}}) {
        mask_name_into(name, mask);
        EXPECT_EQ(mask, want) << name;
    }
    make_map(
        20, 16, [](int c, int r) { return uint8_t(c == 11 && r == 6 ? 0 : 1); }, cells({{{10, 8}, 2}, {{12, 8}, 9}}),
        cells({{{10, 8}, 3}, {{11, 8}, 3}}));
    tile(0, 40), tile(1, 50), object(2, 16, 1, 120);
    s.VX2 = 10, s.VY2 = 8, s.OBJ_M(9) = 1;
    s.GR(1, -2) = s.CS(1, -2) = s.CR(1, -2) = -1, s.screen.pixels.fill(0xEE);
    draw_cell(1, -2);
    EXPECT_EQ(px(96, 24) * 256 + px(119, 47), 40 * 257);
    EXPECT_EQ(s.GR(1, -2) + s.CS(1, -2) + s.CR(1, -2), 0);
    draw_cell(2, 0);  // mended: empty picture names draw nothing
    EXPECT_EQ(px(120, 72) * 256 + s.CR(2, 0), 50 * 256 + 9);
    // An object of size n sits at offset (24 - n) / 2: its first and last pixel, and the one after.
    for (auto [size, first, last, after, there] :
         {std::array{24, 96, 119, 120, 0xEE}, {23, 96, 118, 119, 50}, {26, 95, 120, 121, 0xEE}}) {
        s.screen.pixels.fill(0xEE);
        object(3, size, 1, 100);
        draw_cell(1, 0);
        EXPECT_EQ(std::tuple(px(first, first - 24), px(last, last - 24), px(after, after - 24)),
                  std::tuple(101, 101, there))
            << size;
    }
    // The structure's mode orders it against the creature: its corner, the centre, the corner with no creature.
    for (auto [mode, corner, centre, alone] : {std::array{1, 101, 121, 101}, {2, 101, 101, 101}, {3, 50, 121, 50}}) {
        object(3, 24, mode, 100);
        draw_cell(0, 0), draw_cell(1, 0);
        EXPECT_EQ(std::tuple(px(72, 72), px(84, 84), px(96, 72)), std::tuple(corner, centre, alone)) << mode;
    }
}

// The centre clamp keeps the view inside the map (kept: 98 goes to 96). Start-up clamps without touching the
// layers; a full refresh carries the marker along (mended).
TEST_F(ScreenFixture, ClampingAndTheMarker) {
    s.WX = s.WY = 100;
    for (auto [in, out] : {std::pair{1, 4}, {4, 4}, {97, 97}, {98, 96}, {100, 96}}) {
        s.VX2 = s.VY2 = in;
        centre_clamp(s);
        EXPECT_EQ(s.VX2 * 1000 + s.VY2, out * 1001) << in;
    }
    const Cell ground = [](int c, int r) { return uint8_t((c * 3 + r * 5) % 7); };
    make_map(100, 20, ground, cells({{{98, 10}, 1}, {{96, 10}, 2}}), cells({{{99, 9}, 3}}));
    for (int z = 0; z < 7; ++z) tile(z, uint8_t(60 + z));
    object(1, 24, 1, 100), object(2, 24, 1, 120), object(3, 24, 0, 140);
    // Start-up's clamp takes the marker along: the player saved at 98 starts at 96,
    // the creature there goes to 98, and no second figure stays behind.
    s.VX2 = 98, s.VY2 = 10;
    first_view_read(s);
    EXPECT_EQ(s.VX1 * 1000 + s.VY1, 96010);
    EXPECT_EQ(cell_read(s, kCreatureFile, 96, 10) * 10 + cell_read(s, kCreatureFile, 98, 10), 12);
    for (int i = 0; i < 49; ++i) EXPECT_EQ(s.GR(i % 7 - 3, i / 7 - 3), ground(93 + i % 7, 7 + i / 7)) << i;
    EXPECT_EQ(s.CS(3, -1) * 10 + s.CR(0, 0) * 100 + s.CR(2, 0), 132);
    // So does a refresh's: the player walked back to 98.
    cell_write(s, kCreatureFile, 98, 10, 1);
    cell_write(s, kCreatureFile, 96, 10, 2);
    s.VX2 = 98, s.SCRNUPDT = 1;
    s.screen.pixels.fill(0xEE);
    redraw_view(s);
    EXPECT_EQ(s.VX2 * 100 + cell_read(s, kCreatureFile, 96, 10) * 10 + cell_read(s, kCreatureFile, 98, 10), 9612);
    EXPECT_EQ(s.CR(0, 0) * 10 + s.CR(2, 0), 12);
    EXPECT_EQ(px(72, 72) * 256 + px(120, 72), 101 * 256 + 121);  // the marker centred, the other creature beside
    EXPECT_EQ(px(5, 5) * 256 + px(144, 48), (60 + ground(93, 7)) * 256 + 141);  // ground, structure
    EXPECT_EQ(px(168, 0), 0xEE);
}

}  // namespace
}  // namespace tlvx::test
