// Start-up, the pass frame, keys handled in whole passes and the quit sequence, on a fixture world.
#include <gtest/gtest.h>

#include "base/error.hpp"
#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "shell/game.hpp"
#include "support/test_support.hpp"

using namespace tlvx;
using namespace tlvx::test;

namespace {

struct Game {
    TempDir dir;
    FakePlatform platform;
    std::unique_ptr<State> s = std::make_unique<State>();
    explicit Game(const FixtureWorld& w = FixtureWorld()) {
        w.write(dir.path());
        init_state(*s, dir.path(), platform);
    }
    // Start-up, then one whole pass with `key` waiting; whether it quits.
    bool start_and_pass(const std::string& key) {
        startup(*s);
        platform.pending.push_back(key);
        return run_pass(*s);
    }
};

}  // namespace

// kept: layer files 4 and 5 are opened too, though nothing reads them; the
// quit's save reopens slot 0, which held number 1, and so closes the ground layer file.
TEST(Startup, LoadsTheWorldOnNumbersOneToFiveAndTheQuitClosesNumberOne) {
    Game g;
    State& s = *g.s;
    startup(s);
    EXPECT_EQ(std::tuple(s.WX, s.WY, s.P2_S, s.SCRNUPDT, s.D2), std::tuple(20, 16, "Testland World", 3, 1));
    for (int slot = 1; slot <= 5; ++slot) EXPECT_EQ(stream_number(s, slot), slot);
    EXPECT_EQ(s.files.open_count(), 5);
    for (uint8_t px : s.screen.pixels) ASSERT_EQ(px, 0);  // nothing is drawn before the first pass
    g.platform.pending.push_back("\x1b");
    EXPECT_TRUE(run_pass(s));
    EXPECT_FALSE(s.files.is_open(1));
    EXPECT_TRUE(s.files.is_open(2) && s.files.is_open(5));
}

// A missing creature or upper layer is created empty and reads 0; a missing ground
// layer is created empty too, but an empty ground layer is illegal (error 1).
TEST(Startup, MissingLayerFilesAreCreatedEmptyAndAnEmptyGroundLayerIsError1) {
    Game g, missing;
    for (const char* f : {"tlvx_gr4.tmp", "tlvx_gr2.tmp"}) std::remove(g.dir.file(f).c_str());
    startup(*g.s);
    EXPECT_EQ(std::pair(file_exists(g.dir.file("tlvx_gr4.tmp")), g.s->CR(0, 0)), std::pair(true, 0));
    std::remove(missing.dir.file("tlvx_gr1.tmp").c_str());
    EXPECT_EQ(catch_error([&] { startup(*missing.s); }).number, 1);
    EXPECT_EQ(read_file(missing.dir.file("tlvx_gr1.tmp")), "");  // created empty, left behind
}

TEST(WholePass, KeyWaitingForTheFirstPassIsBlockedByATreeOrACreature) {
    for (int blocker = 0; blocker < 3; ++blocker) {
        FixtureWorld world;  // the player at (10, 8) with marker 1; 3 is a tree, 2 a creature
        if (blocker == 1) world.structures = [](int c, int r) { return uint8_t(c == 10 && r == 7 ? 3 : 0); };
        if (blocker == 2)
            world.creatures = [](int c, int r) { return uint8_t(c == 10 && r == 8 ? 1 : c == 10 && r == 7 ? 2 : 0); };
        Game g(world);
        g.start_and_pass("y");
        EXPECT_EQ(std::pair(g.s->D2, g.s->VY2), std::pair(1, blocker == 0 ? 7 : 8)) << blocker;
    }
}

// On a 100-wide map the view cannot come nearer the edge than 96 (a step there is pulled
// back: the golden case edge_clamp). A game that ended at 99 (a step the refresh had not
// yet pulled back) starts at 96 with its one marker there, and its first step carries that
// marker on.
TEST(WholePass, AGameEndedPastTheEdgeStartsPulledBackWithItsMarker) {
    FixtureWorld world;
    world.w = 100;
    world.vx = 99;
    Game g(world);
    g.start_and_pass("g");
    auto marker_at = [&](int c) { return cell_read(*g.s, kCreatureFile, c, 8); };
    EXPECT_EQ(std::tuple(g.s->VX2, marker_at(95), marker_at(96), marker_at(99)), std::tuple(95, 1, 0, 0));
}
