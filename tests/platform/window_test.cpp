// The game in a real window (tlvx in a fixture world under a private Xvfb
// server, driven with xdotool), and the game's refusals before any window.
#include <algorithm>
#include <sstream>

#include "x_window.hpp"

#ifdef TLVX_GAME
using namespace tlvx;
using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

// Starts openbox and waits until it manages the screen: up to half a minute, as its first start
// on a new machine builds the font cache first. One that does not is reported (running or ended,
// its last words) and started once more.
const std::string kWindowManager =
    "wm_start() { openbox --sm-disable >../openbox.log 2>&1 & WM=$!; }\n"
    "wm_start\n"
    "trap 'kill $WM $X 2>/dev/null; wait $X; rm -f \"$XL\"' EXIT\n"
    "for try in 1 2; do\n"
    "    await 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q \"window id\"' 30 && break\n"
    "    echo \"openbox does not manage the screen (try $try, $(kill -0 $WM 2>/dev/null && echo running || "
    "echo ended)): $(tail -n 5 ../openbox.log)\" >&2\n"
    "    kill $WM 2>/dev/null; wait $WM 2>/dev/null\n"
    "    [ $try = 2 ] && exit 95\n"
    "    wm_start\n"
    "done\n";

class GameWindow : public XWindow {
protected:
    void SetUp() override {
        XWindow::SetUp();
        fs::create_directory(world);
        FixtureWorld().write(world);
    }
    // The save after two steps right of (10, 8): a quit's (both pairs at 12, 8), the one marker there.
    void expect_saved_after_two_steps() const {
        EXPECT_EQ(std::vector({save_field(2), save_field(3), save_field(5), save_field(6)}),
                  std::vector({12, 8, 12, 8}));
        const std::string creatures = read_file(world + "/tlvx_gr2.tmp").substr(4 + 20);
        EXPECT_EQ(std::count(creatures.begin(), creatures.end(), '\x01'), 1);
        EXPECT_EQ(creatures.find('\x01'), size_t{(8 - 1) * 20 + (12 - 1)});
    }
};

// Typed keys step; the window's own keys (F11, Alt+Enter) reach nothing and F12 leaves one screenshot,
// which the title names for a while. With NumLock off the keypad's arrows step and its Home ends a
// pause like any key. Escape saves. Under a window manager fullscreen is the window manager's; the
// picture still fills the display, letterboxed, and comes back whole.
TEST_F(GameWindow, KeysTheTitleAndFullscreenUnderAWindowManager) {
    EXPECT_EQ(session(kWindowManager +
                      "start_game --scale 3\n"
                      "title; k --delay 60 h h alt+Return; geometry_is 1280x1024; dump_when full 'lit 670 782'\n"
                      "k alt+Return; geometry_is 960x600; k --delay 60 F11 F11 y\n"
                      "k --delay 120 KP_Right KP_Right KP_Down p; title_when paused; k KP_Home; title_is tlvx\n"
                      "k --delay 120 KP_Left KP_Prior KP_End F12; title_when screenshot; title_is tlvx\n"
                      "k Escape; wait $G\n"),
              0)
        << file("err");
    // Right twice and up, then right twice and down; Home ends the pause, left steps back: at 13, 8 facing left.
    EXPECT_EQ(save_field(2) * 1000 + save_field(3) * 10 + save_field(4), 13084);
    const std::vector<std::string> shots = screenshots(world);
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(read_file(shots[0]).substr(12, 12), std::string("IHDR\0\0\x01\x40\0\0\0\xC8", 12));  // 320 x 200
    EXPECT_EQ(file("titles"), "tlvx\ntlvx - paused (any key goes on)\ntlvx\ntlvx - screenshot saved as " +
                                  fs::path(shots[0]).lexically_normal().string() + "\ntlvx\n");
    EXPECT_EQ(file("geometry"), "1280x1024\n960x600\n");
    const Dump full(dir.file("full.xwd"));
    ASSERT_EQ(full.size(), 12801024);
    EXPECT_EQ(full.at(3, 100), 0u);                 // letterbox above the 1280 x 800 picture
    EXPECT_NE(full.at(3, 115), 0u);                 // the picture starts at row 112
    EXPECT_EQ(full.at(670, 782), full.at(3, 115));  // the view's last pixel, 4 times as large
}

// A key held at 2 passes a second: a step a pass (two steps within 4 seconds), no backlog from the
// desktop's quicker repeat, and no walking on after the release (the edit typed after the release
// lands before any further step). SIGTERM then saves and ends like Escape.
TEST_F(GameWindow, HeldKeyAtASlowSpeedStopsWhenReleasedAndSigtermSaves) {
    EXPECT_EQ(session("start_game --speed 2; note tlvx_gr1.tmp\nxdotool keydown h; save_is 5 12 4\n"
                      "xdotool keyup h; k plus; changed tlvx_gr1.tmp; kill $G; wait $G\n"),
              0)
        << file("err");
    EXPECT_GE(save_field(2), 12) << "too few steps";
    EXPECT_LE(save_field(2), 15) << "the held key ran ahead of the game";
}

// Fullscreen without a window manager covers the display with the whole picture, letterboxed;
// back in the window the picture fills it again. 4:3 fills the window's height; the speed keys
// show the speed in the title. The X server going away then ends the game as closing the window
// does: the character saved, status 0, and a line on standard error.
TEST_F(GameWindow, FullscreenAndBackShowTheWholePictureAndLosingTheDisplaySaves) {
    // Each dump waits for pixels that only the new picture has.
    EXPECT_EQ(session("start_game --scale 3\nk h alt+Return; geometry_is 1280x1024; dump_when full 'lit 670 782'\n"
                      "k alt+Return; geometry_is 960x600; dump_when back 'lit 3 3 && lit 503 503'\n"
                      "k F11; dump_when aspect 'dark 40 300 && lit 496 500'\n"
                      "k ctrl+minus; title_when speed; kill $X; wait $X; wait $G\n"),
              0)
        << file("err");
    EXPECT_EQ(save_field(2), 11);
    EXPECT_NE(file("err").find("connection to the display is lost"), std::string::npos) << file("err");
    EXPECT_EQ(file("geometry"), "1280x1024\n960x600\n");
    EXPECT_EQ(file("titles"), "tlvx - speed 14 passes/s\n");
    // The fixture's ground fills the view (the top-left 168 x 168 screen pixels) with one colour.
    const Dump full(dir.file("full.xwd")), back(dir.file("back.xwd")), aspect(dir.file("aspect.xwd"));
    ASSERT_EQ(back.size(), 9600600);
    const uint32_t ground = back.at(3, 3);
    EXPECT_NE(ground, 0u);
    EXPECT_EQ(back.at(503, 503), ground);  // the view's last pixel, 3 times as large
    ASSERT_EQ(full.size(), 12801024);
    EXPECT_EQ(full.at(3, 100), 0u);        // letterbox above the 1280 x 800 picture
    EXPECT_EQ(full.at(3, 115), ground);    // the picture starts at row 112
    EXPECT_EQ(full.at(670, 782), ground);  // the view's last pixel, 4 times as large
    ASSERT_EQ(aspect.w, 960);
    EXPECT_EQ(aspect.at(40, 300), 0u);       // pillarbox left of the 800 x 600 picture
    EXPECT_EQ(aspect.at(496, 500), ground);  // 168 pixels: 420 wide, 504 tall, from column 80
}

// F1 dims the picture and writes the keys on it; no pass runs while it shows (two seconds of
// help early on leave the first step well before the pass it would take unheld); keys typed
// meanwhile (steps, an edit, a key that would end the game's pause) reach nothing; F1 again shows
// the game's picture as it was. The session, replayed headless from its recording, ends on the
// same picture and the same files. (The pause ends with a key that is swallowed, and the Escape
// read in the next pass quits before the view is drawn again.)
TEST_F(GameWindow, F1ShowsTheKeysOverThePictureAndHoldsTheGame) {
    FixtureWorld fixture;
    fixture.patterned = true;
    fixture.ground = [](int c, int r) { return static_cast<uint8_t>((c * 3 + r) % 7 + 1); };
    fixture.write(world);
    fs::copy(world, dir.file("start"));
    fs::copy(world, dir.file("start2"));
    // In the game's pause the picture stands still, so the dumps can be compared.
    // The help's first showing is held two seconds: that time, 40 passes unheld, is what is tested.
    const std::string help = "tlvx - keys (F1 closes) - paused (any key goes on)",
                      paused = "tlvx - paused (any key goes on)";
    EXPECT_EQ(session("PAUSED='" + paused + "' HELP='" + help + "'\n" +
                      "start_game --scale 1 --record ../s.tlvxrec\nk F1; title_when keys; sleep 2; k F1\n"
                      "title_is tlvx; : >../titles; k h; save_is 5 11; k p; title_is \"$PAUSED\"; steady before\n"
                      "k F1; title_is \"$HELP\"; steady help\n"
                      "k y y b plus 5 bracketright F1; title_is \"$PAUSED\"; steady after\n"
                      "k x Escape; wait $G\n"),
              0)
        << file("err");
    EXPECT_EQ(file("titles"), paused + "\n" + help + "\n" + paused + "\n");
    const Dump before(dir.file("before.xwd")), shown(dir.file("help.xwd")), after(dir.file("after.xwd"));
    ASSERT_EQ(before.size(), 3200200);
    // The lit pixels of the picture are dimmed or written on (black stays black; a
    // glyph may cover a pixel of its own colour).
    long lit = 0, changed = 0;
    for (size_t i = 0; i < before.px.size(); ++i) {
        if ((before.px[i] & 0xFFFFFFu) == 0) continue;
        ++lit;
        changed += shown.px[i] != before.px[i];
    }
    EXPECT_GT(lit, 320 * 200 / 4);
    EXPECT_GT(changed, lit * 99 / 100) << "the picture is dimmed under the help";
    EXPECT_EQ(differing(before.px, after.px), 0) << "the game's picture changed under the help";

    const ToolRun r = run_tool(
        {"run", "--data", dir.file("start"), "--replay", dir.file("s.tlvxrec"), "--trace", dir.file("trace.csv")}, {});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(changes(tree(dir.file("start")), tree(world)), "");
    // Each trace line: pass,key,VX2,VY2,... One step right, then the pause, nothing else.
    std::istringstream trace(file("trace.csv"));
    std::string moves, pause_pass;
    int step_pass = 0;
    for (std::string line, pass, key, vx, vy; std::getline(trace, line);) {
        std::istringstream fields(line);
        std::getline(fields, pass, ',') && std::getline(fields, key, ',') && std::getline(fields, vx, ',') &&
            std::getline(fields, vy, ',');
        if (!key.empty() && pass != "pass") moves += key + "@" + vx + "," + vy + " ";
        if (key == "h") step_pass = std::atoi(pass.c_str());
        if (key == "p") pause_pass = pass;
    }
    EXPECT_EQ(moves, "h@11,8 p@11,8 esc@11,8 ");  // the x that ended the pause is swallowed
    EXPECT_GT(step_pass, 0);
    EXPECT_LT(step_pass, 30) << "the help held no pass";
    // The window showed the picture of the pass that paused: the headless screen after that pass.
    const ToolRun upto = run_tool({"run", "--data", dir.file("start2"), "--replay", dir.file("s.tlvxrec"), "--passes",
                                   pause_pass, "--screenshot", dir.file("end.png")},
                                  {});
    ASSERT_EQ(upto.status, 0) << upto.output;
    std::vector<uint32_t> headless;
    for (const Rgba& p : read_png(dir.file("end.png")).px)
        headless.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    EXPECT_EQ(differing(after.px, headless), 0) << "the window and the headless replay disagree";
}

// A window destroyed by another client (a forced close) and a close asked of the game by the
// window manager (WM_DELETE_WINDOW, here Alt+F4 under openbox) save and end as Escape does.
TEST_F(GameWindow, WindowDestroyedByTheWindowSystemSavesAndEndsWithZero) {
    EXPECT_EQ(session("start_game; k --delay 150 h h; save_is 5 12\nxdotool windowclose $W; wait $G\n"), 0)
        << file("err");
    expect_saved_after_two_steps();
    EXPECT_EQ(file("err"), "tlvx: the window was closed; saving and ending the game\n");
}

TEST_F(GameWindow, WindowClosedByTheWindowManagerSavesAndEndsWithZero) {
    EXPECT_EQ(session(kWindowManager + "start_game; k --delay 150 h h; save_is 5 12\nk alt+F4; wait $G\n"), 0)
        << file("err");
    expect_saved_after_two_steps();
    EXPECT_EQ(file("err"), "");
}

// A second game on a world the first one plays, without a terminal on standard error (as from
// the desktop's menu) and with the message box not turned off: the refusal's one line is on
// standard error while a box titled "tlvx cannot start" shows it; Return closes it, status 1.
// (xwininfo finds the box: xdotool's search misses a title of the type SDL gives it.)
TEST_F(GameWindow, RefusalWithoutATerminalIsShownInAMessageBox) {
    EXPECT_EQ(
        session("box() { xwininfo -root -tree | sed -nE 's/^ *(0x[0-9a-f]+) \"tlvx cannot start\".*/\\1/p'; }\n"
                "start_game\nTLVX_NO_MESSAGE_BOX= \"$GAME\" 2>../second.err & B=$!\n"
                "for i in $(seq 200); do BW=$(box); [ -n \"$BW\" ] && break; kill -0 $B || break; sleep 0.1; done\n"
                "[ -n \"$BW\" ] || exit 94\n"
                "cp ../second.err ../during.err; xdotool getwindowname $BW >../titles\n"
                "for i in $(seq 50); do kill -0 $B || break; xdotool windowfocus $BW; k Return; sleep 0.2; done "
                "2>/dev/null\n"
                "wait $B; echo $? >../second.status\n"
                "xdotool windowfocus $W; k Escape; wait $G\n"),
        0)
        << file("err") << file("second.err");
    EXPECT_EQ(file("titles"), "tlvx cannot start\n");
    const std::string said = file("during.err");
    EXPECT_EQ(said.rfind("tlvx: the world in \".\" is in use by tlvx (pid ", 0), 0u) << said;
    EXPECT_TRUE(said.ends_with("); close it first\n")) << said;
    EXPECT_EQ(file("second.err"), said);
    EXPECT_EQ(file("second.status"), "1\n");
}

// Runs each command of `runs` (folder, command line, status, what it says) in one script after
// `setup` in a fixture world, and checks its status, what it says (a refusal: one line on standard
// error, nothing on standard output) and that it changed no file, folder or time anywhere.
struct Run {
    std::string where, command;
    int status;
    std::string says;
    int lines = 1;  // of a refusal; 0: any number
};
void expect_runs(const std::string& setup, const std::vector<Run>& runs) {
    TempDir dir;
    fs::create_directory(dir.file("world"));
    FixtureWorld().write(dir.file("world"));
    std::string script =
        "L() { find \"$R\" ! -name '*.out' ! -name '*.err' ! -name '*.diff' ! -name '*.status' ! -name before "
        "\\( -type d -printf '%p\\n' -o -printf '%p %s %T@\\n' \\) | sort; }\n"
        "try() { n=$1 d=$2; shift 2; L >\"$R/before\"; (cd \"$d\" && eval \"$@\") >\"$R/$n.out\" 2>\"$R/$n.err\"; "
        "echo $? >\"$R/$n.status\"; L | diff \"$R/before\" - >\"$R/$n.diff\"; }\n"
        "R=$(cd .. && pwd)\n" +
        setup;
    for (size_t i = 0; i < runs.size(); ++i)
        script += "try " + std::to_string(i) + " " + runs[i].where + " " + sh_quote(runs[i].command) + "\n";
    ASSERT_EQ(run_sh(dir, dir.file("world"), script), 0);
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& r = runs[i];
        SCOPED_TRACE(r.command);
        auto out = [&](const char* ext) { return read_file(dir.file(std::to_string(i) + ext)); };
        EXPECT_EQ(std::atoi(out(".status").c_str()), r.status);
        EXPECT_EQ(out(".diff"), "");
        const std::string said = r.status ? out(".err") : out(".out");
        EXPECT_NE(said.find(r.says), std::string::npos) << said;
        EXPECT_EQ(r.status ? out(".out") : out(".err"), "");
        EXPECT_TRUE(!r.status || !r.lines || std::count(said.begin(), said.end(), '\n') == r.lines) << said;
        EXPECT_EQ(said.find("no display") != std::string::npos, r.says.find("no display") != std::string::npos);
    }
}

}  // namespace

// Inside or outside a world, no X server, or none at all and no video driver named: refused at
// once, never run unseen. Arguments (the data folder, a recording to play or to write) are checked
// before the display is looked for, and a missing display is said once, plainly, without lines of
// the display libraries; --help needs none. No file is touched, no per-user world made.
TEST(GameRefusals, OneLineEachBeforeAnythingIsCreated) {
    const std::string out = "../out-of-world";
    expect_runs(
        "mkdir -p ../out-of-world/empty ../home && echo junk >../out-of-world/old.rec && mkfifo ../out-of-world/fifo\n"
        "export HOME=\"$R/home\" XDG_DATA_HOME=\"$R/home/data\"; unset XDG_RUNTIME_DIR\n",
        {
            {".", "DISPLAY=:4999 \"$GAME\"", 1, "tlvx: no display found"},
            {".", "DISPLAY=:4999 \"$GAME\" --speed 0", 2, "see tlvx --help", 2},
            {".", "DISPLAY=:4999 \"$GAME\" --help", 0, "--speed N|max"},
            {out, "DISPLAY=:4999 \"$GAME\" --data nodir", 2, "tlvx: the data folder nodir does not exist"},
            {out, "DISPLAY=:4999 \"$GAME\" --data empty", 2, "tlvx: the data folder empty holds no world"},
            {out, "DISPLAY=:4999 \"$GAME\" --play nothere.rec", 2, "tlvx: cannot read the recording \"nothere.rec\""},
            {out, "DISPLAY=:4999 \"$GAME\" --play old.rec", 2, "tlvx: \"old.rec\" is not a tlvx recording"},
            {out, "DISPLAY=:4999 timeout 20 \"$GAME\" --play fifo", 2, "tlvx: the recording \"fifo\" is a FIFO"},
            {out, "DISPLAY=:4999 \"$GAME\" --play empty", 2, "tlvx: the recording \"empty\" is a folder"},
            {out, "DISPLAY=:4999 \"$GAME\" --record old.rec", 2, "tlvx: \"old.rec\" exists already"},
            {out, "DISPLAY=:4999 \"$GAME\" --record nodir/new.rec", 2,
             "tlvx: cannot write the recording nodir/new.rec: the folder nodir does not exist"},
            {out, "env -u DISPLAY -u SDL_VIDEODRIVER \"$GAME\"", 1, "tlvx: no display found"},
            {out, "env -u SDL_VIDEODRIVER DISPLAY=:4999 \"$GAME\"", 1, "tlvx: no display found"},
        });
}

// A world a headless game holds (a stopped `tlvx-tool run`): the game, a recording session and a
// playback applied to the world are refused before any window (the unseen video driver passes the
// display check), one line naming the holder; a playback on a temporary copy needs no lock and plays.
TEST(GameWithoutDisplay, WorldHeldByAnotherGameIsRefusedUnlessPlayedOnACopy) {
    const std::string held = "is in use by tlvx-tool run (pid ";
    expect_runs(
        "printf '1 h\\n2 esc\\n' >k1; printf '1 +\\n100000000 esc\\n' >k2\n"
        "\"$TOOL\" run --data . --keys k1 --record rec >/dev/null 2>&1 || exit 81\n"
        "\"$TOOL\" run --data . --keys k2 --passes 100000000 --trace tr >/dev/null 2>&1 & H=$!\n"
        "trap 'kill -KILL $H' EXIT\nfor i in $(seq 600); do [ -s tr ] && break; sleep 0.1; done\n"
        "kill -STOP $H; until grep -q '^State:.*stopped' /proc/$H/status; do sleep 0.05; done\n",
        {{".", "SDL_VIDEODRIVER=dummy \"$GAME\"", 1, held},
         {".", "SDL_VIDEODRIVER=dummy \"$GAME\" --record r2", 1, held},
         {".", "SDL_VIDEODRIVER=dummy \"$GAME\" --play rec --apply", 1, held},
         {".", "SDL_VIDEODRIVER=dummy \"$GAME\" --play rec", 0, ""}});
}
#endif
