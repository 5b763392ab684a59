// The game in a real window: tlvx started in a fixture world under a private
// Xvfb server and driven with xdotool, from a shell script.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>

#include "support/test_support.hpp"

#ifdef TLVX_GAME
using namespace tlvx;

namespace {

// Sets up $DISPLAY on a private X server (killed on exit) and start_game, which
// starts the game ($G its process, $GAME_ARGS its options) and focuses its window; exits 90 if the game
// ends first, 91 if no window shows.
const char* const kWithX = R"(
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>xdisplay 2>/dev/null & X=$!
trap 'kill $X' EXIT
for i in $(seq 100); do [ -s xdisplay ] && break; sleep 0.1; done
export DISPLAY=:$(cat xdisplay)
start_game() {
    "$GAME" $GAME_ARGS 2>err & G=$!
    for i in $(seq 200); do
        W=$(xdotool search --onlyvisible --name '^tlvx$' 2>/dev/null | head -n 1)
        [ -n "$W" ] && break || kill -0 $G 2>/dev/null || exit 90
        sleep 0.1
    done
    [ -n "$W" ] || exit 91
    xdotool windowfocus $W; sleep 0.3
}
)";

// Runs `script` with sh in a fresh fixture world; the exit status, or -1 when it was killed.
int run_in_world(const test::TempDir& world, const std::string& script) {
    test::FixtureWorld().write(world.path());
    test::write_file(world.file("run.sh"), "cd '" + world.path() + "'\nunset WAYLAND_DISPLAY\n" +
                                               "export SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0 GAME='" +
                                               TLVX_GAME + "'\n" + script);
    const int st = std::system(("timeout -k 5 120 sh '" + world.file("run.sh") + "'").c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Line `n` of the save file as a number.
int save_field(const test::TempDir& world, int n) {
    std::istringstream in(test::read_file(world.file("Pndx_001.sav")));
    std::string line;
    for (int i = 0; i < n; ++i) std::getline(in, line);
    return std::atoi(line.c_str());
}

bool have_x() { return std::system("which Xvfb xdotool >/dev/null") == 0; }

}  // namespace

// Two steps right and one up saved by Escape; the window's own keys reach nothing; F12 leaves one screenshot.
TEST(GameWindow, TypedKeysMoveThePlayerAndEscapeSaves) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(run_in_world(world, std::string(kWithX) + "start_game\n"
                                  "xdotool key --delay 60 h h F11 alt+Return alt+Return F11 F12 y Escape\nwait $G\n"),
              0)
        << test::read_file(world.file("err"));
    EXPECT_EQ(save_field(world, 2) * 1000 + save_field(world, 3) * 10 + save_field(world, 4), 12071);
    std::vector<std::string> shots;
    for (const auto& e : std::filesystem::directory_iterator(world.path()))
        if (e.path().filename().string().rfind("tlvx-shot-", 0) == 0) shots.push_back(e.path().string());
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(test::read_file(shots[0]).substr(12, 12), std::string("IHDR\0\0\x01\x40\0\0\0\xC8", 12));  // 320 x 200
}

TEST(GameWindow, SigtermQuitsLikeEscape) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(run_in_world(world, std::string(kWithX) + "start_game\nbefore=$(cksum < tlvx_gr2.tmp)\nxdotool key g\n"
                                  // The step moves the marker in the creature layer: wait for that, then signal.
                                  "for i in $(seq 300); do [ \"$(cksum < tlvx_gr2.tmp)\" != \"$before\" ] && break; "
                                  "sleep 0.1; done\nkill $G\nwait $G\n"), 0)
        << test::read_file(world.file("err"));
    EXPECT_EQ(save_field(world, 2), 9);
}

// Started outside a world, the game makes the player's world in the data folder and says so; the next
// start plays on in it silently; --world inside a world folder plays the data folder's world.
TEST(GameWindow, OutsideAWorldPlaysTheWorldInTheDataFolder) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(run_in_world(world, std::string(kWithX) +
                                      "cp Pndx_001.sav before\nmkdir elsewhere && cd elsewhere\n"
                                      "export XDG_DATA_HOME=\"$PWD/xdg\"\n"
                                      "start_game >../out1\nxdotool key --delay 60 h Escape\nwait $G || exit 10\n"
                                      "cp xdg/tlvx/world/Pndx_001.sav ../first.sav\n"
                                      "start_game >../out2\nxdotool key --delay 60 h Escape\nwait $G || exit 11\n"
                                      "cd .. && GAME_ARGS=--world start_game >out3\nxdotool key Escape\n"
                                      "wait $G || exit 12\n"),
              0)
        << test::read_file(world.file("err")) << test::read_file(world.file("elsewhere/err"));
    const std::string dir = world.file("elsewhere/xdg/tlvx/world");
    EXPECT_EQ(test::read_file(world.file("out1")),
              "Created the demo world in " + dir + "; your game is kept there from now on.\n");
    EXPECT_EQ(test::read_file(world.file("out2")), "");
    EXPECT_EQ(test::read_file(world.file("out3")), "");
    // Each start stepped right from where the last one saved.
    auto x_of = [](const std::string& save) { return std::atoi(save.substr(save.find('\n') + 1).c_str()); };
    EXPECT_EQ(x_of(test::read_file(dir + "/Pndx_001.sav")), x_of(test::read_file(world.file("first.sav"))) + 1);
    EXPECT_EQ(test::read_file(world.file("Pndx_001.sav")), test::read_file(world.file("before")));
}

TEST(GameWithoutDisplay, ReportsNoDisplayFound) {
    test::TempDir world;
    EXPECT_EQ(run_in_world(world, "cp Pndx_001.sav before\nDISPLAY=:4999 \"$GAME\" 2>err\n"), 1);
    const std::string report = test::read_file(world.file("err"));
    EXPECT_NE(report.find("Aborting due to runtime error 1 (illegal function call)"), std::string::npos) << report;
    EXPECT_NE(report.find("no display found"), std::string::npos) << report;
    EXPECT_EQ(test::read_file(world.file("Pndx_001.sav")), test::read_file(world.file("before")));  // nothing saved
}
#endif
