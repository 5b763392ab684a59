// The window's key help (F1) and what its title says, under a private Xvfb
// server, driven with xdotool. The game's own screen is checked against the
// headless replay of a recording of the same session.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tools/tools_helpers.hpp"

#ifdef TLVX_GAME
using namespace tlvx;
namespace fs = std::filesystem;

namespace {

std::string sh_quote(const std::string& s) { return "'" + s + "'"; }

// A dump of a window by `xwd -id` on a 24-bit screen, as 0xRRGGBB a pixel; empty when unreadable.
struct Dump {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    explicit Dump(const std::string& file) {
        const std::string b = test::read_file(file);
        auto word = [&](size_t o, bool le) {
            uint32_t v = 0;
            for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[o + i])} << (le ? 8 * i : 8 * (3 - i));
            return v;
        };
        auto field = [&](int i) { return word(static_cast<size_t>(i) * 4, false); };
        if (b.size() < 100 || field(11) != 32) return;
        const uint32_t line = field(12), offset = field(0) + field(19) * 12;
        const int dw = static_cast<int>(field(4)), dh = static_cast<int>(field(5));
        if (b.size() < offset + size_t{line} * static_cast<size_t>(dh)) return;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                px.push_back(word(offset + static_cast<size_t>(y) * line + static_cast<size_t>(x) * 4, field(7) == 0) &
                             0xFFFFFF);
        w = dw, h = dh;
    }
};

// Pixels that differ between two pictures of the same size; -1 when the sizes differ.
long differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    long n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

class HelpWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("which Xvfb xdotool xwd >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb, xdotool and xwd";
        fs::create_directory(world);
    }
    // Runs `script` (after the X session's helpers) with sh in the folder `world`.
    int session(const std::string& script) {
        test::write_file(dir.file("run.sh"), "cd " + sh_quote(world) + "\nunset WAYLAND_DISPLAY\n" +
                                                 "export SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0 GAME='" +
                                                 TLVX_GAME + "' GAME_ERR=../err\n" + test::kXSessionScript +
                                                 "k() { xdotool key \"$@\"; }\n" +
                                                 "title() { xdotool getwindowname $W >> ../titles; }\n" + script);
        const int st = std::system(("timeout -k 5 120 sh " + sh_quote(dir.file("run.sh"))).c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::string file(const char* name) const { return test::read_file(dir.file(name)); }

    test::TempDir dir;
    const std::string world = dir.file("world");
};

}  // namespace

// F1 dims the picture and writes the keys on it; keys typed meanwhile (steps, an edit, a key that
// would end the game's pause) reach nothing; F1 again shows the game's picture as it was. The
// session, replayed headless from its recording, ends on the same picture and the same files: the
// help never touched the game. (The pause ends with a key that is swallowed, and the Escape read in
// the next pass quits before the view is drawn again.)
TEST_F(HelpWindow, F1ShowsTheKeysOverThePictureAndHoldsTheGame) {
    test::FixtureWorld fixture;
    fixture.patterned = true;
    fixture.ground = [](int c, int r) { return static_cast<uint8_t>((c * 3 + r) % 7 + 1); };
    fixture.write(world);
    fs::copy(world, dir.file("start"));
    fs::copy(world, dir.file("start2"));
    // In the game's pause the picture stands still, so the dumps can be compared.
    EXPECT_EQ(session("start_game --scale 1 --record ../s.tlvxrec\n"
                      "k h; sleep 0.3; k p; sleep 0.6; xwd -silent -id $W > ../before.xwd\n"
                      "k F1; sleep 0.6; xwd -silent -id $W > ../help.xwd; title\n"
                      "k y y b plus 5 bracketright; sleep 0.6; xwd -silent -id $W > ../help2.xwd\n"
                      "k F1; sleep 0.6; xwd -silent -id $W > ../after.xwd; title\n"
                      "k x Escape; wait $G\n"),
              0)
        << file("err");
    EXPECT_EQ(file("titles"), "tlvx - keys (F1 closes) - paused (any key goes on)\ntlvx - paused (any key goes on)\n");
    const Dump before(dir.file("before.xwd")), help(dir.file("help.xwd")), help2(dir.file("help2.xwd")),
        after(dir.file("after.xwd"));
    ASSERT_EQ(before.w * 1000 + before.h, 320200);
    EXPECT_GT(differing(before.px, help.px), 320 * 200 / 2) << "the picture is dimmed under the help";
    EXPECT_EQ(differing(help.px, help2.px), 0) << "the keys typed under the help changed the picture";
    EXPECT_EQ(differing(before.px, after.px), 0) << "the game's picture changed under the help";

    const test::ToolRun r =
        test::run_tool("run --data " + sh_quote(dir.file("start")) + " --replay " + sh_quote(dir.file("s.tlvxrec")) +
                       " --trace " + sh_quote(dir.file("trace.csv")));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(test::changes(test::tree(dir.file("start")), test::tree(world)), "");
    // One step right, then the pause, nothing else: the keys typed under the help were dropped.
    // Each trace line: pass,key,VX2,VY2,...
    std::istringstream trace(file("trace.csv"));
    std::string moves, pause_pass;
    for (std::string line; std::getline(trace, line);) {
        std::istringstream fields(line);
        std::string pass, key, vx, vy;
        std::getline(fields, pass, ',') && std::getline(fields, key, ',') && std::getline(fields, vx, ',') &&
            std::getline(fields, vy, ',');
        if (!key.empty() && pass != "pass") moves += key + "@" + vx + "," + vy + " ";
        if (key == "p") pause_pass = pass;
    }
    EXPECT_EQ(moves, "h@11,8 p@11,8 esc@11,8 ");  // the x that ended the pause is swallowed
    // The window showed the picture of the pass that paused: the headless screen after that pass.
    const test::ToolRun upto =
        test::run_tool("run --data " + sh_quote(dir.file("start2")) + " --replay " + sh_quote(dir.file("s.tlvxrec")) +
                       " --passes " + pause_pass + " --screenshot " + sh_quote(dir.file("end.png")));
    ASSERT_EQ(upto.status, 0) << upto.output;
    const test::RgbaPicture end = test::read_png(dir.file("end.png"));
    ASSERT_EQ(end.w * 1000 + end.h, 320200);
    std::vector<uint32_t> headless;
    for (const test::Rgba& p : end.px) headless.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    EXPECT_EQ(differing(after.px, headless), 0) << "the window and the headless replay disagree";
}

// While the help shows no pass runs: three seconds of help at 18 passes a second leave about 54
// passes fewer in the session's recording.
TEST_F(HelpWindow, NoPassRunsWhileTheHelpShows) {
    test::FixtureWorld().write(world);
    ASSERT_EQ(session("start_game --record ../s.tlvxrec\n"
                      "sleep 0.5; k F1; sleep 3; k F1; sleep 0.5; k Escape\nwait $G\n"),
              0)
        << file("err");
    const test::ToolRun r = test::run_tool("record-info " + sh_quote(dir.file("s.tlvxrec")));
    ASSERT_EQ(r.status, 0) << r.output;
    const size_t at = r.output.find("passes: ");
    ASSERT_NE(at, std::string::npos) << r.output;
    const int passes = std::atoi(r.output.c_str() + at + 8);
    EXPECT_GT(passes, 5) << r.output;
    EXPECT_LT(passes, 50) << r.output;  // at least 4 seconds of the window open: 72 passes unheld
}

// The title says when the game is paused and where an F12 screenshot went, for a while.
TEST_F(HelpWindow, TitleSaysPausedAndWhereTheScreenshotWent) {
    test::FixtureWorld().write(world);
    ASSERT_EQ(session("start_game\n"
                      "title; k p; sleep 0.5; title; k x; sleep 0.5; title\n"
                      "k F12; sleep 0.5; title; sleep 5.5; title\n"
                      "k Escape\nwait $G\n"),
              0)
        << file("err");
    std::vector<std::string> shots;
    for (const auto& e : fs::directory_iterator(world))
        if (e.path().filename().string().rfind("tlvx-shot-", 0) == 0) shots.push_back(e.path().string());
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(file("titles"), "tlvx\ntlvx - paused (any key goes on)\ntlvx\ntlvx - screenshot saved as " +
                                  fs::path(shots[0]).lexically_normal().string() + "\ntlvx\n");
}

// A playback names itself in the title, with its speed, or says it is held.
TEST_F(HelpWindow, TitleSaysAPlaybackIsHeldOrItsSpeed) {
    test::FixtureWorld().write(world);
    fs::copy(world, dir.file("rec"));
    test::write_file(dir.file("keys"), "5 h\n900 esc\n");
    ASSERT_EQ(test::run_tool("run --data " + sh_quote(dir.file("rec")) + " --keys " + sh_quote(dir.file("keys")) +
                             " --clock 100:0.01 --record " + sh_quote(dir.file("s.tlvxrec")))
                  .status,
              0);
    ASSERT_EQ(session("start_game --play ../s.tlvxrec\n"
                      "sleep 0.3; title; k space; sleep 0.4; title; k space plus; sleep 0.4; title\n"
                      "k Escape\nwait $G\n"),
              0)
        << file("err");
    EXPECT_EQ(file("titles"), "tlvx - playback, speed 1\ntlvx - playback held\ntlvx - playback, speed 2\n");
}
#endif
