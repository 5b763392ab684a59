// `tlvx-tool run --record / --replay` and `tlvx-tool record-info` from the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tools/tools_helpers.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// `run` on the world dir/`world` replaying dir/`rec`, with `more` options.
test::ToolRun replay(const test::TempDir& dir, const std::string& world, const std::string& more = "",
                     const std::string& rec = "session.tlvxrec") {
    return test::run_tool("run --data '" + dir.file(world) + "' --replay '" + dir.file(rec) + "' " + more);
}

long lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

// A world in dir/start (the fixture unless there is one), recorded by a
// headless run in a copy dir/rec.
void record(const test::TempDir& dir, const std::string& keys, int passes) {
    if (!fs::exists(dir.file("start"))) {
        fs::create_directory(dir.file("start"));
        test::FixtureWorld w;
        w.I = 1;
        w.objects[1].move = 3;
        w.creatures = [](int x, int y) -> uint8_t { return x == 10 && y == 8 ? 1 : (x == 12 && y == 9 ? 2 : 0); };
        w.write(dir.file("start"));
    }
    fs::copy(dir.file("start"), dir.file("rec"));
    test::write_file(dir.file("keys"), keys);
    test::run_tool("run --data '" + dir.file("rec") + "' --keys '" + dir.file("keys") +
                   "' --clock 777.25:0.0371 --passes " + std::to_string(passes) + " --record '" +
                   dir.file("session.tlvxrec") + "'");
}

}  // namespace

TEST(ReplayTool, ReplaysToTheSameFilesFromTheWorldOrFromTheRecording) {
    test::TempDir dir;
    record(dir, "2 g\n4 +\n8 p\n9 h\n12 ]\n30 esc\n", 100);
    test::ToolRun r = replay(dir, "start");  // its trace: the golden window session's
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(test::changes(test::tree(dir.file("start")), test::tree(dir.file("rec"))), "");

    const test::ToolRun info = test::run_tool("record-info '" + dir.file("session.tlvxrec") + "'");
    EXPECT_EQ(info.status, 0) << info.output;
    for (const char* says : {"passes: 30 complete; ended by Escape", "keys pressed: 6", "Testland.txt"})
        EXPECT_NE(info.output.find(says), std::string::npos) << says << "\n" << info.output;  // 6: the pause's key too

    // The world kept in the recording, unpacked into an empty folder; never
    // into a folder that holds files.
    r = replay(dir, "fresh", "--world-from-recording");
    EXPECT_EQ(r.status, 0) << r.output;
    r = replay(dir, "fresh", "--world-from-recording");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("is not empty"), std::string::npos) << r.output;
    EXPECT_EQ(test::changes(test::tree(dir.file("fresh")), test::tree(dir.file("rec"))), "")
        << "unpacked, then left alone";
}

TEST(ReplayTool, RefusalsLeaveEverythingAsItWas) {
    test::TempDir dir;
    record(dir, "2 g\n10 esc\n", 50);
    std::fstream(dir.file("start/tlvx_gr3.tmp"), std::ios::in | std::ios::out | std::ios::binary).seekp(40).put(5);
    const auto before = test::tree(dir.file("start"));
    test::ToolRun r =
        replay(dir, "start", "--trace '" + dir.file("trace") + "' --screenshot '" + dir.file("shot.png") + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("tlvx_gr3.tmp has other contents"), std::string::npos) << r.output;
    EXPECT_EQ(test::tree(dir.file("start")), before);
    EXPECT_FALSE(test::file_exists(dir.file("trace")));
    EXPECT_FALSE(test::file_exists(dir.file("shot.png")));

    EXPECT_EQ(test::run_tool("run --replay x --keys y").status, 2);
    EXPECT_EQ(test::run_tool("run --world-from-recording").status, 2);
    EXPECT_EQ(test::run_tool("record-info '" + dir.file("keys") + "'").status, 2);
    // An existing file is never recorded over.
    const std::string kept = test::read_file(dir.file("session.tlvxrec"));
    r = test::run_tool("run --data '" + dir.file("rec") + "' --passes 3 --record '" + dir.file("session.tlvxrec") +
                       "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("exists already"), std::string::npos) << r.output;
    EXPECT_EQ(test::read_file(dir.file("session.tlvxrec")), kept);
}

TEST(ReplayTool, ARecordingCutShortReplaysItsCompletePassesWithoutSaving) {
    test::TempDir dir;
    record(dir, "2 g\n5 *\n", 200);  // no Escape: like a killed game, the session never ends
    const test::ToolRun info = test::run_tool("record-info '" + dir.file("session.tlvxrec") + "'");
    EXPECT_NE(info.output.find("the session did not end"), std::string::npos) << info.output;
    const std::string sav = test::read_file(dir.file("start/Pndx_001.sav"));
    fs::copy(dir.file("start"), dir.file("start2"));
    const test::ToolRun r = replay(dir, "start", "--trace '" + dir.file("trace") + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("199 complete passes, without saving"), std::string::npos) << r.output;
    EXPECT_EQ(test::read_file(dir.file("start/Pndx_001.sav")), sav);
    EXPECT_EQ(lines(test::read_file(dir.file("trace"))), 200);
    EXPECT_EQ(test::read_file(dir.file("start/tlvx_gr2.tmp")), test::read_file(dir.file("rec/tlvx_gr2.tmp")));

    // Its only chunk cut: not even start-up can be replayed, and nothing is.
    const std::string bytes = test::read_file(dir.file("session.tlvxrec"));
    test::write_file(dir.file("cut.tlvxrec"), bytes.substr(0, bytes.size() - 3));
    const auto untouched = test::tree(dir.file("start2"));
    const test::ToolRun cut = replay(dir, "start2", "", "cut.tlvxrec");
    EXPECT_EQ(cut.status, 2) << cut.output;
    EXPECT_NE(cut.output.find("no complete pass"), std::string::npos) << cut.output;
    EXPECT_EQ(test::tree(dir.file("start2")), untouched);
}

TEST(ReplayTool, ASessionEndingInARuntimeErrorEndsInTheSameError) {
    test::TempDir dir;
    fs::create_directory(dir.file("start"));
    test::FixtureWorld w;
    w.ground = [](int x, int) -> uint8_t { return x >= 16 ? 9 : 1; };  // out of view at the start
    w.write(dir.file("start"));
    fs::remove(dir.file("start/tile9.pic"));
    record(dir, "3 h\n6 h\n9 h\n12 h\n40 esc\n", 100);
    EXPECT_NE(test::run_tool("record-info '" + dir.file("session.tlvxrec") + "'").output.find("runtime error 2"),
              std::string::npos);
    const test::ToolRun r = replay(dir, "start");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("Aborting due to runtime error 2 (file not found)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("tile9.pic"), std::string::npos) << r.output;
    EXPECT_EQ(test::read_file(dir.file("start/tlvx_gr2.tmp")), test::read_file(dir.file("rec/tlvx_gr2.tmp")));
}
