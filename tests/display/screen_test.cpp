#include "display/screen.hpp"

#include "display/status.hpp"
#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

// Printing from a place: what the screen shows there and where the cursor ends. The screen is
// filled with 0xEE first, so a glyph cell that is not opaque would read as another character.
TEST_F(ScreenFixture, TextWrapsControlsAndNumbers) {
    struct Case {
        int row, col;
        std::function<void()> print;
        int read_row, read_col;
        std::string shown;
        int end_row, end_col;
    };
    const Case cases[] = {
        {5, 38, [&] { TEXT_PRINT(s, "ABCDE"); }, 5, 38, "ABCDE", 6, 3},
        {9, 33, [&] { TEXT_PRINT(s, "12345678"); }, 9, 33, "12345678", 10, 1},
        {1, 1, [&] { NUMBER_PRINT(s, 0), NUMBER_PRINT(s, 7), NUMBER_PRINT(s, -12); }, 1, 1, " 0  7 -12 ", 1, 11},
        {3, 5, [&] { TEXT_PRINT(s, "\x07"); }, 3, 5, "\xDB", 3, 5},  // nothing drawn: the fill shows
        {3, 5, [&] { TEXT_PRINT(s, "\x08"); }, 3, 5, "\xDB", 3, 4},
        {3, 1, [&] { TEXT_PRINT(s, "\x08\t\t"); }, 3, 1, "        ", 3, 17},
        {3, 1, [&] { TEXT_PRINT(s, "ab\rc\nd"); }, 3, 1, "cb", 4, 2},
        {25, 1, [&] { TEXT_PRINT(s, "last", true); }, 24, 1, "last", 25, 1},  // scrolls up a row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        s.screen.pixels.fill(0xEE);
        TEXT_LOCATE(s, c.row, c.col);
        c.print();
        EXPECT_EQ(screen_text(s, c.read_row, c.read_col, int(c.shown.size())), c.shown);
        EXPECT_EQ(s.screen.row * 100 + s.screen.col, c.end_row * 100 + c.end_col);
    }
    EXPECT_EQ(px(0, 199), 0);       // the row scrolled in is blank
    EXPECT_EQ(s.screen.bells, 1u);  // of all those prints only the one with byte 7 rang the bell
    EXPECT_EQ(error_of([&] { TEXT_LOCATE(s, 1, 41); }), ERR_ILLEGAL_FUNCTION_CALL);
}

struct StatusTest : ScreenFixture {
    StatusTest() {
        s.D(1) = {0, -1}, s.A_S(0) = "\x04", s.A_S(1) = "\x18";  // facing 0: none, 1: up
    }
};

// The rows a status display of an ordinary session shows are the golden replays'; here the
// boundaries of the title, the clock, the day, the arm colour and the cell in front.
TEST_F(StatusTest, RowsAndTheirColours) {
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

// PALETTE_SET scales six-bit levels to 0..255, ignores other bits and takes the index modulo 256.
TEST_F(StatusTest, PaletteSetPaletteFileAndGradient) {
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
}

// Entries 239..242 hold four shades; the one holding shade 0 moves on every quarter second.
TEST_F(StatusTest, RotationShadesAndPhases) {
    const Rgb shade[4] = {{0, 0, 255}, {32, 64, 255}, {64, 129, 255}, {97, 194, 255}};
    const double cases[][2] = {{100.0, 0}, {100.25, 1}, {100.125, 0}, {100.75, 3}};
    for (auto& c : cases) {
        platform.now = c[0];
        colour_rotation(s);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(s.screen.palette[size_t(239 + (int(c[1]) + k) % 4)], shade[k]) << c[0] << " k " << k;
    }
}

}  // namespace
}  // namespace tlvx::test
