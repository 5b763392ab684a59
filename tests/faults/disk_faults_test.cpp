// A layer file that cannot be written, and a disk that fills up during the
// save at quit: the run ends with error 3 and nothing a completed pass wrote
// is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "base/world_lock.hpp"
#include "faults/fault_helpers.hpp"

namespace tlvx::test {
namespace {

// The entries of a folder, but for the world's lock file a run leaves.
size_t entries(const std::string& dir) {
    return static_cast<size_t>(std::count_if(std::filesystem::directory_iterator(dir), {},
                                             [](const auto& e) { return e.path().filename() != kWorldLockName; }));
}

// Error 3, its report naming each of `causes`.
void expect_error_3(const ToolResult& r, const std::vector<std::string>& causes) {
    EXPECT_EQ(r.code, 3) << r.err;
    for (const std::string& says : causes) EXPECT_NE(r.err.find(says), std::string::npos) << says << "\n" << r.err;
}

TEST(DiskFaults, ReadOnlyStructureLayerFailsAtItsFirstWriteKeepingEveryEarlierEdit) {
    FixtureWorld w;
    w.structures = [](int c, int r) { return static_cast<uint8_t>(c == 12 && r == 8 ? 4 : 0); };
    // Ground and creature edits and steps over a bridge, then a structure edit in pass 9.
    FaultRig rig(w, "1 +\n2 h\n3 +\n4 *\n5 h\n6 f\n7 b\n8 bksp\n9 ]\n10 h\n");
    chmod((rig.run + "/tlvx_gr3.tmp").c_str(), 0444);
    ToolResult r = run_tool({.args = {"--data", rig.run, "--keys", rig.keys, "--trace", rig.root.file("trace.csv")},
                             .read_only = rig.run + "/tlvx_gr3.tmp"});
    expect_error_3(r, {"\"tlvx_gr3.tmp\""});

    // Passes 1 to 8 completed (the trace lists them); their writes are all there.
    const std::string trace = read_file(rig.root.file("trace.csv"));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 9) << trace;
    const auto after = rig.replay(8);
    EXPECT_NE(after[8], after[0]) << "the passes before the failure edit the map";
    Layers want = after[8];
    want["tlvx_gr3.tmp"] = read_file(rig.world + "/tlvx_gr3.tmp");
    EXPECT_EQ(layer_files(rig.run), want);
}

TEST(DiskFaults, FullDiskDuringTheSaveKeepsTheOldSaveFileAndEveryEdit) {
    // An 8 by 8 map: its layer files (76 bytes) fit under the limit, the save
    // file with its long world name does not.
    FixtureWorld w;
    w.w = 8, w.h = 8, w.vx = 4, w.vy = 4;
    w.world = std::string(200, 'w');
    FaultRig rig(w, "1 +\n2 *\n3 h\n4 +\n5 esc\n");
    const std::string old_save = read_file(rig.run + "/Pndx_001.sav");
    ASSERT_GT(old_save.size(), 200u);
    const size_t files_before = entries(rig.run);
    ToolResult r = run_tool({.args = rig.tool().args, .file_size_limit = 128});
    expect_error_3(r, {"\"Pndx_001.sav\""});
    EXPECT_EQ(read_file(rig.run + "/Pndx_001.sav"), old_save);
    EXPECT_EQ(entries(rig.run), files_before) << "no temporary file is left behind";

    std::string new_save;
    const auto after = rig.replay(5, &new_save);
    EXPECT_EQ(layer_files(rig.run), after[5]);
    EXPECT_NE(after[5], after[0]);
    EXPECT_NE(new_save, old_save) << "without the limit the save is written";
}

// A read-only data folder: no temporary file can be made beside the save
// file. When the save file itself may be written it is rewritten in place;
// when it may not, the run ends with error 3 naming the cause, the old save kept.
TEST(DiskFaults, SaveInAReadOnlyFolderIsWrittenInPlaceOrFailsNamingTheCause) {
    for (const bool save_writable : {true, false}) {
        FaultRig rig(FixtureWorld(), "1 h\n2 h\n3 b\n4 esc\n");
        write_file(rig.run + "/probe", "");
        chmod((rig.run + "/probe").c_str(), 0444);
        if (!save_writable) chmod((rig.run + "/Pndx_001.sav").c_str(), 0444);
        const std::string old_save = read_file(rig.run + "/Pndx_001.sav");
        const size_t files_before = entries(rig.run);
        chmod(rig.run.c_str(), 0555);
        ToolResult r = run_tool({.args = rig.tool().args, .read_only = rig.run + "/probe"});
        chmod(rig.run.c_str(), 0755);
        ASSERT_NE(r.code, kFaultNotMade) << r.err;
        EXPECT_EQ(entries(rig.run), files_before) << "no file is added";

        std::string new_save;
        EXPECT_EQ(layer_files(rig.run), rig.replay(4, &new_save).back()) << "every edit and step is kept";
        ASSERT_NE(new_save, old_save);
        if (save_writable) EXPECT_EQ(r.code, 0) << r.err;
        else expect_error_3(r, {"\"Pndx_001.sav\"", "permission denied"});
        EXPECT_EQ(read_file(rig.run + "/Pndx_001.sav"), save_writable ? new_save : old_save);
    }
}

}  // namespace
}  // namespace tlvx::test
