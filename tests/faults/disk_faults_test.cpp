// A layer file that cannot be written, and a disk that fills up during the
// save at quit: the run ends with error 3 and nothing a completed pass wrote
// is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "faults/fault_helpers.hpp"

namespace tlvx::test {
namespace {

size_t entries(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

TEST(DiskFaults, ReadOnlyStructureLayerFailsAtItsFirstWriteKeepingEveryEarlierEdit) {
    TempDir root;
    const std::string world = root.file("world"), run = root.file("run");
    std::filesystem::create_directory(world);
    std::filesystem::create_directory(run);
    FixtureWorld w;
    w.structures = [](int c, int r) { return static_cast<uint8_t>(c == 12 && r == 8 ? 4 : 0); };
    w.write(world);
    // Ground and creature edits and steps over a bridge, then a structure edit
    // in pass 9.
    const std::string script = "1 +\n2 h\n3 +\n4 *\n5 h\n6 f\n7 b\n8 bksp\n9 ]\n10 h\n";
    write_file(world + "/keys.txt", script);
    copy_dir(world, run);
    chmod((run + "/tlvx_gr3.tmp").c_str(), 0444);

    ToolRun tool{{"--data", run, "--keys", run + "/keys.txt", "--trace", run + "/trace.csv"}};
    tool.read_only = run + "/tlvx_gr3.tmp";
    ToolResult r = run_tool(tool);
    ASSERT_TRUE(r.exited) << r.err;
    ASSERT_NE(r.code, kFaultNotMade) << r.err;
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("runtime error 3 (file I/O error)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"tlvx_gr3.tmp\""), std::string::npos) << r.err;

    // Passes 1 to 8 completed (the trace lists them); their writes are all there.
    const std::string trace = read_file(run + "/trace.csv");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 9) << trace;
    std::filesystem::create_directory(root.file("replay"));
    const auto after = replay_layers(world, root.file("replay"), script, 1000, 0.01, 8, nullptr);
    const auto got = layer_files(run);
    EXPECT_EQ(got.at("tlvx_gr1.tmp"), after[8].at("tlvx_gr1.tmp"));
    EXPECT_EQ(got.at("tlvx_gr2.tmp"), after[8].at("tlvx_gr2.tmp"));
    EXPECT_EQ(got.at("tlvx_gr3.tmp"), read_file(world + "/tlvx_gr3.tmp"));
    EXPECT_NE(after[8], after[0]) << "the passes before the failure edit the map";
}

TEST(DiskFaults, FullDiskDuringTheSaveKeepsTheOldSaveFileAndEveryEdit) {
    TempDir root;
    const std::string world = root.file("world"), run = root.file("run");
    std::filesystem::create_directory(world);
    std::filesystem::create_directory(run);
    // An 8 by 8 map: its layer files (76 bytes) fit under the limit, the save
    // file with its long world name does not.
    FixtureWorld w;
    w.w = 8, w.h = 8, w.vx = 4, w.vy = 4;
    w.world = std::string(200, 'w');
    w.write(world);
    const std::string script = "1 +\n2 *\n3 h\n4 +\n5 esc\n";
    write_file(root.file("keys.txt"), script);
    copy_dir(world, run);
    const std::string old_save = read_file(run + "/Pndx_001.sav");
    ASSERT_GT(old_save.size(), 200u);
    const size_t files_before = entries(run);

    ToolRun tool{{"--data", run, "--keys", root.file("keys.txt")}};
    tool.file_size_limit = 128;
    ToolResult r = run_tool(tool);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("runtime error 3 (file I/O error)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"Pndx_001.sav\""), std::string::npos) << r.err;
    EXPECT_EQ(read_file(run + "/Pndx_001.sav"), old_save);
    EXPECT_EQ(entries(run), files_before) << "no temporary file is left behind";

    std::filesystem::create_directory(root.file("replay"));
    std::string new_save;
    const auto after = replay_layers(world, root.file("replay"), script, 1000, 0.01, 5, &new_save);
    EXPECT_EQ(layer_files(run), after[5]);
    EXPECT_NE(after[5], after[0]);
    EXPECT_NE(new_save, old_save) << "without the limit the save is written";
}

// A read-only data folder: no temporary file can be made beside the save
// file. When the save file itself may be written it is rewritten in place;
// when it may not, the run ends with error 3 naming the cause, the old save kept.
TEST(DiskFaults, SaveInAReadOnlyFolderIsWrittenInPlaceOrFailsNamingTheCause) {
    for (const bool save_writable : {true, false}) {
        TempDir root;
        const std::string world = root.file("world"), run = root.file("run");
        std::filesystem::create_directory(world);
        std::filesystem::create_directory(run);
        FixtureWorld().write(world);
        const std::string script = "1 h\n2 h\n3 b\n4 esc\n";
        write_file(root.file("keys.txt"), script);
        copy_dir(world, run);
        write_file(run + "/probe", "");
        chmod((run + "/probe").c_str(), 0444);
        if (!save_writable) chmod((run + "/Pndx_001.sav").c_str(), 0444);
        const std::string old_save = read_file(run + "/Pndx_001.sav");
        const size_t files_before = entries(run);
        chmod(run.c_str(), 0555);

        ToolRun tool{{"--data", run, "--keys", root.file("keys.txt")}};
        tool.read_only = run + "/probe";
        ToolResult r = run_tool(tool);
        chmod(run.c_str(), 0755);
        ASSERT_TRUE(r.exited) << r.err;
        ASSERT_NE(r.code, kFaultNotMade) << r.err;
        EXPECT_EQ(entries(run), files_before) << "no file is added";

        std::filesystem::create_directory(root.file("replay"));
        std::string new_save;
        const auto after = replay_layers(world, root.file("replay"), script, 1000, 0.01, 4, &new_save);
        EXPECT_EQ(layer_files(run), after.back()) << "every edit and step is kept";
        ASSERT_NE(new_save, old_save);
        if (save_writable) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(read_file(run + "/Pndx_001.sav"), new_save);
        } else {
            EXPECT_EQ(r.code, 3) << r.err;
            for (const char* says : {"runtime error 3 (file I/O error)", "\"Pndx_001.sav\"", "permission denied"})
                EXPECT_NE(r.err.find(says), std::string::npos) << says << "\n" << r.err;
            EXPECT_EQ(read_file(run + "/Pndx_001.sav"), old_save);
        }
    }
}

}  // namespace
}  // namespace tlvx::test
