#include "view_fixture.hpp"

namespace tlvx::test {
namespace {

using RefreshTest = ViewFixture;

// Ground value of a map cell: distinct per cell (kept within the tiles drawn).
uint8_t ground_of(int c, int r) { return static_cast<uint8_t>((c * 3 + r * 5) % 7); }

TEST_F(RefreshTest, CentreClampKeepsTheViewInsideTheMap) {
    s.WX = 100, s.WY = 100;
    const int32_t in[] = {1, 3, 4, 97, 98, 99, 100};
    const int32_t out[] = {4, 4, 4, 97, 96, 96, 96};
    for (size_t i = 0; i < 7; ++i) {
        s.VX2 = in[i], s.VY2 = in[i];
        centre_clamp(s);
        EXPECT_EQ(s.VX2, out[i]) << in[i];
        EXPECT_EQ(s.VY2, out[i]) << in[i];
    }
}

TEST_F(RefreshTest, FirstViewReadClampsAndFillsAllThreeGrids) {
    make_map(20, 16, ground_of, [](int c, int r) { return c == 2 && r == 3 ? 2 : 0; },
             [](int c, int r) { return c == 5 && r == 1 ? 3 : 0; });
    fill_screen(0xEE);
    s.VX2 = 1, s.VY2 = 1;
    first_view_read(s);
    EXPECT_EQ(s.VX2, 4);
    EXPECT_EQ(s.VY2, 4);
    EXPECT_EQ(s.VX1, 4);
    EXPECT_EQ(s.VY1, 4);
    for (int y = -3; y <= 3; ++y)
        for (int x = -3; x <= 3; ++x) ASSERT_EQ(s.GR(x, y), ground_of(4 + x, 4 + y));
    EXPECT_EQ(s.CR(-2, -1), 2);  // map cell (2, 3)
    EXPECT_EQ(s.CS(1, -3), 3);   // map cell (5, 1)
    EXPECT_EQ(s.CR(0, 0), 0);
    EXPECT_EQ(px(0, 0), 0);
    EXPECT_EQ(px(119, 119), 0);
    EXPECT_EQ(px(120, 0), 0xEE);
    EXPECT_EQ(px(0, 120), 0xEE);
}

TEST_F(RefreshTest, FirstViewReadDoesNotMoveTheMarker) {
    make_map(100, 20, ground_of, [](int c, int r) { return c == 98 && r == 10 ? 1 : 0; });
    const std::string before = read_file(dir.file("tlvx_gr2.tmp"));
    s.VX2 = 98, s.VY2 = 10;
    first_view_read(s);
    EXPECT_EQ(s.VX2, 96);
    EXPECT_EQ(read_file(dir.file("tlvx_gr2.tmp")), before);
}

TEST_F(RefreshTest, FullRefreshAtTheRightEdgeCarriesTheMarkerAlong) {
    make_map(100, 20, [](int, int) { return 1; },
             [](int c, int r) { return r == 10 && c == 98 ? 1 : r == 10 && c == 96 ? 2 : 0; });
    tile(1, 50);
    object(1, 24, 1, 100);
    object(2, 24, 1, 120);
    s.SCRNUPDT = 1;

    s.VX2 = 97, s.VY2 = 10;
    const std::string before = read_file(dir.file("tlvx_gr2.tmp"));
    redraw_view(s);
    EXPECT_EQ(s.VX2, 97);
    EXPECT_EQ(read_file(dir.file("tlvx_gr2.tmp")), before);

    s.VX2 = 98;
    redraw_view(s);
    EXPECT_EQ(s.VX2, 96);
    EXPECT_EQ(cell_read(s, kCreatureFile, 96, 10), 1);
    EXPECT_EQ(cell_read(s, kCreatureFile, 98, 10), 2);
    EXPECT_EQ(s.CR(0, 0), 1);
    EXPECT_EQ(s.CR(2, 0), 2);
    EXPECT_EQ(px(72, 72), 101);      // the marker's picture at the centre
    EXPECT_EQ(px(72 + 48, 72), 121);  // the other creature two cells right
}

TEST_F(RefreshTest, FullRefreshRedrawsAll49CellsAndRereadsTheGrids) {
    make_map(20, 16, ground_of, nullptr, [](int c, int r) { return c == 12 && r == 9 ? 3 : 0; });
    for (int z = 0; z < 7; ++z) tile(z, static_cast<uint8_t>(60 + z));
    object(3, 24, 0, 100);
    s.VX2 = 10, s.VY2 = 8;
    s.SCRNUPDT = 1;
    s.CR.fill(5), s.LC.fill(9);
    fill_screen(0xEE);
    redraw_view(s);
    for (int y = -3; y <= 3; ++y)
        for (int x = -3; x <= 3; ++x) {
            ASSERT_EQ(s.GR(x, y), ground_of(10 + x, 8 + y));
            ASSERT_EQ(s.CR(x, y), 0);
            ASSERT_EQ(s.LC(x, y), 9);
            if (x != 2 || y != 1) {
                ASSERT_EQ(px((x + 3) * 24 + 5, (y + 3) * 24 + 5), 60 + ground_of(10 + x, 8 + y));
            }
        }
    EXPECT_EQ(s.CS(2, 1), 3);
    EXPECT_EQ(px(5 * 24, 4 * 24), 101);
    EXPECT_EQ(px(168, 0), 0xEE);
}

TEST_F(RefreshTest, GroundRereadUpdatesTheGridWithoutDrawing) {
    make_map(20, 16, ground_of);
    s.VX2 = 10, s.VY2 = 8;
    fill_screen(0xEE);
    const auto before = s.screen.pixels;
    cell_write(s, kGroundFile, 11, 7, 200);
    ground_reread(s);
    EXPECT_EQ(s.GR(1, -1), 200);
    EXPECT_EQ(s.GR(-3, 3), ground_of(7, 11));
    EXPECT_EQ(s.screen.pixels, before);
}

}  // namespace
}  // namespace tlvx::test
