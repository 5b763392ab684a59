// Sessions played in the real window under a private Xvfb server with
// `tlvx --record`, keys typed by xdotool at uneven moments, then replayed
// headless by `tlvx-tool run --replay` on a copy of the starting world; and
// recordings played back in the window with `tlvx --play`.
#include "x_window.hpp"

#ifdef TLVX_GAME
using namespace tlvx;
using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

struct Session {
    const char* name;
    const char* keys;  // shell lines after the game started recording, on the demo world
    bool killed;       // the game is killed (kill -9) instead of ending with Escape
};
// Test logs name a session rather than dumping its bytes.
void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

// A runtime error ending the session, and creatures that wandered replaying into the same cells, are
// the recording tests' (ReplayTool, Recording): the recorder is the same wrapper around any backend.
// The short pauses between keys are the uneven moments recorded; where the game is to play a while,
// the session waits until it did (a creature moved, the character walked, the recording grew).
const Session kSessions[] = {
    {"walk_road_edit",
     "k y; sleep 0.13; k y; sleep 0.41; k Up; sleep 0.05; k period; sleep 0.2; note Pndx_001.sav\n"
     "changed Pndx_001.sav; k period; sleep 0.2; k H plus; sleep 0.33; k bracketright asterisk; sleep 0.07; k b\n"
     "k Escape\n",
     false},
    {"creatures_and_pause",
     "note tlvx_gr2.tmp; k i; changed tlvx_gr2.tmp; k p; sleep 0.4; k x; note ../session.tlvxrec\n"
     "changed ../session.tlvxrec; k g; sleep 0.21; k g; k Escape\n",
     false},
    // Killed once the toggle is saved (no save is then under way for the kill to cut short) and two
    // chunks more are written (the recording grows every half second): the replay holds the step.
    {"killed",
     "k y; sleep 0.4; k i; save_is 13 1\n"
     "note ../session.tlvxrec; changed ../session.tlvxrec; changed ../session.tlvxrec; kill -9 $G\n",
     true},
};

class RecordWindow : public XWindow, public ::testing::WithParamInterface<Session> {};

}  // namespace

TEST_P(RecordWindow, ReplaysHeadlessToTheSameFiles) {
    const Session& c = GetParam();
    const std::string start = dir.file("start");
    ASSERT_EQ(run_tool("demo " + sh_quote(world)).status, 0);
    fs::copy(world, start);
    ASSERT_EQ(session("BEFORE_RETRY='rm -f ../session.tlvxrec' start_game --record ../session.tlvxrec\n" +
                      std::string(c.keys) + "wait $G; echo $? >../game-exit\n"),
              0)
        << file("err");
    EXPECT_EQ(std::atoi(file("game-exit").c_str()), c.killed ? 137 : 0) << file("err");

    const std::string start_gr2 = read_file(start + "/tlvx_gr2.tmp");
    const ToolRun r = run_tool("run --data " + sh_quote(start) + " --replay " + sh_quote(dir.file("session.tlvxrec")));
    EXPECT_EQ(r.status, 0) << r.output;
    if (c.killed) {
        // The passes before the kill replay; nothing is saved.
        EXPECT_EQ(read_file(start + "/Pndx_001.sav"), read_file(world + "/Pndx_001.sav"));
        EXPECT_NE(read_file(start + "/tlvx_gr2.tmp"), start_gr2) << "the step before the kill was replayed";
        return;
    }
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(changes(tree(start), tree(world)), "");
}

INSTANTIATE_TEST_SUITE_P(Sessions, RecordWindow, ::testing::ValuesIn(kSessions),
                         [](const ::testing::TestParamInfo<Session>& i) { return std::string(i.param.name); });

using PlayWindow = XWindow;

// `tlvx --play` shows a recording in the window on a temporary copy of the world, naming itself
// and its speed in the title or saying it is held; with --apply the world ends as the recording
// left it, and a world that is no longer the recorded start is refused and left alone.
TEST_F(PlayWindow, PlaysOnACopyUnlessAskedToApply) {
    const std::string rec = dir.file("rec");
    ASSERT_EQ(run_tool("demo " + sh_quote(world)).status, 0);
    fs::copy(world, rec);
    // 9 seconds of play (up, road-following, an edit, Escape): time enough for the title checks
    // even when a loaded machine is slow to show the window.
    write_file(dir.file("keys"), "5 y\n20 y\n30 .\n120 .\n125 H\n130 +\n900 esc\n");
    const std::vector<std::string> run = {
        "run", "--data", rec, "--keys", dir.file("keys"), "--clock", "100:0.01", "--record", dir.file("s.tlvxrec")};
    ASSERT_EQ(run_tool(run, {}).status, 0);
    const auto before = tree(world);
    EXPECT_EQ(session("start_game --play ../s.tlvxrec\n"
                      "title_when 'speed 1'; k space; title_when held; k space plus; title_when 'speed 2'; k Escape; "
                      "wait $G\n"),
              0)
        << file("err");
    EXPECT_EQ(file("titles"), "tlvx - playback, speed 1\ntlvx - playback held\ntlvx - playback, speed 2\n");
    EXPECT_EQ(tree(world), before) << "nothing changed, nothing left behind";
    EXPECT_EQ(session("start_game --play ../s.tlvxrec --apply; k plus plus plus; wait $G\n"), 0) << file("err");
    EXPECT_EQ(tree(world), tree(rec));
    EXPECT_EQ(session("\"$GAME\" --play ../s.tlvxrec --apply 2>../err\n"), 2);
    EXPECT_NE(file("err").find("not the one the recording starts from"), std::string::npos) << file("err");
    EXPECT_EQ(tree(world), tree(rec));
}
#endif
