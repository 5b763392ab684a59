#include "display/view.hpp"

#include <array>

#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

// mended: an empty picture name has an empty mask name. The mask name is written into
// storage that held a longer name, as the cell drawing reuses it.
TEST(MaskName, WrittenIntoStorageThatHeldALongerName) {
    std::string mask = "a-much-longer-name-than-any-picture.pic";
    for (auto [name, want] :
         {std::pair{"tree_001.08x", "tree-001.08x"}, {"abcdefghij", "abcd-defghij"}, {"abc", "abc-abc"}, {"", ""}}) {
        mask_name_into(name, mask);
        EXPECT_EQ(mask, want) << name;
    }
}

// Around the centre (10, 8): creature 2 (16 pixels) on structure 3 at (0, 0), structure 3 alone at
// (1, 0), value 9 without a record at (2, 0), all layers 0 at (1, -2). Frame 1 has colour base + 1.
TEST_F(ScreenFixture, CellDrawing) {
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

// Row 8: (8) structure only, (9) creature alone, (10) creature under a bridge, (11) under a roof.
TEST_F(ScreenFixture, CreatureRedrawPaintsOnlyCreatureCellsNotUnderARoof) {
    make_map(
        20, 16, [](int, int) { return 1; }, cells({{{9, 8}, 2}, {{10, 8}, 2}, {{11, 8}, 2}}),
        cells({{{8, 8}, 3}, {{10, 8}, 3}, {{11, 8}, 5}}));
    tile(1, 50), object(2, 16, 1, 120), object(3, 24, 1, 100), object(5, 24, 2, 140);
    s.VX2 = 10, s.VY2 = 8, s.GC = 3, s.SCRNUPDT = 0;
    s.screen.pixels.fill(0xEE);
    redraw_view(s);
    const int cases[][3] = {{24, 72, 0xEE}, {48, 72, 50},   {60, 84, 123},   {72, 72, 103},
                            {84, 84, 123},  {96, 72, 0xEE}, {108, 84, 0xEE}, {72, 48, 0xEE}};
    for (auto& c : cases) EXPECT_EQ(px(c[0], c[1]), c[2]) << c[0] << "," << c[1];
}

TEST_F(ScreenFixture, CentreClampKeepsTheViewInsideTheMap) {
    s.WX = s.WY = 100;
    for (auto [in, out] : {std::pair{1, 4}, {4, 4}, {97, 97}, {98, 96}, {100, 96}}) {  // kept: 98
        s.VX2 = s.VY2 = in;
        centre_clamp(s);
        EXPECT_EQ(s.VX2 * 1000 + s.VY2, out * 1001) << in;
    }
}

// Start-up clamps without touching the layers; a full refresh carries the marker along (mended).
TEST_F(ScreenFixture, ClampingAndTheMarker) {
    const Cell ground = [](int c, int r) { return uint8_t((c * 3 + r * 5) % 7); };
    make_map(100, 20, ground, cells({{{98, 10}, 1}, {{96, 10}, 2}}), cells({{{99, 9}, 3}}));
    for (int z = 0; z < 7; ++z) tile(z, uint8_t(60 + z));
    object(1, 24, 1, 100), object(2, 24, 1, 120), object(3, 24, 0, 140);
    const std::string before = read_file(dir.file("tlvx_gr2.tmp"));
    s.VX2 = 98, s.VY2 = 10;
    first_view_read(s);
    EXPECT_EQ(s.VX1 * 1000 + s.VY1, 96010);
    EXPECT_EQ(read_file(dir.file("tlvx_gr2.tmp")), before);
    for (int i = 0; i < 49; ++i) EXPECT_EQ(s.GR(i % 7 - 3, i / 7 - 3), ground(93 + i % 7, 7 + i / 7)) << i;
    EXPECT_EQ(s.CS(3, -1) * 10 + s.CR(2, 0), 31);
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
