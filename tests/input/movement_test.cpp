// Stepping, turning, the checks after a move and the player marker.
#include <gtest/gtest.h>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

TEST(Movement, CreatureAndSolidStructureRefuseTheStepButTheTurnStays) {
    {
        ViewWorld w;
        w.put(kCreatureFile, 0, -1, 2);
        w.s.D2 = 3;
        w.s.GE = 3;
        w.pass("y");
        EXPECT_EQ(w.s.D2, 1);
        EXPECT_EQ(w.s.VY2, 8);
        EXPECT_EQ(w.s.SCRNUPDT, 0);
        EXPECT_EQ(w.s.GE, 3);  // a refused step does not reset the arm counter
        EXPECT_EQ(w.s.TIMM, 0);
    }
    {
        ViewWorld w;
        w.s.OBJ_M(3) = 0;
        w.s.OBJ_M(4) = 1;
        w.put(kStructureFile, 0, -1, 3);
        w.put(kStructureFile, 1, 0, 4);
        w.pass("y");
        EXPECT_EQ(w.s.D2, 1);
        EXPECT_EQ(w.s.VY2, 8);
        w.pass("h");  // an object with OBJ_M 1 can be entered
        EXPECT_EQ(w.s.D2, 2);
        EXPECT_EQ(w.s.VX2, 11);
        EXPECT_EQ(w.s.GE, 1);
    }
}

TEST(Movement, BlockedGroundUndoesTheStepAfterwardsWithoutChargingTime) {
    ViewWorld w;
    w.s.CK_S(1) = " 7 ";
    w.put(kGroundFile, 0, -1, 7);
    w.put(kGroundFile, 1, 0, 7);
    w.s.G1 = w.s.G2 = 1;
    w.s.GE = 3;
    w.s.D2 = 4;
    w.pass("y");
    EXPECT_EQ(w.s.VX2, 10);
    EXPECT_EQ(w.s.VY2, 8);
    EXPECT_EQ(w.s.D2, 1);  // faces the refused cell
    EXPECT_EQ(w.s.GE, 1);  // the step was taken before it was undone
    EXPECT_EQ(w.s.G2, 1);
    EXPECT_EQ(w.s.G2_S, " 1 ");
    EXPECT_EQ(w.s.TIMM, 0);  // no game time for an undone step
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 1);  // the marker did not move
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 7), 0);

    // The same ground blocks moving up only: entering it moving right is allowed
    // and costs 16 to 30 minutes.
    w.pass("h");
    EXPECT_EQ(w.s.VX2, 11);
    EXPECT_EQ(w.s.G2, 7);
    EXPECT_EQ(w.s.G2_S, " 7 ");
    EXPECT_GE(w.s.TIMM, 16);
    EXPECT_LE(w.s.TIMM, 30);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 11, 8), 1);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 0);
}

TEST(Movement, TurnTableOfSevenAndNine) {
    const int32_t after7[] = {3, 4, 1, 2, 3};
    const int32_t after9[] = {1, 2, 3, 4, 1};
    ViewWorld w;
    for (int32_t d = 0; d <= 4; ++d) {
        w.s.D2 = d;
        w.pass("7");
        EXPECT_EQ(w.s.D2, after7[d]) << "7 from " << d;
        w.s.D2 = d;
        w.pass("9");
        EXPECT_EQ(w.s.D2, after9[d]) << "9 from " << d;
    }
    w.pass("5");
    EXPECT_EQ(w.s.D2, 0);
    EXPECT_EQ(w.s.VX2, 10);
    EXPECT_EQ(w.s.VY2, 8);
}

TEST(Movement, MarkerTravelsAndACreatureSweptIntoTheTargetIsExchangedBack) {
    ViewWorld w;
    w.put(kCreatureFile, 0, 0, 9);  // the player's own marker value
    w.s.VX2 = 10;
    w.s.VY2 = 9;  // as a step down would leave it
    w.s.D2 = 3;
    w.s.CR(0, 1) = 5;  // a creature moved there by this pass's sweep
    player_marker(w.s);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 9), 9);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 5);
    EXPECT_EQ(w.s.CR(0, 1), 9);
    EXPECT_EQ(w.s.CR(0, 0), 5);
}

// A road world: ground 5 is road, the player stands on road, road-following is
// on and the arm counter allows a step.
struct RoadWorld : ViewWorld {
    RoadWorld() {
        s.RD_S = " 5 ";
        put(kGroundFile, 0, 0, 5);
        s.G1 = s.G2 = 5;
        s.G2_S = " 5 ";
        s.P = 1;
        s.GE = 4;
        s.D2 = 1;
    }
    void road(int32_t x, int32_t y) { put(kGroundFile, x, y, 5); }
};

TEST(RoadFollowing, ForkPrefersLeftThenStraightThenRightThenBack) {
    struct Case {
        int open;  // how many of left, straight, right, back are road, from the back
        int32_t d2, vx, vy, f2;
    };
    const Case cases[] = {{4, 4, 9, 8, 1}, {3, 1, 10, 7, 2}, {2, 2, 11, 8, 3}, {1, 3, 10, 9, 4}};
    const int32_t ox[] = {-1, 0, 1, 0}, oy[] = {0, -1, 0, 1};  // left, straight, right, back
    for (const Case& c : cases) {
        RoadWorld w;
        for (int k = 4 - c.open; k < 4; ++k) w.road(ox[k], oy[k]);
        w.pass("");
        EXPECT_EQ(w.s.F2, c.f2) << c.open;
        EXPECT_EQ(w.s.D2, c.d2) << c.open;
        EXPECT_EQ(w.s.VX2, c.vx) << c.open;
        EXPECT_EQ(w.s.VY2, c.vy) << c.open;
        EXPECT_EQ(w.s.GE, 1);
        EXPECT_EQ(cell_read(w.s, kCreatureFile, c.vx, c.vy), 1) << "marker follows";
    }
}

TEST(RoadFollowing, FacingNowhereTriesBelowThenTheOwnCell) {
    {
        RoadWorld w;
        w.s.D2 = 0;
        w.road(0, 1);
        w.road(-1, 0);
        w.pass("");
        EXPECT_EQ(w.s.D2, 3);
        EXPECT_EQ(w.s.VY2, 9);
    }
    {
        RoadWorld w;
        w.s.D2 = 0;
        w.road(-1, 0);
        w.pass("");
        EXPECT_EQ(w.s.F2, 2);
        EXPECT_EQ(w.s.D2, 0);
        EXPECT_EQ(w.s.VX2, 10);
        EXPECT_EQ(w.s.VY2, 8);
        EXPECT_EQ(w.s.SCRNUPDT, 1);  // every search ends with a full refresh
    }
}

TEST(RoadFollowing, DeadEndRestoresPositionAndFacing) {
    RoadWorld w;
    w.s.D2 = 2;
    w.pass("");
    EXPECT_EQ(w.s.F2, 5);
    EXPECT_EQ(w.s.VX2, 10);
    EXPECT_EQ(w.s.VY2, 8);
    EXPECT_EQ(w.s.D2, 2);
    EXPECT_EQ(w.s.G2, 5);
    EXPECT_EQ(w.s.SCRNUPDT, 1);
    EXPECT_EQ(w.s.GE, 1);  // the last candidate had moved before the restore
    EXPECT_EQ(w.s.TIMM, 0);
    // With the arm counter low, the keys work normally again.
    w.read_view();
    w.pass("b");
    EXPECT_EQ(w.s.VY2, 9);
    EXPECT_EQ(w.s.D2, 3);
}

TEST(RoadFollowing, ObjectsAreIgnoredButCreaturesAndBlockedGroundOnlyTurn) {
    {
        RoadWorld w;
        w.s.OBJ_M(3) = 0;
        w.put(kStructureFile, -1, 0, 3);
        w.road(-1, 0);
        w.pass("");
        EXPECT_EQ(w.s.VX2, 9);  // a step key could not enter this cell
    }
    {
        RoadWorld w;
        w.road(-1, 0);
        w.road(0, -1);
        w.put(kCreatureFile, -1, 0, 2);
        w.pass("");
        EXPECT_EQ(w.s.D2, 4);  // turned to the creature, no fall-back to straight on
        EXPECT_EQ(w.s.VX2, 10);
        EXPECT_EQ(w.s.VY2, 8);
        EXPECT_EQ(w.s.F2, 1);
    }
    {
        RoadWorld w;
        w.s.CK_S(4) = " 5 ";
        w.road(-1, 0);
        w.road(0, -1);
        w.pass("");
        EXPECT_EQ(w.s.D2, 4);
        EXPECT_EQ(w.s.VX2, 10);
        EXPECT_EQ(w.s.G2, 5);
    }
}

TEST(RoadFollowing, ConditionsAndAKeyStepReplacedByTheRoadStep) {
    {
        RoadWorld w;
        w.road(-1, 0);
        w.pass("h");  // the search starts from the start-of-pass place and facing
        EXPECT_EQ(w.s.VX2, 9);
        EXPECT_EQ(w.s.D2, 4);
    }
    for (int variant = 0; variant < 3; ++variant) {
        RoadWorld w;
        w.road(-1, 0);
        if (variant == 0) w.s.P = 2;
        if (variant == 1) w.s.GE = 3;
        if (variant == 2) w.s.G2_S = " 1 ";  // the previous pass ended off the road
        w.pass("");
        EXPECT_EQ(w.s.F2, 0) << variant;
        EXPECT_EQ(w.s.VX2, 10) << variant;
        EXPECT_EQ(w.s.SCRNUPDT, 0) << variant;
    }
}

}  // namespace
}  // namespace tlvx::test
