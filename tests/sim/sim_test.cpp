// The game clock's minutes, hours and days, and the creature sweep: when and
// where creatures may go. How often each moves, that they stay inside the view,
// and the two ticks with their marks rounded half to even are the golden case
// creatures_moving.
#include <gtest/gtest.h>

#include <vector>

#include "sim/clock.hpp"
#include "sim/creatures.hpp"
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

// Around a creature at (1, 1): above, an enterable object; right, a solid one; left, a
// creature; below, ground blocked moving down. Each case opens one side: it goes there, one
// cell (the processed flag travels with it), and only in phase 4 with a move chance over 1.
TEST(Creatures, NeverIntoObjectsCreaturesOrBlockedGround) {
    const Spot home{1, 1}, sides[] = {{1, 0}, {2, 1}, {0, 1}, {1, 2}};
    // The open side (-1: none), the move chance, the phase.
    const std::tuple<int, int32_t, int32_t> cases[] = {{-1, 1000, 4}, {0, 1000, 4}, {1, 1000, 4}, {2, 1000, 4},
                                                       {3, 1000, 4},  {1, 1, 4},    {3, -3, 4},   {1, 1000, 3}};
    for (auto [open, obj_s, gc] : cases) {
        CreatureWorld w(obj_s, home);
        std::tie(w.s.GC, w.s.OBJ_M(4), w.s.CK_S(3)) = std::tuple(gc, 1, " 9 ");
        if (open != 0) w.put(kStructureFile, 1, 0, 4);
        if (open != 1) w.put(kStructureFile, 2, 1, 3);
        if (open != 2) w.put(kCreatureFile, 0, 1, 1);
        if (open != 3) w.put(kGroundFile, 1, 2, 9);
        Spot now = home;
        for (int i = 0; i < 200 && now == home; ++i) now = w.sweep();
        EXPECT_EQ(now, open < 0 || obj_s <= 1 || gc != 4 ? home : sides[open])
            << "open side " << open << ", move chance " << obj_s << ", phase " << gc;
    }
}

TEST(Clock, MinutesHoursDaysAndTheFirstDay) {
    ViewWorld w;
    w.s.BR = w.s.SB = 2000;  // no tick: GC stays as set
    const struct {
        int32_t gc, m, h, d, m2, h2, d2;
    } cases[] = {
        {1, 0, 0, 0, 0, 0, 1},    // the first pass starts day 1 with no minute added
        {4, 10, 5, 1, 11, 5, 1},  // a minute a pass while the phase is 4
        {4, 150, 6, 1, 31, 8, 1}, {4, 59, 23, 3, 0, 0, 4}, {4, 0, 50, 4, 1, 2, 6},
    };
    for (const auto& c : cases) {
        std::tie(w.s.GC, w.s.TIMM, w.s.TIMH, w.s.TIMD) = std::tuple(c.gc, c.m, c.h, c.d);
        clock_step(w.s);
        EXPECT_EQ(std::tuple(w.s.TIMM, w.s.TIMH, w.s.TIMD), std::tuple(c.m2, c.h2, c.d2))
            << c.m << " " << c.h << " " << c.d;
    }
}

}  // namespace
}  // namespace tlvx::test
