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

const char* const kWithX = test::kXSessionScript;

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

// A window dump written by `xwd -id`: its size and its pixels as 0xRRGGBB.
struct WindowDump {
    uint32_t w = 0, h = 0;
    std::string bytes;
    uint32_t offset = 0, line = 0;
    bool little = false;
    explicit WindowDump(const std::string& file) : bytes(test::read_file(file)) {
        if (bytes.size() < 100) return;
        auto field = [&](int i) {
            uint32_t v = 0;
            for (int b = 0; b < 4; ++b) v = v << 8 | static_cast<uint8_t>(bytes[static_cast<size_t>(i * 4 + b)]);
            return v;
        };
        if (field(11) != 32) return;  // 32 bits a pixel, as on a 24-bit screen
        w = field(4), h = field(5), line = field(12), little = field(7) == 0;
        offset = field(0) + field(19) * 12;
        if (bytes.size() < offset + static_cast<size_t>(line) * h) w = h = 0;
    }
    uint32_t at(uint32_t x, uint32_t y) const {
        const size_t o = offset + static_cast<size_t>(y) * line + x * 4;
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b)
            v |= uint32_t{static_cast<uint8_t>(bytes[o + static_cast<size_t>(b)])} << (little ? 8 * b : 8 * (3 - b));
        return v & 0xFFFFFF;
    }
};

}  // namespace

// Two steps right and one up saved by Escape; the window's own keys reach nothing; F12 leaves one screenshot.
TEST(GameWindow, TypedKeysMoveThePlayerAndEscapeSaves) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(
        run_in_world(world, std::string(kWithX) +
                                "start_game\n"
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
    EXPECT_EQ(
        run_in_world(world, std::string(kWithX) +
                                "start_game\nbefore=$(cksum < tlvx_gr2.tmp)\nxdotool key g\n"
                                // The step moves the marker in the creature layer: wait for that, then signal.
                                "for i in $(seq 300); do [ \"$(cksum < tlvx_gr2.tmp)\" != \"$before\" ] && break; "
                                "sleep 0.1; done\nkill $G\nwait $G\n"),
        0)
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
                                      "start_game >../out1\nxdotool key --delay 60 o Escape\nwait $G || exit 10\n"
                                      "cp xdg/tlvx/world/Pndx_001.sav ../first.sav\n"
                                      "start_game >../out2\nxdotool key --delay 60 o Escape\nwait $G || exit 11\n"
                                      "cd .. && start_game --world >out3\nxdotool key Escape\n"
                                      "wait $G || exit 12\n"),
              0)
        << test::read_file(world.file("err")) << test::read_file(world.file("elsewhere/err"));
    const std::string dir = world.file("elsewhere/xdg/tlvx/world");
    EXPECT_EQ(test::read_file(world.file("out1")),
              "Created the demo world in " + dir + "; your game is kept there from now on.\n");
    EXPECT_EQ(test::read_file(world.file("out2")), "");
    EXPECT_EQ(test::read_file(world.file("out3")), "");
    // Each start cycled the stored setting "o" on from where the last one
    // saved it (a step could be blocked by a wandering creature; this cannot).
    auto o_of = [](const std::string& save) {
        size_t at = 0;
        for (int line = 1; line < 12; ++line) at = save.find('\n', at) + 1;
        return std::atoi(save.c_str() + at);
    };
    EXPECT_EQ(o_of(test::read_file(world.file("first.sav"))), 1);
    EXPECT_EQ(o_of(test::read_file(dir + "/Pndx_001.sav")), 2);
    EXPECT_EQ(test::read_file(world.file("Pndx_001.sav")), test::read_file(world.file("before")));
}

// No X server, or none at all and no video driver named: refused at once,
// never run unseen; nothing saved.
TEST(GameWithoutDisplay, ReportsNoDisplayFound) {
    for (const char* env : {"DISPLAY=:4999", "env -u DISPLAY -u SDL_VIDEODRIVER"}) {
        SCOPED_TRACE(env);
        test::TempDir world;
        EXPECT_EQ(run_in_world(world, std::string("cp Pndx_001.sav before\n") + env + " \"$GAME\" 2>err\n"), 1);
        const std::string report = test::read_file(world.file("err"));
        EXPECT_NE(report.find("Aborting due to runtime error 1 (illegal function call)"), std::string::npos) << report;
        EXPECT_NE(report.find("no display found"), std::string::npos) << report;
        EXPECT_EQ(test::read_file(world.file("Pndx_001.sav")), test::read_file(world.file("before")));
    }
}

// A usage error: the usage and status 2, before any display is looked for or
// any file is touched; --help and --version print and end with 0.
TEST(GameCommandLine, UsageErrorsOpenNoWindowAndTouchNoFile) {
    test::TempDir world;
    EXPECT_EQ(run_in_world(world,
                           "ls -l --time-style=full-iso | grep -v '^total' > before\n"
                           "for a in --bogus stray '--speed 0' '--scale x' '--data'; do\n"
                           "  DISPLAY=:4999 \"$GAME\" $a >>out 2>>err; [ $? = 2 ] || exit 10\n"
                           "done\n"
                           "\"$GAME\" --help >help && \"$GAME\" --version >version || exit 11\n"
                           "ls -l --time-style=full-iso | grep -v '^total\\| before$\\| after$\\| out$\\| err$\\| "
                           "help$\\| version$' > after\n"
                           "grep -v ' before$' before | diff - after >&2 || exit 12\n"),
              0);
    const std::string err = test::read_file(world.file("err"));
    EXPECT_EQ(err.find("no display"), std::string::npos) << err;
    EXPECT_NE(err.find("Usage: tlvx"), std::string::npos) << err;
    EXPECT_TRUE(test::read_file(world.file("out")).empty());
    EXPECT_NE(test::read_file(world.file("help")).find("--speed N|max"), std::string::npos);
    EXPECT_EQ(test::read_file(world.file("version")).rfind("tlvx ", 0), 0u);
}

// Fullscreen without a window manager covers the display with the whole
// picture, letterboxed; back in the window the picture fills it again. 4:3
// fills the window's height; the speed keys show the speed in the title.
TEST(GameWindow, FullscreenAndBackShowTheWholePicture) {
    if (!have_x() || std::system("which xwd >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb, xdotool and xwd";
    test::TempDir world;
    EXPECT_EQ(
        run_in_world(world, std::string(kWithX) +
                                "start_game --scale 3\n"
                                "geometry() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }'; }\n"
                                // Generous: a sanitizer build draws its first pictures slowly.
                                "settle() { sleep 1.2; }\n"
                                "settle; geometry > g-window; xwd -silent -id $W > window.xwd\n"
                                "xdotool key alt+Return; settle; geometry > g-full; xwd -silent -id $W > full.xwd\n"
                                "xdotool key alt+Return; settle; geometry > g-back; xwd -silent -id $W > back.xwd\n"
                                "xdotool key F11; settle; xwd -silent -id $W > aspect.xwd\n"
                                "xdotool key ctrl+minus; sleep 0.3; xdotool getwindowname $W > title\n"
                                "xdotool key F11 Escape\nwait $G\n"),
        0)
        << test::read_file(world.file("err"));
    EXPECT_EQ(test::read_file(world.file("g-window")), "960x600\n");
    EXPECT_EQ(test::read_file(world.file("g-full")), "1280x1024\n");
    EXPECT_EQ(test::read_file(world.file("g-back")), "960x600\n");
    EXPECT_EQ(test::read_file(world.file("title")), "tlvx - speed 14 passes/s\n");
    // The fixture's ground fills the view (the top-left 168 x 168 screen pixels) with one colour.
    const WindowDump window(world.file("window.xwd")), full(world.file("full.xwd")), back(world.file("back.xwd")),
        aspect(world.file("aspect.xwd"));
    ASSERT_EQ(window.w * 10000 + window.h, 9600600u);
    const uint32_t ground = window.at(3, 3);
    EXPECT_NE(ground, 0u);
    EXPECT_EQ(window.at(503, 503), ground);  // the view's last pixel, 3 times as large
    EXPECT_EQ(window.at(506, 506), 0u);
    ASSERT_EQ(full.w * 10000 + full.h, 12801024u);
    EXPECT_EQ(full.at(3, 100), 0u);        // letterbox above the 1280 x 800 picture
    EXPECT_EQ(full.at(3, 115), ground);    // the picture starts at row 112
    EXPECT_EQ(full.at(670, 782), ground);  // the view's last pixel, 4 times as large
    EXPECT_EQ(full.at(3, 1020), 0u);
    ASSERT_EQ(back.w * 10000 + back.h, 9600600u);
    EXPECT_EQ(back.at(3, 3), ground);
    EXPECT_EQ(back.at(503, 503), ground);
    ASSERT_EQ(aspect.w, 960u);
    EXPECT_EQ(aspect.at(40, 300), 0u);       // pillarbox left of the 800 x 600 picture
    EXPECT_EQ(aspect.at(83, 3), ground);     // from column 80 ...
    EXPECT_EQ(aspect.at(915, 300), 0u);      // ... to 879
    EXPECT_EQ(aspect.at(496, 500), ground);  // 168 pixels: 420 wide, 504 tall
}

// With NumLock off the keypad's 6 and 2 step, and its Home ends a pause like any key.
TEST(GameWindow, KeypadKeysWithNumLockOff) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(
        run_in_world(world,
                     std::string(kWithX) +
                         "start_game\n"
                         "xdotool key --delay 120 KP_Right KP_Right KP_Down p KP_Home KP_Left KP_Prior KP_End Escape\n"
                         "wait $G\n"),
        0)
        << test::read_file(world.file("err"));
    // Right twice, down once, then the pause; Home ends it, left steps back.
    EXPECT_EQ(save_field(world, 2) * 100 + save_field(world, 3), 1109);
}

// A key held for two seconds at 2 passes a second: a step a pass, no backlog
// from the desktop's quicker repeat, and no walking on after the release.
TEST(GameWindow, HeldKeyAtASlowSpeedStopsWhenReleased) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(run_in_world(world, std::string(kWithX) + "start_game --speed 2\n"
                                                        "xdotool keydown h; sleep 2; xdotool keyup h; sleep 1.5\n"
                                                        "xdotool key Escape\nwait $G\n"),
              0)
        << test::read_file(world.file("err"));
    const int x = save_field(world, 2);
    EXPECT_GE(x, 12) << "too few steps";
    EXPECT_LE(x, 15) << "the held key ran ahead of the game";
}
// Under a window manager fullscreen is the window manager's; the picture still
// fills the display, letterboxed, and comes back whole.
TEST(GameWindow, FullscreenUnderAWindowManager) {
    if (!have_x() || std::system("which openbox xwd >/dev/null") != 0) GTEST_SKIP() << "needs openbox and xwd";
    test::TempDir world;
    EXPECT_EQ(
        run_in_world(world, std::string(kWithX) +
                                "openbox --sm-disable >/dev/null 2>&1 & WM=$!\n"
                                "trap 'kill $WM $X' EXIT\nsleep 1\nstart_game --scale 3\n"
                                "geometry() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }'; }\n"
                                "xdotool key alt+Return; sleep 1; geometry > g-full; xwd -silent -id $W > full.xwd\n"
                                "xdotool key alt+Return; sleep 1; geometry > g-back\n"
                                "xdotool key Escape\nwait $G\n"),
        0)
        << test::read_file(world.file("err"));
    EXPECT_EQ(test::read_file(world.file("g-full")), "1280x1024\n");
    EXPECT_EQ(test::read_file(world.file("g-back")), "960x600\n");
    const WindowDump full(world.file("full.xwd"));
    ASSERT_EQ(full.w * 10000 + full.h, 12801024u);
    EXPECT_EQ(full.at(3, 100), 0u);
    EXPECT_NE(full.at(3, 115), 0u);
    EXPECT_EQ(full.at(670, 782), full.at(3, 115));
}

// The X server going away ends the game as closing the window does: the
// character saved, status 0, and a line on standard error.
TEST(GameWindow, LosingTheDisplaySavesAndEnds) {
    if (!have_x()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir world;
    EXPECT_EQ(
        run_in_world(world, std::string(kWithX) +
                                "start_game\nbefore=$(cksum < tlvx_gr2.tmp)\nxdotool key h\n"
                                "for i in $(seq 300); do [ \"$(cksum < tlvx_gr2.tmp)\" != \"$before\" ] && break; "
                                "sleep 0.1; done\nkill $X; wait $X\nwait $G\n"),
        0)
        << test::read_file(world.file("err"));
    EXPECT_EQ(save_field(world, 2), 11);
    EXPECT_NE(test::read_file(world.file("err")).find("connection to the display is lost"), std::string::npos);
}
#endif
