// Sessions played in the real window under a private Xvfb server with
// `tlvx --record`, keys typed by xdotool at uneven moments, then replayed
// headless by `tlvx-tool run --replay` on a copy of the starting world.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/tools_helpers.hpp"

#ifdef TLVX_GAME
using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// `record` starts the game in a private X server, recording into
// ../session.tlvxrec, and focuses its window; `k` types keys.
const std::string kRecordInX = std::string(test::kXSessionScript) + R"(
record() {
    GAME_ERR=../game-err BEFORE_RETRY='rm -f ../session.tlvxrec' start_game --record ../session.tlvxrec
}
k() { xdotool key "$@"; }
)";

struct Session {
    const char* name;
    const char* keys;  // shell lines after `record`, on the demo world
    bool killed;       // the game is killed (kill -9) instead of ending with Escape
};
// Test logs name a session rather than dumping its bytes.
void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

// A runtime error ending the session, and creatures that wandered replaying into the same cells, are
// the recording tests' (ReplayTool, Recording): the recorder is the same wrapper around any backend.
const Session kSessions[] = {
    {"walk_road_edit",
     "k y; sleep 0.13; k y; sleep 0.41; k Up; sleep 0.05; k period; sleep 1.1; k period; sleep 0.2\n"
     "k H plus; sleep 0.33; k bracketright asterisk; sleep 0.07; k b; sleep 0.6; k Escape\n",
     false},
    {"creatures_and_pause",
     "k i; sleep 1.7; k p; sleep 0.8; k x; sleep 1.3; k g; sleep 0.21; k g; sleep 0.9; k Escape\n", false},
    {"editing_keys",
     "k f; sleep 0.3; k F F; sleep 0.17; k asterisk; sleep 0.5; k slash; k BackSpace; sleep 0.25\n"
     "k 9 bracketright bracketright; sleep 0.4; k bracketleft 7 7 o; sleep 0.12; k minus i; sleep 0.6; k Escape\n",
     false},
    {"killed", "k y; sleep 0.4; k i; sleep 1.6; kill -9 $G\n", true},
};

class RecordWindow : public ::testing::TestWithParam<Session> {};

std::string sh_quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

TEST_P(RecordWindow, ReplaysHeadlessToTheSameFiles) {
    if (std::system("which Xvfb xdotool >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb and xdotool";
    const Session& c = GetParam();
    test::TempDir dir;
    const std::string world = dir.file("world"), start = dir.file("start");
    ASSERT_EQ(test::run_tool("demo " + sh_quote(world)).status, 0);
    fs::copy(world, start);
    test::write_file(dir.file("run.sh"), "cd " + sh_quote(world) + "\nunset WAYLAND_DISPLAY\n" +
                                             "export SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0 GAME='" +
                                             TLVX_GAME + "'\n" + kRecordInX + "record\n" + c.keys +
                                             "wait $G; echo $? >../game-exit\n");
    ASSERT_EQ(std::system(("timeout -k 5 120 sh " + sh_quote(dir.file("run.sh"))).c_str()), 0)
        << test::read_file(dir.file("game-err"));
    EXPECT_EQ(std::atoi(test::read_file(dir.file("game-exit")).c_str()), c.killed ? 137 : 0)
        << test::read_file(dir.file("game-err"));

    const std::string start_gr2 = test::read_file(start + "/tlvx_gr2.tmp");
    const test::ToolRun r =
        test::run_tool("run --data " + sh_quote(start) + " --replay " + sh_quote(dir.file("session.tlvxrec")));
    EXPECT_EQ(r.status, 0) << r.output;
    if (c.killed) {
        // The passes before the kill replay; nothing is saved.
        EXPECT_EQ(test::read_file(start + "/Pndx_001.sav"), test::read_file(world + "/Pndx_001.sav"));
        EXPECT_NE(test::read_file(start + "/tlvx_gr2.tmp"), start_gr2) << "the step before the kill was replayed";
        return;
    }
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(test::changes(test::tree(start), test::tree(world)), "");
}

INSTANTIATE_TEST_SUITE_P(Sessions, RecordWindow, ::testing::ValuesIn(kSessions),
                         [](const ::testing::TestParamInfo<Session>& i) { return std::string(i.param.name); });

// `tlvx --play` shows a recording in the window at its pace on a temporary copy
// of the world; with --apply the world ends as the recording left it.
TEST(PlayWindow, PlaysOnACopyUnlessAskedToApply) {
    if (std::system("which Xvfb xdotool >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir dir;
    const std::string world = dir.file("world"), rec = dir.file("rec");
    ASSERT_EQ(test::run_tool("demo " + sh_quote(world)).status, 0);
    fs::copy(world, rec);
    // 1.5 seconds of play: up, road-following, an edit, Escape.
    test::write_file(dir.file("keys"), "5 y\n20 y\n30 .\n120 .\n125 H\n130 +\n150 esc\n");
    ASSERT_EQ(test::run_tool("run --data " + sh_quote(rec) + " --keys " + sh_quote(dir.file("keys")) +
                             " --clock 100:0.01 --record " + sh_quote(dir.file("s.tlvxrec")))
                  .status,
              0);
    auto play = [&](const std::string& extra) {
        test::write_file(dir.file("play.sh"), "cd " + sh_quote(world) +
                                                  "\nexport SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0\n" +
                                                  "xvfb-run -a -s '-screen 0 1280x1024x24' '" + TLVX_GAME +
                                                  "' --play ../s.tlvxrec " + extra + " 2>../play-err\n");
        const int st = std::system(("timeout -k 5 60 sh " + sh_quote(dir.file("play.sh"))).c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    const auto before = test::tree(world);
    EXPECT_EQ(play(""), 0) << test::read_file(dir.file("play-err"));
    EXPECT_EQ(test::tree(world), before) << "nothing changed, nothing left behind";
    EXPECT_EQ(play("--apply"), 0) << test::read_file(dir.file("play-err"));
    EXPECT_EQ(test::tree(world), test::tree(rec));
    // A third time the world is no longer the recorded start: refused, untouched.
    EXPECT_EQ(play("--apply"), 2);
    EXPECT_NE(test::read_file(dir.file("play-err")).find("not the one the recording starts from"), std::string::npos);
    EXPECT_EQ(test::tree(world), test::tree(rec));
}
#endif
