// Keys handled in whole passes after a real start-up over a fixture world.
#include <gtest/gtest.h>

#include <vector>

#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

struct GameRun {
    TempDir dir;
    FakePlatform platform;
    State s;
    explicit GameRun(const FixtureWorld& world) {
        world.write(dir.path());
        init_state(s, dir.path(), platform);
        startup(s);
    }
    int32_t creature_at(int c, int r) {
        std::string bytes = read_file(dir.file("tlvx_gr2.tmp"));
        return static_cast<uint8_t>(bytes.at(static_cast<size_t>(c + r * s.WX + 3)));
    }
};

TEST(WholePass, KeyWaitingForTheFirstPassIsBlockedByATreeOrACreature) {
    for (int blocker = 0; blocker < 3; ++blocker) {
        SCOPED_TRACE("blocker " + std::to_string(blocker));
        FixtureWorld world;  // the player at (10, 8) with marker 1
        if (blocker == 1) world.structures = [](int c, int r) { return uint8_t(c == 10 && r == 7 ? 3 : 0); };
        if (blocker == 2)
            world.creatures = [](int c, int r) { return uint8_t(c == 10 && r == 8 ? 1 : c == 10 && r == 7 ? 2 : 0); };
        GameRun run(world);
        run.platform.pending.push_back("y");
        run_pass(run.s);
        EXPECT_EQ(run.s.D2, 1);
        EXPECT_EQ(run.s.VY2, blocker == 0 ? 7 : 8);
    }
}

TEST(WholePass, MarkerFollowsThePlayerPulledBackFromTheMapEdge) {
    FixtureWorld world;
    world.w = 100;
    world.vx = 97;
    GameRun run(world);
    EXPECT_EQ(run.s.VX2, 97);
    run.platform.pending.push_back("h");
    run_pass(run.s);
    EXPECT_EQ(run.s.VX2, 96);  // stepped to 98, pulled back by the refresh
    EXPECT_EQ(run.creature_at(96, 8), 1);
    EXPECT_EQ(run.creature_at(97, 8), 0);
    EXPECT_EQ(run.creature_at(98, 8), 0);
    EXPECT_EQ(run.s.CR(0, 0), 1);
}

}  // namespace
}  // namespace tlvx::test
