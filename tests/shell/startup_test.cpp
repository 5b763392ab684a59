// Start-up, the pass frame and the quit sequence, on a fixture world.
#include <gtest/gtest.h>

#include "base/error.hpp"
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
};

}  // namespace

// kept: layer files 4 and 5 are opened too, though nothing reads them.
TEST(Startup, LoadsTheWorldAndLeavesLayerFilesOnNumbersOneToFive) {
    Game g;
    startup(*g.s);
    State& s = *g.s;
    EXPECT_EQ(std::tuple(s.WX, s.WY, s.P2_S, s.SCRNUPDT, s.D2), std::tuple(20, 16, "Testland World", 3, 1));
    for (int slot = 1; slot <= 5; ++slot) EXPECT_EQ(stream_number(s, slot), slot);
    EXPECT_EQ(s.files.open_count(), 5);
    for (uint8_t px : s.screen.pixels) ASSERT_EQ(px, 0);  // nothing is drawn before the first pass
}

// A missing creature or upper layer is created empty and reads 0; a missing ground
// layer is created empty too, but an empty ground layer is illegal (error 1).
TEST(Startup, MissingLayerFilesAreCreatedEmptyAndAnEmptyGroundLayerIsError1) {
    Game g, missing;
    for (const char* f : {"tlvx_gr4.tmp", "tlvx_gr2.tmp"}) std::remove(g.dir.file(f).c_str());
    startup(*g.s);
    EXPECT_EQ(std::pair(file_exists(g.dir.file("tlvx_gr4.tmp")), g.s->CR(0, 0)), std::pair(true, 0));
    std::remove(missing.dir.file("tlvx_gr1.tmp").c_str());
    try {
        startup(*missing.s);
        ADD_FAILURE() << "started without a ground layer";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 1);
    }
    EXPECT_EQ(read_file(missing.dir.file("tlvx_gr1.tmp")), "");  // created empty, left behind
}

TEST(Pass, QuitReopenOfSlotZeroClosesTheGroundLayerFile) {
    Game g;
    State& s = *g.s;
    startup(s);
    g.platform.pending = {"\x1b"};
    EXPECT_TRUE(run_pass(s));
    // kept: the save reopened slot 0, which held number 1, the ground layer's number.
    EXPECT_FALSE(s.files.is_open(1));
    EXPECT_TRUE(s.files.is_open(2) && s.files.is_open(5));
}
