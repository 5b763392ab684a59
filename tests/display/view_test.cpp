#include "display/view.hpp"

#include "view_fixture.hpp"

namespace tlvx::test {
namespace {

using ViewTest = ViewFixture;

TEST_F(ViewTest, MaskNames) {
    EXPECT_EQ(mask_name("tree_001.08x"), "tree-001.08x");
    EXPECT_EQ(mask_name("abc"), "abc-abc");
    EXPECT_EQ(mask_name("abcdefghij"), "abcd-defghij");
    EXPECT_EQ(mask_name(""), "");
}

TEST_F(ViewTest, CellWithAllLayersZeroShowsOnlyTheGroundPicture) {
    make_map(20, 16, [](int, int) { return 0; });
    tile(0, 50);
    s.VX2 = 10, s.VY2 = 8;
    s.GR(1, -2) = s.CS(1, -2) = s.CR(1, -2) = -1;
    fill_screen(0xEE);
    draw_cell(1, -2);
    EXPECT_EQ(s.T, 5);
    EXPECT_EQ(s.TT, 2);
    EXPECT_EQ(px(96, 24), 50);
    EXPECT_EQ(px(119, 47), 50);
    EXPECT_EQ(px(95, 24), 0xEE);
    EXPECT_EQ(px(120, 47), 0xEE);
    EXPECT_EQ(px(96, 48), 0xEE);
    EXPECT_EQ(s.GR(1, -2), 0);
    EXPECT_EQ(s.CS(1, -2), 0);
    EXPECT_EQ(s.CR(1, -2), 0);
}

TEST_F(ViewTest, ObjectOffsetsFollowTheObjectSize) {
    make_map(20, 16, [](int, int) { return 1; }, nullptr, [](int c, int r) { return c == 10 && r == 8 ? 3 : 0; });
    tile(1, 50);
    s.VX2 = 10, s.VY2 = 8;
    object(3, 24, 1, 100);
    fill_screen(0xEE);
    draw_cell(0, 0);
    EXPECT_EQ(px(72, 72), 101);
    EXPECT_EQ(px(95, 95), 101);
    object(3, 23, 1, 100);
    draw_cell(0, 0);
    EXPECT_EQ(px(72, 72), 101);
    EXPECT_EQ(px(94, 94), 101);
    EXPECT_EQ(px(95, 95), 50);
    object(3, 26, 1, 100);
    draw_cell(0, 0);
    EXPECT_EQ(px(71, 71), 101);
    EXPECT_EQ(px(96, 96), 101);
    EXPECT_EQ(px(97, 97), 0xEE);
}

TEST_F(ViewTest, DrawingOrderFollowsTheStructuresMode) {
    // Structure 3 fills the cell; creature 2 (16 pixels) sits in its middle.
    make_map(20, 16, [](int, int) { return 1; }, [](int c, int r) { return c == 10 && r == 8 ? 2 : 0; },
             [](int c, int r) { return (c == 10 || c == 11) && r == 8 ? 3 : 0; });
    tile(1, 50);
    object(2, 16, 1, 120);
    s.VX2 = 10, s.VY2 = 8;
    struct Case {
        int mode;
        int corner, centre, corner_alone;
    } cases[] = {{0, 101, 121, 101}, {1, 101, 121, 101}, {2, 101, 101, 101}, {3, 50, 121, 50}};
    for (const Case& c : cases) {
        object(3, 24, c.mode, 100);
        draw_cell(0, 0);  // structure and creature
        draw_cell(1, 0);  // structure alone
        EXPECT_EQ(px(72, 72), c.corner) << "mode " << c.mode;
        EXPECT_EQ(px(84, 84), c.centre) << "mode " << c.mode;
        EXPECT_EQ(px(96, 72), c.corner_alone) << "mode " << c.mode;
    }
}

TEST_F(ViewTest, EmptyPictureNamesDrawNothing) {
    make_map(20, 16, [](int, int) { return 1; }, [](int c, int r) { return c == 10 && r == 8 ? 9 : 0; });
    tile(1, 50);
    s.VX2 = 10, s.VY2 = 8;
    s.OBJ_M(9) = 1;  // value 9 has no record: empty names, size 0
    draw_cell(0, 0);
    EXPECT_EQ(px(72, 72), 50);
    EXPECT_EQ(s.CR(0, 0), 9);
}

TEST_F(ViewTest, MaskIsReadBeforeThePictureFromTwelveCharacterNames) {
    make_map(20, 16, [](int, int) { return 1; }, nullptr, [](int c, int r) { return c == 10 && r == 8 ? 4 : 0; });
    tile(1, 50);
    s.VX2 = 10, s.VY2 = 8;
    s.OBJ(4) = 24;
    s.OBJ_M(4) = 1;
    s.OBJ_S(4, 1) = "tree_001.08x";
    // Mask: left half keeps the screen (255), right half clears it; the picture
    // is 0 on the left and 7 on the right.
    std::vector<uint8_t> mask(576), pic(576);
    for (int i = 0; i < 576; ++i) {
        mask[static_cast<size_t>(i)] = i % 24 < 12 ? 255 : 0;
        pic[static_cast<size_t>(i)] = i % 24 < 12 ? 0 : 7;
    }
    put("tree-001.08v", block_picture(24, 24, mask));
    put("tree_001.08v", block_picture(24, 24, pic));
    draw_cell(0, 0);
    EXPECT_EQ(s.OBJ_S(4, 1), "tree_001.08v");
    EXPECT_EQ(px(72, 80), 50);
    EXPECT_EQ(px(90, 80), 7);
    draw_cell(0, 0);  // drawing again reads the same two files
    EXPECT_EQ(px(90, 80), 7);
}

TEST_F(ViewTest, CreatureRedrawPaintsOnlyCreatureCellsAndKeepsTheGrids) {
    // Row 8: (8) structure only, (9) creature alone, (10) creature under a
    // bridge (mode 1), (11) creature under a roof (mode 2).
    make_map(
        20, 16, [](int, int) { return 1; }, [](int c, int r) { return r == 8 && c >= 9 ? 2 : 0; },
        [](int c, int r) { return r != 8 ? 0 : c == 8 || c == 10 ? 3 : c == 11 ? 5 : 0; });
    tile(1, 50);
    object(2, 16, 1, 120);
    object(3, 24, 1, 100);
    object(5, 24, 2, 140);
    s.VX2 = 10, s.VY2 = 8;
    s.GC = 3;
    s.GR.fill(-1), s.CS.fill(-1), s.CR.fill(-1);
    fill_screen(0xEE);
    s.SCRNUPDT = 0;
    redraw_view(s);
    EXPECT_EQ(px(24, 72), 0xEE);   // (-2, 0): a structure but no creature
    EXPECT_EQ(px(48, 72), 50);     // (-1, 0): the ground ...
    EXPECT_EQ(px(60, 84), 123);    // ... and the creature in frame 3
    EXPECT_EQ(px(72, 72), 103);    // (0, 0): the bridge under the creature
    EXPECT_EQ(px(84, 84), 123);
    EXPECT_EQ(px(96, 72), 0xEE);   // (1, 0): under the roof, nothing
    EXPECT_EQ(px(108, 84), 0xEE);
    EXPECT_EQ(px(72, 48), 0xEE);   // (0, -1): an empty cell
    for (int y = -3; y <= 3; ++y)
        for (int x = -3; x <= 3; ++x) ASSERT_EQ(s.GR(x, y) + s.CS(x, y) + s.CR(x, y), -3);
}

}  // namespace
}  // namespace tlvx::test
