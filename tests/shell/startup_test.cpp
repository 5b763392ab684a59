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

int32_t startup_error(Game& g) {
    try {
        startup(*g.s);
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

std::string startup_report(Game& g) {
    try {
        startup(*g.s);
    } catch (const RuntimeError& e) {
        return error_report(e);
    }
    return {};
}

}  // namespace

TEST(Startup, LoadsTheWorldAndLeavesLayerFilesOnNumbersOneToFive) {
    Game g;
    startup(*g.s);
    State& s = *g.s;
    EXPECT_EQ(s.WX, 20);
    EXPECT_EQ(s.WY, 16);
    EXPECT_EQ(s.VX2, 10);
    EXPECT_EQ(s.VY2, 8);
    EXPECT_EQ(s.P2_S, "Testland World");
    EXPECT_EQ(s.SCRNUPDT, 3);
    EXPECT_EQ(s.D2, 1);
    for (int slot = 1; slot <= 5; ++slot) EXPECT_EQ(stream_number(s, slot), slot);
    EXPECT_EQ(s.files.open_count(), 5);
    // Nothing is drawn before the first pass.
    for (uint8_t px : s.screen.pixels) ASSERT_EQ(px, 0);
}

TEST(Startup, EachMissingTextFileIsFileNotFoundNamingIt) {
    for (const char* name : {"tlvx_w05.pal", "Pndx_001.sav", "Testland.txt", "tlvx_w05.mem", "tlvx_w05.mom"}) {
        Game g;
        std::remove(g.dir.file(name).c_str());
        std::string report = startup_report(g);
        EXPECT_NE(report.find("Aborting due to runtime error 2 (file not found)"), std::string::npos) << name;
        EXPECT_NE(report.find(name), std::string::npos) << report;
    }
}

TEST(Startup, EmptyGroundLayerIsIllegalFunctionCall) {
    Game g;
    write_file(g.dir.file("tlvx_gr1.tmp"), "");
    EXPECT_EQ(startup_error(g), 1);
    Game missing;
    std::remove(missing.dir.file("tlvx_gr1.tmp").c_str());
    EXPECT_EQ(startup_error(missing), 1);
    EXPECT_TRUE(file_exists(missing.dir.file("tlvx_gr1.tmp")));  // created empty, left behind
}

TEST(Startup, MissingUpperLayerFilesAreCreatedEmpty) {
    Game g;
    std::remove(g.dir.file("tlvx_gr4.tmp").c_str());
    std::remove(g.dir.file("tlvx_gr2.tmp").c_str());
    startup(*g.s);
    EXPECT_TRUE(file_exists(g.dir.file("tlvx_gr4.tmp")));
    EXPECT_EQ(g.s->CR(0, 0), 0);  // the creature layer reads 0 everywhere
}

TEST(Startup, PositionOutsideTheMapIsMovedInside) {
    FixtureWorld w;
    w.vx = 1;
    w.vy = 1;
    Game g(w);
    startup(*g.s);
    EXPECT_EQ(g.s->VX2, 4);
    EXPECT_EQ(g.s->VY2, 4);
    EXPECT_EQ(g.s->VX1, 4);
}

TEST(Pass, FirstPassIsAFullRefreshAndEscapeSavesTheStateOfThatPass) {
    Game g;
    State& s = *g.s;
    startup(s);
    EXPECT_FALSE(run_pass(s));
    EXPECT_EQ(s.SCRNUPDT, 1);
    EXPECT_EQ(s.TIMD, 1);
    bool drawn = false;
    for (int y = 0; y < 168 && !drawn; ++y)
        for (int x = 0; x < 168; ++x) drawn = drawn || s.screen.at(x, y) != 0;
    EXPECT_TRUE(drawn);

    // Escape in a pass that also steps: the step is saved, the redraw skipped.
    s.screen.pixels.fill(7);
    g.platform.pending = {"h"};
    EXPECT_FALSE(run_pass(s));
    g.platform.pending = {"\x1b"};
    g.platform.now += 1;
    EXPECT_TRUE(run_pass(s));
    for (int y = 0; y < 168; y += 24) EXPECT_NE(s.screen.at(0, y), 7);
    std::string saved = read_file(g.dir.file("Pndx_001.sav"));
    EXPECT_EQ(saved.substr(0, 10), "Testland\r\n");
    EXPECT_NE(saved.find("\r\n 11 \r\n"), std::string::npos) << saved;
}

TEST(Pass, QuitReopenOfSlotZeroClosesTheGroundLayerFile) {
    Game g;
    State& s = *g.s;
    startup(s);
    g.platform.pending = {"\x1b"};
    EXPECT_TRUE(run_pass(s));
    EXPECT_FALSE(s.files.is_open(1));  // the save file was number 1 and is closed again
    EXPECT_TRUE(s.files.is_open(2));
    EXPECT_TRUE(s.files.is_open(5));
}
