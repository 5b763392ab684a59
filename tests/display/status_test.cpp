#include "display/status.hpp"

#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

struct StatusTest : ScreenFixture {
    StatusTest() {
        const int32_t dx[] = {0, 0, 1, 0, -1}, dy[] = {0, -1, 0, 1, 0};
        const char arrows[] = {4, 24, 26, 25, 27};
        for (int d = 0; d <= 4; ++d) {
            s.D(d) = D_TYPE{dx[d], dy[d]};
            s.A_S(d) = std::string(1, arrows[d]);
        }
        s.P2_S = "World";
        s.NM_S = "Hero";
        s.VX2 = 12, s.VY2 = 7;
    }
    std::string row(int r, int len = 8) { return screen_text(s, r, 33, len); }
};

using PaletteTest = StatusTest;

TEST_F(StatusTest, RowsTitleAndColours) {
    s.GC = 1;
    status_display(s);
    EXPECT_EQ(row(2, 7), "TaLoVeX");
    EXPECT_EQ(cell_fg(s, 2, 33), 13);
    EXPECT_EQ(row(3, 5), "World");
    EXPECT_EQ(cell_fg(s, 3, 33), 11);
    EXPECT_EQ(row(5, 4), "Hero");
    EXPECT_EQ(cell_fg(s, 5, 33), 15);
    EXPECT_EQ(row(16, 6), "x: 12 ");
    EXPECT_EQ(row(17, 5), "y: 7 ");
    EXPECT_EQ(row(4), "        ");
    s.GC = 4;
    status_display(s);
    EXPECT_EQ(row(2, 7), "tAlOvEx");
    EXPECT_EQ(cell_fg(s, 2, 33), 5);
    EXPECT_EQ(cell_fg(s, 3, 33), 11);
}

TEST_F(StatusTest, TimeAndDayFormats) {
    struct Case {
        int h, m, d;
        const char* time;
        const char* day;
    } cases[] = {{0, 5, 364, "01:05am", "Day 365"}, {11, 0, 365, "12:00am", "Day 001"},
                 {12, 59, 1, "01:59pm", "Day 002"}, {23, 30, 0, "12:30pm", "Day 001"}};
    for (const Case& c : cases) {
        s.TIMH = c.h, s.TIMM = c.m, s.TIMD = c.d;
        status_display(s);
        EXPECT_EQ(row(10, 7), c.time);
        EXPECT_EQ(row(9, 7), c.day);
    }
}

TEST_F(StatusTest, ArmValueColours) {
    s.GE = 3;
    status_display(s);
    EXPECT_EQ(row(7, 7), "Arm: 3 ");
    EXPECT_EQ(cell_fg(s, 7, 33), 15);
    EXPECT_EQ(cell_fg(s, 7, 38), 8);
    s.GE = 4;
    status_display(s);
    EXPECT_EQ(row(7, 7), "Arm: 4 ");
    EXPECT_EQ(cell_fg(s, 7, 38), 15);
}

TEST_F(StatusTest, FacingArrowAndTheCellInFront) {
    s.GR(0, -1) = 7, s.CR(0, -1) = 12, s.CS(0, -1) = 255;
    s.GR(0, 0) = 1, s.CR(0, 0) = 1, s.CS(0, 0) = 0;
    s.D2 = 1;
    status_display(s);
    EXPECT_EQ(row(6, 5), "Aim:\x18");
    EXPECT_EQ(cell_fg(s, 6, 37), 9);
    EXPECT_EQ(row(12, 6), "gr:007");
    EXPECT_EQ(row(13, 6), "cr:012");
    EXPECT_EQ(row(14, 6), "cs:255");
    s.D2 = 0;
    s.P = 1;
    status_display(s);
    EXPECT_EQ(row(6, 5), "Aim:\x04");
    EXPECT_EQ(cell_fg(s, 6, 37), 1);
    EXPECT_EQ(row(12, 6), "gr:001");
    EXPECT_EQ(row(13, 6), "cr:001");
    EXPECT_EQ(row(14, 6), "cs:000");
}

TEST_F(StatusTest, LongNamesContinueOnTheNextRow) {
    s.NM_S = "Longname12";
    status_display(s);
    EXPECT_EQ(row(5), "Longname");
    EXPECT_EQ(screen_text(s, 6, 1, 2), "12");
}

TEST_F(PaletteTest, PackingSwapsRedAndBlue) {
    EXPECT_EQ(pack_colour(PAL_TYPE{0, 1, 2, 3}), 0xFF010203u);
    EXPECT_EQ(pack_colour(PAL_TYPE{0, 300, -1, 64}), 0xFF2CFF40u);
}

TEST_F(PaletteTest, GradientTable) {
    const Rgb expected[16] = {{12, 64, 0},   {28, 72, 0},   {44, 80, 0},   {60, 89, 0},   {76, 97, 0},   {93, 105, 0},
                              {109, 113, 0}, {125, 121, 0}, {141, 129, 0}, {157, 137, 0}, {174, 145, 0}, {190, 153, 0},
                              {206, 161, 0}, {222, 170, 0}, {238, 178, 0}, {255, 186, 0}};
    set_gradient(s);
    for (int k = 1; k <= 16; ++k) EXPECT_EQ(s.screen.palette[static_cast<size_t>(222 + k)], expected[k - 1]) << k;
    EXPECT_EQ(s.PAL(223).G, 16);
    EXPECT_EQ(s.PAL(238).B, 63);
}

TEST_F(PaletteTest, RotationShadesMoveOneEntryEveryQuarterSecond) {
    const Rgb shade[4] = {{0, 0, 255}, {32, 64, 255}, {64, 129, 255}, {97, 194, 255}};
    // The entry that holds shade 0 at each time, then the others follow it.
    struct Case {
        double t;
        int phase;
    } cases[] = {{100.0, 0}, {100.25, 1}, {100.125, 0}, {100.375, 2}, {100.5, 2}, {100.75, 3}};
    for (const Case& c : cases) {
        platform.now = c.t;
        colour_rotation(s);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(s.screen.palette[static_cast<size_t>(239 + (c.phase + k) % 4)], shade[k]) << c.t << " k " << k;
    }
}

TEST_F(PaletteTest, PaletteFileSetsEntries175To255ThenTheGradient) {
    std::string pal = "63,0,0\r\n0,0,63\r\n64,65,0\r\n";
    for (int i = 178; i <= 255; ++i) pal += "10,20,30\r\n";
    put("tlvx_w05.pal", pal);
    load_palette_file(s);
    EXPECT_EQ(s.screen.palette[175], (Rgb{0, 0, 255}));
    EXPECT_EQ(s.screen.palette[176], (Rgb{255, 0, 0}));
    EXPECT_EQ(s.screen.palette[177], (Rgb{0, 4, 0}));
    EXPECT_EQ(s.PAL(177).R, 64);
    EXPECT_EQ(s.screen.palette[200], (Rgb{121, 80, 40}));
    EXPECT_EQ(s.screen.palette[223], (Rgb{12, 64, 0}));
    EXPECT_EQ(s.screen.palette[255], (Rgb{121, 80, 40}));
    EXPECT_EQ(s.screen.palette[174], kVgaDefaultPalette[174]);
    EXPECT_EQ(s.CSV_STREAM(7).FILEMODE, 1);
    EXPECT_FALSE(s.files.is_open(1));
}

TEST_F(PaletteTest, MissingPaletteFileIsFileNotFound) {
    EXPECT_EQ(error_of([&] { load_palette_file(s); }), ERR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace tlvx::test
