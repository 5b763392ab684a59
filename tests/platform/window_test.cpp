// The game in a real window: tlvx started in a fixture world under a private
// Xvfb server and driven with xdotool, from a shell script.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "support/test_support.hpp"

#ifdef TLVX_GAME
using namespace tlvx;

namespace {

// Runs `script` with sh in a fresh fixture world; the exit status, or -1 when it was killed.
int run_in_world(const test::TempDir& world, const std::string& script) {
    test::FixtureWorld().write(world.path());
    test::write_file(world.file("run.sh"), "cd '" + world.path() + "'\nunset WAYLAND_DISPLAY\n" +
                                               "export SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0 GAME='" +
                                               TLVX_GAME + "'\n" + script);
    const int st = std::system(("timeout -k 5 120 sh '" + world.file("run.sh") + "'").c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Line `n` (from 1) of `text` as a number.
int line_number(const std::string& text, int n) {
    size_t at = 0;
    for (int i = 1; i < n; ++i) at = text.find('\n', at) + 1;
    return std::atoi(text.c_str() + at);
}

// A window dump written by `xwd -id` (32 bits a pixel, as on a 24-bit screen): its size and pixels.
struct WindowDump {
    std::string bytes;
    uint32_t w = 0, h = 0, offset = 0, line = 0;
    bool little = false;
    explicit WindowDump(const std::string& file) : bytes(test::read_file(file)) {
        auto field = [&](int i) { return word(static_cast<size_t>(i) * 4, false); };
        if (bytes.size() < 100 || field(11) != 32) return;
        w = field(4), h = field(5), line = field(12), little = field(7) == 0;
        offset = field(0) + field(19) * 12;
        if (bytes.size() < offset + size_t{line} * h) w = h = 0;
    }
    uint32_t word(size_t o, bool le) const {
        uint32_t v = 0;
        for (size_t b = 0; b < 4; ++b) v |= uint32_t{static_cast<uint8_t>(bytes[o + b])} << (le ? 8 * b : 8 * (3 - b));
        return v;
    }
    uint32_t size() const { return w * 10000 + h; }
    uint32_t at(uint32_t x, uint32_t y) const { return word(offset + size_t{y} * line + x * 4, little) & 0xFFFFFF; }
};

}  // namespace

// Each session starts Xvfb and the game (`start_game`) in a fresh fixture world, the player at 10, 8.
class GameWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("which Xvfb xdotool xwd >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb, xdotool and xwd";
    }
    int session(const std::string& script) { return run_in_world(world, test::kXSessionScript + script); }
    int save_field(int n) const { return line_number(test::read_file(world.file("Pndx_001.sav")), n); }
    std::string err() const { return test::read_file(world.file("err")); }
    test::TempDir world;
};

// Typed keys step; the window's own keys (F11, Alt+Enter) reach nothing and F12 leaves one
// screenshot. With NumLock off the keypad's arrows step and its Home ends a pause like any key.
// Escape saves. Under a window manager (when there is one to start) fullscreen is the window
// manager's; the picture still fills the display, letterboxed, and comes back whole.
TEST_F(GameWindow, TypedAndKeypadKeysMoveThePlayerAndEscapeSaves) {
    EXPECT_EQ(
        session("if command -v openbox >/dev/null; then openbox --sm-disable >/dev/null 2>&1 & WM=$!\n"
                "  trap 'kill $WM $X; rm -f \"$XD\"' EXIT; sleep 1; fi\n"
                "start_game --scale 3\n"
                "geometry() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }'; }\n"
                "xdotool key --delay 60 h h alt+Return; sleep 1.2; geometry > g-full; xwd -silent -id $W > full.xwd\n"
                "xdotool key alt+Return; sleep 1.2; geometry > g-back\n"
                "xdotool key --delay 60 F11 F11 F12 y\n"
                "xdotool key --delay 120 KP_Right KP_Right KP_Down p KP_Home KP_Left KP_Prior KP_End Escape\n"
                "wait $G\n"),
        0)
        << err();
    // Right twice and up, then right twice and down; Home ends the pause, left steps back: at 13, 8 facing left.
    EXPECT_EQ(save_field(2) * 1000 + save_field(3) * 10 + save_field(4), 13084);
    std::vector<std::string> shots;
    for (const auto& e : std::filesystem::directory_iterator(world.path()))
        if (e.path().filename().string().rfind("tlvx-shot-", 0) == 0) shots.push_back(e.path().string());
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(test::read_file(shots[0]).substr(12, 12), std::string("IHDR\0\0\x01\x40\0\0\0\xC8", 12));  // 320 x 200
    EXPECT_EQ(test::read_file(world.file("g-full")) + test::read_file(world.file("g-back")), "1280x1024\n960x600\n");
    const WindowDump full(world.file("full.xwd"));
    ASSERT_EQ(full.size(), 12801024u);
    EXPECT_EQ(full.at(3, 100), 0u);                 // letterbox above the 1280 x 800 picture
    EXPECT_NE(full.at(3, 115), 0u);                 // the picture starts at row 112
    EXPECT_EQ(full.at(670, 782), full.at(3, 115));  // the view's last pixel, 4 times as large
}

// A key held for two seconds at 2 passes a second: a step a pass, no backlog from the desktop's
// quicker repeat, and no walking on after the release. SIGTERM then saves and ends like Escape.
TEST_F(GameWindow, HeldKeyAtASlowSpeedStopsWhenReleasedAndSigtermSaves) {
    EXPECT_EQ(session("start_game --speed 2\n"
                      "xdotool keydown h; sleep 2; xdotool keyup h; sleep 1.5\n"
                      "kill $G\nwait $G\n"),
              0)
        << err();
    EXPECT_GE(save_field(2), 12) << "too few steps";
    EXPECT_LE(save_field(2), 15) << "the held key ran ahead of the game";
}

// Fullscreen without a window manager covers the display with the whole picture, letterboxed;
// back in the window the picture fills it again. 4:3 fills the window's height; the speed keys
// show the speed in the title. The X server going away then ends the game as closing the window
// does: the character saved, status 0, and a line on standard error.
TEST_F(GameWindow, FullscreenAndBackShowTheWholePictureAndLosingTheDisplaySaves) {
    EXPECT_EQ(session("start_game --scale 3\nxdotool key h\n"
                      "geometry() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }'; }\n"
                      // Generous: a sanitizer build draws its first pictures slowly.
                      "settle() { sleep 1.2; }\n"
                      "xdotool key alt+Return; settle; geometry > g-full; xwd -silent -id $W > full.xwd\n"
                      "xdotool key alt+Return; settle; geometry > g-back; xwd -silent -id $W > back.xwd\n"
                      "xdotool key F11; settle; xwd -silent -id $W > aspect.xwd\n"
                      "xdotool key ctrl+minus; sleep 0.3; xdotool getwindowname $W > title\n"
                      "kill $X; wait $X\nwait $G\n"),
              0)
        << err();
    EXPECT_EQ(save_field(2), 11);
    EXPECT_NE(err().find("connection to the display is lost"), std::string::npos) << err();
    auto file = [&](const char* name) { return test::read_file(world.file(name)); };
    EXPECT_EQ(file("g-full") + file("g-back"), "1280x1024\n960x600\n");
    EXPECT_EQ(file("title"), "tlvx - speed 14 passes/s\n");
    // The fixture's ground fills the view (the top-left 168 x 168 screen pixels) with one colour.
    const WindowDump full(world.file("full.xwd")), back(world.file("back.xwd")), aspect(world.file("aspect.xwd"));
    ASSERT_EQ(back.size(), 9600600u);
    const uint32_t ground = back.at(3, 3);
    EXPECT_NE(ground, 0u);
    EXPECT_EQ(back.at(503, 503), ground);  // the view's last pixel, 3 times as large
    ASSERT_EQ(full.size(), 12801024u);
    EXPECT_EQ(full.at(3, 100), 0u);        // letterbox above the 1280 x 800 picture
    EXPECT_EQ(full.at(3, 115), ground);    // the picture starts at row 112
    EXPECT_EQ(full.at(670, 782), ground);  // the view's last pixel, 4 times as large
    ASSERT_EQ(aspect.w, 960u);
    EXPECT_EQ(aspect.at(40, 300), 0u);       // pillarbox left of the 800 x 600 picture
    EXPECT_EQ(aspect.at(496, 500), ground);  // 168 pixels: 420 wide, 504 tall, from column 80
}

// The layer file `k` (1 to 3) of the fixture world: its cells, row after row.
std::string fixture_cells(const test::TempDir& world, int k) {
    return test::read_file(world.file("tlvx_gr" + std::to_string(k) + ".tmp")).substr(4 + 20);
}

// While the game plays its world, import-tiled and demo --force are refused at
// once (status 1, one line naming the game) and change nothing: the ground
// cell raised before and after them ends at 4, the step and the structure
// edit after them land, and the saved place is where the marker is.
TEST_F(GameWindow, ToolsThatReplaceTheWorldAreRefusedWhileItPlays) {
    EXPECT_EQ(
        session(std::string("TOOL='") + TLVX_TOOL +
                "'\n"
                "\"$TOOL\" export-tiled . map.tmj >/dev/null 2>&1 || exit 80\n"
                // Waits up to 5 s for a byte of value $1 in the file $2.
                "has() { od -An -v -tu1 \"$2\" | tr -s ' ' '\\n' | grep -qx \"$1\"; }\n"
                "until_has() { for i in $(seq 50); do has \"$@\" && return; sleep 0.1; done; }\n"
                "start_game\n"
                "xdotool key --delay 150 plus plus; until_has 3 tlvx_gr1.tmp\n"
                "\"$TOOL\" import-tiled map.tmj . >import.out 2>&1; echo $? >>import.out\n"
                "\"$TOOL\" demo --force . >demo.out 2>&1; echo $? >>demo.out\n"
                "xdotool key --delay 150 plus h bracketright; until_has 4 tlvx_gr1.tmp; until_has 1 tlvx_gr3.tmp\n"
                "xdotool key Escape\n"
                "wait $G\n"),
        0)
        << err();
    for (const auto& [tool, file] : {std::pair{"import-tiled", "import.out"}, {"demo", "demo.out"}}) {
        const std::string out = test::read_file(world.file(file));
        EXPECT_EQ(out.rfind(std::string("tlvx-tool ") + tool + ": the world in \".\" is in use by tlvx (pid ", 0), 0u)
            << out;
        EXPECT_TRUE(out.ends_with("); close it first\n1\n")) << out;
    }
    const std::string ground = fixture_cells(world, 1), creatures = fixture_cells(world, 2),
                      structures = fixture_cells(world, 3);
    ASSERT_EQ(ground.size(), 20u * 16u) << "the world's size is kept";
    std::string raised;  // the ground cells not at 1, for the failure message
    for (size_t i = 0; i < ground.size(); ++i)
        if (ground[i] != 1) raised += " cell " + std::to_string(i) + ": " + std::to_string(ground[i]);
    EXPECT_EQ(std::count(ground.begin(), ground.end(), '\x04'), 1) << "three raises of one cell:" << raised;
    EXPECT_EQ(std::count(ground.begin(), ground.end(), '\x01'), 20 * 16 - 1);
    EXPECT_EQ(std::count(structures.begin(), structures.end(), '\0'), 20 * 16 - 1) << "one structure edit";
    // The save's place (11, 8 after one step right) holds the marker, the only one.
    EXPECT_EQ(save_field(2) * 100 + save_field(3), 1108);
    EXPECT_EQ(creatures.find('\x01'), size_t{(8 - 1) * 20 + (11 - 1)});
    EXPECT_EQ(std::count(creatures.begin(), creatures.end(), '\x01'), 1);
}

// No X server, or none at all and no video driver named: refused at once, never run unseen. A
// usage error comes before any display is looked for; --help needs none. No file is touched.
TEST(GameWithoutDisplay, RefusedAtOnceAfterTheCommandLineTouchingNoFile) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"DISPLAY=:4999 \"$GAME\"", 1, "no display found"},
        {"env -u DISPLAY -u SDL_VIDEODRIVER \"$GAME\"", 1, "no display found"},
        {"DISPLAY=:4999 \"$GAME\" --speed 0", 2, "Usage: tlvx"},
        {"DISPLAY=:4999 \"$GAME\" --help", 0, "--speed N|max"},
    };
    for (const auto& [command, status, says] : cases) {
        SCOPED_TRACE(command);
        test::TempDir world;
        EXPECT_EQ(
            run_in_world(
                world,
                "L() { ls -l --time-style=full-iso | grep -v '^total\\| before$\\| out$\\| err$'; }\nL >before\n" +
                    command + " >out 2>err; s=$?\nL | diff before - >&2 || exit 99\nexit $s\n"),
            status);
        const std::string err = test::read_file(world.file("out")) + test::read_file(world.file("err"));
        EXPECT_NE(err.find(says), std::string::npos) << err;
        EXPECT_EQ(err.find("no display") != std::string::npos, status == 1) << err;
    }
}

// A world a headless game holds: the game, a recording session and a playback
// applied to the world are refused before any window (status 1, one line
// naming the holder); a playback on a temporary copy needs no lock and plays.
TEST(GameWithoutDisplay, WorldHeldByAnotherGameIsRefusedUnlessPlayedOnACopy) {
    // The unseen video driver passes the display check, so what stops each
    // run is the lock; the playback on a copy plays its two passes and ends.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"", 1, "is in use by tlvx-tool run (pid "},
        {"--record r2", 1, "is in use by tlvx-tool run (pid "},
        {"--play rec --apply", 1, "is in use by tlvx-tool run (pid "},
        {"--play rec", 0, ""},
    };
    for (const auto& [args, status, says] : cases) {
        SCOPED_TRACE(args);
        test::TempDir world;
        EXPECT_EQ(
            run_in_world(world,
                         std::string("TOOL='") + TLVX_TOOL +
                             "'\n"
                             "printf '1 h\\n2 esc\\n' >k1; printf '1 +\\n100000000 esc\\n' >k2\n"
                             "\"$TOOL\" run --data . --keys k1 --record rec >/dev/null 2>&1 || exit 81\n"
                             "\"$TOOL\" run --data . --keys k2 --passes 100000000 --trace tr >/dev/null "
                             "2>&1 & R=$!\n"
                             "trap 'kill -KILL $R' EXIT\n"
                             "for i in $(seq 600); do [ -s tr ] && break; sleep 0.1; done\n"
                             "kill -STOP $R; until grep -q '^State:.*stopped' /proc/$R/status; do sleep 0.05; done\n"
                             "L() { ls -l --time-style=full-iso | grep -v '^total\\| out$\\| err$\\| before$'; }\n"
                             "L >before\n"
                             "SDL_VIDEODRIVER=dummy \"$GAME\" " +
                             args +
                             " >out 2>err; s=$?\n"
                             "L | diff before - >&2 || exit 99\nexit $s\n"),
            status);
        const std::string out = test::read_file(world.file("out")) + test::read_file(world.file("err"));
        EXPECT_NE(out.find(says), std::string::npos) << out;
        if (status != 0) {
            EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        }
    }
}

// Started outside a world, each refusal is one line before anything is created or opened: no
// per-user world, no window, no recording. Arguments are checked before the display is looked
// for (a refusal is status 2, not "no display"), and a missing display is said once, plainly,
// without lines of the display libraries.
TEST(GameRefusals, OneLineEachBeforeAnythingIsCreated) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"DISPLAY=:4999 \"$GAME\" --data nodir", 2, "tlvx: the data folder nodir does not exist"},
        {"DISPLAY=:4999 \"$GAME\" --data empty", 2, "tlvx: the data folder empty holds no world"},
        {"DISPLAY=:4999 \"$GAME\" --play nothere.rec", 2, "tlvx: cannot read the recording \"nothere.rec\""},
        {"DISPLAY=:4999 \"$GAME\" --play old.rec", 2, "tlvx: \"old.rec\" is not a tlvx recording"},
        {"DISPLAY=:4999 \"$GAME\" --record old.rec", 2, "tlvx: \"old.rec\" exists already"},
        {"DISPLAY=:4999 \"$GAME\" --record nodir/new.rec", 2,
         "tlvx: cannot write the recording nodir/new.rec: the folder nodir does not exist"},
        {"env -u DISPLAY -u SDL_VIDEODRIVER \"$GAME\"", 1, "tlvx: no display found"},
        {"env -u SDL_VIDEODRIVER DISPLAY=:4999 \"$GAME\"", 1, "tlvx: no display found"},
    };
    for (const auto& [command, status, says] : cases) {
        SCOPED_TRACE(command);
        test::TempDir world;
        EXPECT_EQ(run_in_world(world,
                               "mkdir -p out-of-world/empty home && cd out-of-world && echo junk >old.rec\n"
                               "export HOME=\"$PWD/../home\" XDG_DATA_HOME=\"$PWD/../home/data\"\n"
                               "unset XDG_RUNTIME_DIR\n"
                               "L() { find .. ! -name out ! -name err ! -name before | sort; }\nL >before\n" +
                                   command + " >out 2>err; s=$?\nL | diff before - >&2 || exit 99\nexit $s\n"),
                  status);
        const std::string out = test::read_file(world.file("out-of-world/out")),
                          err = test::read_file(world.file("out-of-world/err"));
        EXPECT_EQ(out, "");
        EXPECT_EQ(err.rfind(says, 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}
#endif
