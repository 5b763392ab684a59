// A layer file that cannot be written, and a save at quit on a full disk or
// in a read-only folder: the run ends with error 3 (or saves in place) and
// nothing a completed pass wrote is lost.
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
    ToolRun run{rig.args(), rig.run + "/tlvx_gr3.tmp"};
    run.args.insert(run.args.end(), {"--trace", rig.root.file("trace.csv")});
    const ToolResult r = run_tool(run);
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

// A save at Escape that cannot be written as usual: on a full disk (a file
// size limit that the layer files of an 8 by 8 map fit under and the save
// file with its long world name does not), or in a read-only data folder,
// where no temporary file can be made beside the save file. There, when the
// save file itself may be written it is rewritten in place; otherwise, and
// on the full disk, the run ends with error 3 naming the cause. Either way no
// file is added, the old save is kept or the new one is whole, and every
// edit and step is kept.
TEST(DiskFaults, SaveOnAFullDiskOrInAReadOnlyFolderKeepsTheOldSaveOrWritesInPlace) {
    FixtureWorld w;
    w.w = 8, w.h = 8, w.vx = 4, w.vy = 4;
    w.world = std::string(200, 'w');
    enum Fault { FullDisk, ReadOnlyFolder, ReadOnlyFolderAndSave };
    for (const Fault fault : {FullDisk, ReadOnlyFolder, ReadOnlyFolderAndSave}) {
        SCOPED_TRACE(fault);
        FaultRig rig(w, "1 +\n2 *\n3 h\n4 b\n5 esc\n");
        const std::string save = rig.run + "/Pndx_001.sav", old_save = read_file(save);
        ToolRun run{rig.args()};
        if (fault == FullDisk) {
            run.file_size_limit = 128;
        } else {
            run.read_only = rig.run + "/probe";
            write_file(run.read_only, "");
            chmod(run.read_only.c_str(), 0444);
            if (fault == ReadOnlyFolderAndSave) chmod(save.c_str(), 0444);
        }
        const size_t files_before = entries(rig.run);
        if (fault != FullDisk) chmod(rig.run.c_str(), 0555);
        const ToolResult r = run_tool(run);
        chmod(rig.run.c_str(), 0755);
        ASSERT_NE(r.code, kFaultNotMade) << r.err;
        EXPECT_EQ(entries(rig.run), files_before) << "no file is added";

        std::string new_save;
        const auto after = rig.replay(5, &new_save);
        EXPECT_EQ(layer_files(rig.run), after.back()) << "every edit and step is kept";
        ASSERT_NE(after.back(), after.front());
        ASSERT_NE(new_save, old_save);
        if (fault == ReadOnlyFolder) EXPECT_EQ(r.code, 0) << r.err;
        else if (fault == FullDisk) expect_error_3(r, {"\"Pndx_001.sav\""});
        else expect_error_3(r, {"\"Pndx_001.sav\"", "permission denied"});
        EXPECT_EQ(read_file(save), fault == ReadOnlyFolder ? new_save : old_save);
    }
}

}  // namespace
}  // namespace tlvx::test
