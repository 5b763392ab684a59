// The creature sweep: when and where creatures may go. How often each moves is the golden
// case creatures_moving.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

using Spot = std::pair<int32_t, int32_t>;  // a view offset

// A view with one creature, value 2, at `at`; the sweep runs (GC 4) without immediate draws.
struct CreatureWorld : ViewWorld {
    CreatureWorld(int32_t obj_s, Spot at) {
        std::tie(s.OBJS(2), s.GC, s.SCRNUPDT) = std::tuple(obj_s, 4, 1);
        put(kCreatureFile, at.first, at.second, 2);
    }
    // One sweep; where the creature is now ({99, 99} unless it is in the grid and the file once).
    Spot sweep() {
        creature_sweep(s);
        std::vector<Spot> found;
        for (int32_t y = -3; y <= 3; ++y)
            for (int32_t x = -3; x <= 3; ++x)
                if (s.CR(x, y) == 2 && at(kCreatureFile, x, y) == 2) found.push_back({x, y});
        return found.size() == 1 ? found[0] : Spot{99, 99};
    }
};

// Nothing moves unless the phase is 4 and OBJS is over 1, yet the processed flags are cleared. The flag
// travels with a creature, so one stepping right or down is not moved again in the sweep.
TEST(Creatures, OneCellPerSweepOnlyInPhaseFourAndNeverOutOfTheView) {
    // Phase 3, or a move chance of 1 or less even in phase 4: never.
    for (auto [obj_s, gc] : {std::pair{1000, 3}, {1, 4}, {-3, 4}}) {
        CreatureWorld still(obj_s, {1, 1});
        still.s.GC = gc;
        for (int i = 0; i < 50; ++i) {
            still.s.LC.fill(1);
            const Spot now = still.sweep();
            ASSERT_EQ(std::pair(now, still.s.LC(-3, -3) + still.s.LC(3, 3)), std::pair(Spot(1, 1), 0))
                << obj_s << " in phase " << gc;
        }
    }
    CreatureWorld w(1000, {-3, -3});
    Spot last{-3, -3};
    int right_or_down = 0;
    for (int i = 0; i < 600; ++i) {
        const Spot now = w.sweep();
        ASSERT_LE(std::abs(now.first - last.first) + std::abs(now.second - last.second), 1) << "sweep " << i;
        right_or_down += now.first > last.first || now.second > last.second;
        last = now;
    }
    EXPECT_GT(right_or_down, 50);
}

// Around a creature at (1, 1): above, an enterable object; right, a solid one; left, a
// creature; below, ground blocked moving down. Each case opens one side: it goes only there.
TEST(Creatures, NeverIntoObjectsCreaturesOrBlockedGround) {
    const Spot home{1, 1}, sides[] = {{1, 0}, {2, 1}, {0, 1}, {1, 2}};
    for (int open = -1; open < 4; ++open) {
        CreatureWorld w(1000, home);
        std::tie(w.s.OBJ_M(4), w.s.CK_S(3)) = std::tuple(1, " 9 ");
        if (open != 0) w.put(kStructureFile, 1, 0, 4);
        if (open != 1) w.put(kStructureFile, 2, 1, 3);
        if (open != 2) w.put(kCreatureFile, 0, 1, 1);
        if (open != 3) w.put(kGroundFile, 1, 2, 9);
        Spot now = home;
        for (int i = 0; i < 200 && now == home; ++i) now = w.sweep();
        EXPECT_EQ(now, open < 0 ? home : sides[open]) << "open side " << open;
    }
}

}  // namespace
}  // namespace tlvx::test
