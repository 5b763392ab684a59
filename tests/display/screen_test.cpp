#include "display/screen.hpp"

#include "display/image.hpp"
#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

using TextTest = ScreenFixture;
using PaletteSetTest = ScreenFixture;
using ScreenOpsTest = ScreenFixture;

TEST_F(TextTest, WrapsAtColumn40AndLeavesTheCursorOnTheNextRow) {
    TEXT_LOCATE(s, 5, 38);
    TEXT_PRINT(s, "ABCDE");
    EXPECT_EQ(screen_text(s, 5, 38, 3), "ABC");
    EXPECT_EQ(screen_text(s, 6, 1, 2), "DE");
    EXPECT_EQ(s.screen.row, 6);
    EXPECT_EQ(s.screen.col, 3);

    TEXT_LOCATE(s, 9, 33);
    TEXT_PRINT(s, "12345678");
    EXPECT_EQ(screen_text(s, 9, 33, 8), "12345678");
    EXPECT_EQ(s.screen.row, 10);
    EXPECT_EQ(s.screen.col, 1);
    TEXT_PRINT(s, "9");
    EXPECT_EQ(cell_char(s, 10, 1), '9');
}

TEST_F(TextTest, NumberPrintForms) {
    TEXT_LOCATE(s, 1, 1);
    NUMBER_PRINT(s, 0);
    NUMBER_PRINT(s, 7);
    NUMBER_PRINT(s, -12);
    EXPECT_EQ(screen_text(s, 1, 1, 10), " 0  7 -12 ");
    EXPECT_EQ(s.screen.col, 11);
    TEXT_PRINT(s, "X");
    EXPECT_EQ(cell_char(s, 1, 11), 'X');
}

TEST_F(TextTest, GlyphCellsAreOpaqueAndMatchTheReferenceShapes) {
    // Reference rows of the up arrow (24) and the diamond (4), top row first.
    const uint8_t up[8] = {0x18, 0x3C, 0x7E, 0x18, 0x18, 0x18, 0x18, 0x00};
    const uint8_t diamond[8] = {0x10, 0x38, 0x7C, 0xFE, 0x7C, 0x38, 0x10, 0x00};
    const uint8_t letter_a[8] = {0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00};
    fill_screen(77);
    TEXT_COLOR(s, 9);
    TEXT_LOCATE(s, 6, 37);
    TEXT_PRINT(s, std::string("\x18\x04", 2) + "A");
    const uint8_t* shapes[] = {up, diamond, letter_a};
    for (int k = 0; k < 3; ++k)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool on = shapes[k][y] & (0x80 >> x);
                EXPECT_EQ(s.screen.at(36 * 8 + k * 8 + x, 5 * 8 + y), on ? 9 : 0) << "glyph " << k << " x " << x << " y " << y;
            }
    EXPECT_EQ(s.screen.at(36 * 8 - 1, 5 * 8), 77);  // the cell before is untouched
}

TEST_F(TextTest, ControlBytesMoveTheCursorWithoutDrawing) {
    fill_screen(0);
    TEXT_LOCATE(s, 3, 5);
    TEXT_PRINT(s, "\x07");
    EXPECT_EQ(s.screen.col, 5);
    EXPECT_EQ(screen_text(s, 3, 5, 1), " ");
    TEXT_PRINT(s, "\x08");
    EXPECT_EQ(s.screen.col, 4);
    TEXT_LOCATE(s, 3, 1);
    TEXT_PRINT(s, "\x08");
    EXPECT_EQ(s.screen.col, 1);
    TEXT_PRINT(s, "\t");
    EXPECT_EQ(s.screen.col, 9);
    TEXT_PRINT(s, "\t");
    EXPECT_EQ(s.screen.col, 17);
    TEXT_LOCATE(s, 3, 20);
    TEXT_PRINT(s, "ab\rc");
    EXPECT_EQ(s.screen.col, 2);
    EXPECT_EQ(cell_char(s, 3, 1), 'c');
    TEXT_PRINT(s, "\nd");
    EXPECT_EQ(cell_char(s, 4, 1), 'd');
    // A tab writes blanks over what was there.
    TEXT_LOCATE(s, 4, 1);
    TEXT_PRINT(s, "\t");
    EXPECT_EQ(cell_char(s, 4, 1), ' ');
}

TEST_F(TextTest, LineEndAndScrollingAtTheBottomRow) {
    TEXT_LOCATE(s, 1, 1);
    TEXT_PRINT(s, "top", true);
    EXPECT_EQ(s.screen.row, 2);
    EXPECT_EQ(s.screen.col, 1);
    TEXT_LOCATE(s, 2, 1);
    TEXT_PRINT(s, "second");
    TEXT_LOCATE(s, 25, 1);
    TEXT_PRINT(s, "last", true);
    EXPECT_EQ(s.screen.row, 25);
    EXPECT_EQ(screen_text(s, 1, 1, 6), "second");
    EXPECT_EQ(screen_text(s, 24, 1, 4), "last");
    for (int x = 0; x < 320; ++x) ASSERT_EQ(s.screen.at(x, 199), 0);
}

TEST_F(TextTest, LocateOutsideTheGridIsAnError) {
    EXPECT_EQ(error_of([&] { TEXT_LOCATE(s, 0, 1); }), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(error_of([&] { TEXT_LOCATE(s, 26, 1); }), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(error_of([&] { TEXT_LOCATE(s, 1, 41); }), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(error_of([&] { TEXT_LOCATE(s, 25, 40); }), 0);
}

TEST_F(PaletteSetTest, DecodesSixBitLevelsIgnoringOtherBits) {
    const uint32_t before = s.screen.palette_serial;
    PALETTE_SET(s, 200, 63);
    EXPECT_EQ(s.screen.palette[200], (Rgb{255, 0, 0}));
    PALETTE_SET(s, 200, 63u << 16);
    EXPECT_EQ(s.screen.palette[200], (Rgb{0, 0, 255}));
    PALETTE_SET(s, 200, 0xFF000000u | 31u << 8);
    EXPECT_EQ(s.screen.palette[200], (Rgb{0, 125, 0}));
    PALETTE_SET(s, 200, 0x7F | 0x40 << 8 | 0xC1 << 16);  // 127 -> 63, 64 -> 0, 193 -> 1
    EXPECT_EQ(s.screen.palette[200], (Rgb{255, 0, 4}));
    PALETTE_SET(s, 256 + 5, 63u << 8);  // the index is taken modulo 256
    EXPECT_EQ(s.screen.palette[5], (Rgb{0, 255, 0}));
    EXPECT_EQ(s.screen.palette_serial, before + 5);
}

TEST_F(ScreenOpsTest, OpenGivesTheDefaultPaletteAndABlankGrid) {
    EXPECT_TRUE(platform.screen_open);
    EXPECT_TRUE(s.screen.open);
    EXPECT_EQ(s.screen.palette[1], (Rgb{0, 0, 170}));
    EXPECT_EQ(s.screen.palette[8], (Rgb{85, 85, 85}));
    EXPECT_EQ(s.screen.palette[13], (Rgb{255, 85, 255}));
    EXPECT_EQ(s.screen.palette[31], (Rgb{255, 255, 255}));
    EXPECT_EQ(s.screen.palette[40], (Rgb{255, 0, 0}));
    EXPECT_EQ(error_of([&] { SCREEN_OPEN(s, 12); }), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(error_of([&] { TEXT_GRID(s, 80, 25); }), ERR_ILLEGAL_FUNCTION_CALL);
}

TEST_F(ScreenOpsTest, ColourClearAndBoxFill) {
    TEXT_COLOR(s, 256 + 9);
    EXPECT_EQ(s.screen.fg, 9);
    TEXT_COLOR(s, -1);
    EXPECT_EQ(s.screen.fg, 255);
    fill_screen(3);
    TEXT_LOCATE(s, 4, 4);
    SCREEN_CLEAR(s);
    EXPECT_EQ(s.screen.at(319, 199), 0);
    EXPECT_EQ(s.screen.row, 1);
    EXPECT_EQ(s.screen.col, 1);
    BOX_FILL(s, 3, 2, -5, -5, 300);  // corners in any order, clipped, colour mod 256
    EXPECT_EQ(s.screen.at(0, 0), 44);
    EXPECT_EQ(s.screen.at(3, 2), 44);
    EXPECT_EQ(s.screen.at(4, 2), 0);
    EXPECT_EQ(s.screen.at(3, 3), 0);
    BOX_FILL(s, 318, 198, 400, 400, 7);
    EXPECT_EQ(s.screen.at(319, 199), 7);
}

struct RecordingPlatform : FakePlatform {
    bool quit = false;
    int mx = -1, my = -1;
    bool shown = false;
    void set_mouse(int x, int y, bool show) override { mx = x, my = y, shown = show; }
    bool quit_requested() override { return quit; }
};

TEST(KeyPollTest, QueueOrderExtendedKeysAndWindowClose) {
    TempDir dir;
    RecordingPlatform platform;
    State s;
    init_state(s, dir.path(), platform);
    SCREEN_OPEN(s, 13);
    EXPECT_EQ(KEY_POLL(s), "");
    platform.pending = {"a", std::string("\0H", 2)};
    EXPECT_EQ(KEY_POLL(s), "a");
    EXPECT_EQ(KEY_POLL(s), std::string("\0H", 2));
    EXPECT_EQ(platform.polls, 3);
    platform.quit = true;
    platform.pending = {"b"};
    EXPECT_EQ(KEY_POLL(s), "\x1b");

    MOUSE_SET(s, 1, 1, 1);
    EXPECT_EQ(platform.mx, 1);
    EXPECT_TRUE(platform.shown);
    MOUSE_SET(s, -4, 500, 0);
    EXPECT_EQ(platform.mx, 0);
    EXPECT_EQ(platform.my, 199);
    EXPECT_FALSE(platform.shown);

    SCREEN_CLOSE(s);
    EXPECT_FALSE(platform.screen_open);
    EXPECT_FALSE(s.screen.open);
    EXPECT_EQ(s.screen.text_cols, 80);
    EXPECT_EQ(s.screen.bg, 1);
    EXPECT_EQ(error_of([&] { blit_image(s, 0, 0, "pset"); }), ERR_ILLEGAL_FUNCTION_CALL);
}

}  // namespace
}  // namespace tlvx::test
