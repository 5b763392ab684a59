// Turning and road-following. The blocking rules of a step are the golden case walk_with_blocks.
#include <gtest/gtest.h>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

TEST(Movement, TurnTableOfSevenAndNine) {
    ViewWorld w;
    for (const auto& [key, after] : {std::pair{"7", "34123"}, {"9", "12341"}})  // the facing after, from 0 to 4
        for (int32_t d = 0; d <= 4; ++d) {
            w.s.D2 = d;
            w.pass(key);
            EXPECT_EQ(w.s.D2, after[d] - '0') << key << " from " << d;
        }
}

// Readies road-following (P 1) from the player's cell on road 5 with the arm counter GE at 4, facing `d2`.
void on_road(ViewWorld& w, int32_t d2) {
    w.read_view();
    std::tie(w.s.RD_S, w.s.G1, w.s.G2, w.s.G2_S, w.s.P, w.s.GE, w.s.D2) = std::tuple(" 5 ", 5, 5, " 5 ", 1, 4, d2);
}

// From (10, 8) on road 5 with the arm counter at 4. `around` is the 3 by 3 block around
// the player, row by row: r road, t road under a tree (OBJ_M 0), c road under a creature,
// k road that blocks moving left.
TEST(RoadFollowing, SearchOrderAndWhatStopsIt) {
    struct Case {
        int32_t d2;
        const char* around;
        int32_t f2, d2_after, dx, dy;
    };
    const Case cases[] = {
        {1, " r rrr r ", 1, 4, -1, 0}, {1, " r  rr r ", 2, 1, 0, -1},  // left, then straight on,
        {1, "    rr r ", 3, 2, 1, 0},  {1, "    r  r ", 4, 3, 0, 1},   // then right, then back
        {0, "   rr  r ", 1, 3, 0, 1},  {0, "   rr    ", 2, 0, 0, 0},   // facing nowhere: below, then the own cell
        {2, "    r    ", 5, 2, 0, 0},                                  // dead end: place and facing restored
        {1, "   tr    ", 1, 4, -1, 0},                                 // into a tree, unlike a step key
        {1, " r cr    ", 1, 4, 0, 0},  {1, " r kr    ", 1, 4, 0, 0},   // creature, blocked ground: a turn only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.around) + " facing " + std::to_string(c.d2));
        ViewWorld w;
        for (int i = 0; i < 9; ++i) {
            const int32_t x = 10 + i % 3 - 1, y = 8 + i / 3 - 1;
            if (c.around[i] != ' ') cell_write(w.s, kGroundFile, x, y, 5);
            if (c.around[i] == 't') cell_write(w.s, kStructureFile, x, y, 3);
            if (c.around[i] == 'c') cell_write(w.s, kCreatureFile, x, y, 2);
            if (c.around[i] == 'k') w.s.CK_S(4) = " 5 ";
        }
        on_road(w, c.d2);
        w.pass("");
        // Any step taken resets the arm counter GE, even one undone; the marker follows the player.
        EXPECT_EQ(
            std::tuple(w.s.F2, w.s.D2, w.s.VX2, w.s.VY2, w.s.SCRNUPDT, w.s.GE,
                       cell_read(w.s, kCreatureFile, w.s.VX2, w.s.VY2), w.s.TIMM == 0),
            std::tuple(c.f2, c.d2_after, 10 + c.dx, 8 + c.dy, 1, c.d2_after == 0 ? 4 : 1, 1, c.dx == 0 && c.dy == 0));
    }
}

// The player marker may not write an old grid value back over an edit of the same
// pass: road-following would step onto the cell that "*" fills.
TEST(RoadFollowing, MarkerCannotOverwriteAnEditOfThePass) {
    ViewWorld w;
    for (int32_t y : {7, 8}) cell_write(w.s, kGroundFile, 10, y, 5);
    cell_write(w.s, kCreatureFile, 10, 8, 7);
    on_road(w, 1);
    w.pass("*");
    EXPECT_EQ(std::tuple(w.s.VY2, cell_read(w.s, kCreatureFile, 10, 7), cell_read(w.s, kCreatureFile, 10, 8)),
              std::tuple(8, 1, 7));
}

}  // namespace
}  // namespace tlvx::test
