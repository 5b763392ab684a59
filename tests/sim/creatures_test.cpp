// The creature sweep: who moves, how often, where creatures may go.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

struct Spot {
    int32_t x, y;
};

// A view with one creature (value 2) at (x, y); the sweep runs (GC 4) without
// immediate draws unless a test asks for them.
struct CreatureWorld : ViewWorld {
    CreatureWorld(int32_t obj_s, Spot at) {
        s.OBJS(2) = obj_s;
        s.GC = 4;
        s.SCRNUPDT = 1;
        put(kCreatureFile, at.x, at.y, 2);
    }
    // Where value 2 is in the grid; checks the file agrees and there is only one.
    Spot find() {
        Spot found{99, 99};
        int count = 0;
        for (int32_t y = -3; y <= 3; ++y)
            for (int32_t x = -3; x <= 3; ++x)
                if (s.CR(x, y) == 2) {
                    found = {x, y};
                    ++count;
                    EXPECT_EQ(at(kCreatureFile, x, y), 2);
                }
        EXPECT_EQ(count, 1);
        return found;
    }
    // Put the creature back at (x, y) from wherever it went.
    void reset(Spot from, Spot to) {
        s.CR(from.x, from.y) = 0;
        cell_write(s, kCreatureFile, s.VX1 + from.x, s.VY1 + from.y, 0);
        s.CR(to.x, to.y) = 2;
        cell_write(s, kCreatureFile, s.VX1 + to.x, s.VY1 + to.y, 2);
    }
};

double move_fraction(int32_t obj_s, int trials) {
    const Spot home{1, 1};  // all four neighbours free and inside the view
    CreatureWorld w(obj_s, home);
    int moves = 0;
    for (int i = 0; i < trials; ++i) {
        creature_sweep(w.s);
        Spot now = w.find();
        if (now.x != home.x || now.y != home.y) {
            ++moves;
            w.reset(now, home);
        }
    }
    return static_cast<double>(moves) / trials;
}

TEST(Creatures, MoveChanceFollowsObjs) {
    for (int32_t never : {1, 0, -3}) EXPECT_EQ(move_fraction(never, 300), 0.0) << never;
    EXPECT_NEAR(move_fraction(2, 4000), 0.5, 0.04);
    EXPECT_NEAR(move_fraction(4, 4000), 0.75, 0.04);
}

TEST(Creatures, NeverLeaveTheViewAndMoveAtMostOneCellPerSweep) {
    CreatureWorld w(1000, {-3, -3});
    Spot last{-3, -3};
    int right_or_down = 0;
    for (int i = 0; i < 600; ++i) {
        creature_sweep(w.s);
        Spot now = w.find();
        ASSERT_LE(std::abs(now.x - last.x) + std::abs(now.y - last.y), 1) << "sweep " << i;
        if (now.x > last.x || now.y > last.y) ++right_or_down;
        last = now;
    }
    EXPECT_GT(right_or_down, 50);
    // Nothing was written outside the view.
    int outside = 0;
    for (int r = 1; r <= 16; ++r)
        for (int c = 1; c <= 20; ++c)
            if ((std::abs(c - 10) > 3 || std::abs(r - 8) > 3) && cell_read(w.s, kCreatureFile, c, r) != 0) ++outside;
    EXPECT_EQ(outside, 0);
}

TEST(Creatures, BlockedByCreaturesObjectsAndBlockedGround) {
    // Creature at (1, 1): above it an enterable object, to the right a solid one,
    // to the left a creature of value 1, below it ground blocked moving down.
    // Each case opens one side and checks the creature goes only there.
    const Spot home{1, 1};
    const Spot sides[] = {{1, 0}, {2, 1}, {0, 1}, {1, 2}};
    for (int open = -1; open < 4; ++open) {
        SCOPED_TRACE("open side " + std::to_string(open));
        CreatureWorld w(1000, home);
        w.s.OBJ_M(3) = 0;
        w.s.OBJ_M(4) = 1;
        w.s.CK_S(3) = " 9 ";
        if (open != 0) w.put(kStructureFile, 1, 0, 4);
        if (open != 1) w.put(kStructureFile, 2, 1, 3);
        if (open != 2) w.put(kCreatureFile, 0, 1, 1);
        if (open != 3) w.put(kGroundFile, 1, 2, 9);
        bool moved = false;
        for (int i = 0; i < 200 && !moved; ++i) {
            creature_sweep(w.s);
            Spot now = w.find();
            moved = now.x != home.x || now.y != home.y;
            if (moved) {
                ASSERT_GE(open, 0);
                EXPECT_EQ(now.x, sides[open].x);
                EXPECT_EQ(now.y, sides[open].y);
            }
        }
        EXPECT_EQ(moved, open >= 0);
    }
}

TEST(Creatures, NothingMovesUnlessThePhaseIsFourButFlagsAreCleared) {
    CreatureWorld w(1000, {1, 1});
    w.s.GC = 3;
    for (int i = 0; i < 100; ++i) {
        w.s.LC.fill(1);
        creature_sweep(w.s);
        Spot now = w.find();
        ASSERT_EQ(now.x, 1);
        ASSERT_EQ(now.y, 1);
        for (int32_t y = -3; y <= 3; ++y)
            for (int32_t x = -3; x <= 3; ++x) ASSERT_EQ(w.s.LC(x, y), 0);
    }
}

TEST(Creatures, VacatedCellIsRedrawnAtOnceOnlyWhenTheViewStayed) {
    for (int32_t scrnupdt : {0, 1}) {
        // Boxed in except to the right, so the first move goes to (2, 1).
        CreatureWorld w(1000, {1, 1});
        w.s.OBJ_M(4) = 1;
        w.put(kStructureFile, 1, 0, 4);
        w.put(kStructureFile, 0, 1, 4);
        w.put(kStructureFile, 1, 2, 4);
        w.s.SCRNUPDT = scrnupdt;
        w.s.GR(1, 1) = 77;  // stale: the file holds 1
        bool moved = false;
        for (int i = 0; i < 200 && !moved; ++i) {
            creature_sweep(w.s);
            moved = w.s.CR(2, 1) == 2;
        }
        ASSERT_TRUE(moved);
        // The full cell draw re-reads the vacated cell into the grids.
        EXPECT_EQ(w.s.GR(1, 1), scrnupdt == 0 ? 1 : 77) << scrnupdt;
        EXPECT_EQ(w.s.CR(1, 1), 0);
    }
}

}  // namespace
}  // namespace tlvx::test
