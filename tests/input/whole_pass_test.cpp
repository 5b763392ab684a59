// Keys handled in whole passes after a real start-up over a fixture world.
#include <gtest/gtest.h>

#include "data/layer.hpp"
#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

struct GameRun {
    TempDir dir;
    FakePlatform platform;
    State s;
    GameRun(const FixtureWorld& world, const std::string& key) {
        world.write(dir.path());
        init_state(s, dir.path(), platform);
        startup(s);
        platform.pending.push_back(key);
        run_pass(s);
    }
};

TEST(WholePass, KeyWaitingForTheFirstPassIsBlockedByATreeOrACreature) {
    for (int blocker = 0; blocker < 3; ++blocker) {
        FixtureWorld world;  // the player at (10, 8) with marker 1; 3 is a tree, 2 a creature
        if (blocker == 1) world.structures = [](int c, int r) { return uint8_t(c == 10 && r == 7 ? 3 : 0); };
        if (blocker == 2)
            world.creatures = [](int c, int r) { return uint8_t(c == 10 && r == 8 ? 1 : c == 10 && r == 7 ? 2 : 0); };
        GameRun run(world, "y");
        EXPECT_EQ(std::pair(run.s.D2, run.s.VY2), std::pair(1, blocker == 0 ? 7 : 8)) << blocker;
    }
}

// On a 100-wide map the view cannot come nearer the edge than 96: the player stepping to
// 98 is pulled back, and the marker with it.
TEST(WholePass, MarkerFollowsThePlayerPulledBackFromTheMapEdge) {
    FixtureWorld world;
    world.w = 100;
    world.vx = 97;
    GameRun run(world, "h");
    EXPECT_EQ(run.s.VX2, 96);
    auto marker_at = [&](int c) { return cell_read(run.s, kCreatureFile, c, 8); };
    EXPECT_EQ(std::tuple(marker_at(96), marker_at(97), marker_at(98), run.s.CR(0, 0)), std::tuple(1, 0, 0, 1));
}

}  // namespace
}  // namespace tlvx::test
