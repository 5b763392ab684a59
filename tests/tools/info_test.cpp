#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tools_helpers.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"

using namespace tlvx;
using namespace tlvx::tools;

// Each planted fault is named in a problem (the game would stop) or in a note, and only then is there a problem.
TEST(Info, FindsEachKindOfPlantedFault) {
    using Dir = const test::TempDir&;
    auto gone = [](const char* name) { return [=](Dir d) { std::filesystem::remove(d.file(name)); }; };
    auto with = [](const char* name, std::string bytes) {
        return [=](Dir d) { test::write_file(d.file(name), bytes); };
    };
    struct Fault {
        std::function<void(Dir)> plant;
        bool problem;
        const char *says1, *says2;
    };
    const Fault faults[] = {
        {gone("grass_01.pcv"), true, "ground value 1 ", "file not found"},
        {with("foxy_wk2.pcv", "garbage"), true, "creature value 2 (4 cells), frame 2", "file I/O error"},
        {gone("tree-oak.pcv"), true, "structure value 10", "mask"},
        {with("tlvx_gr1.tmp", ""), true, "tlvx_gr1.tmp", "no map"},
        {with("tlvx_gr1.tmp", test::layer_bytes(3, 3, nullptr)), true, "too small", "runtime error 1"},
        {[](Dir d) { std::filesystem::resize_file(d.file("tlvx_gr2.tmp"), 100); }, false, "tlvx_gr2.tmp", "shorter"},
        {gone("tlvx_gr5.tmp"), false, "tlvx_gr5.tmp", "creates it empty"},
        {gone("mark_inv.pcv"), false, "", ""},  // the invisible marker (mode 3) is never drawn: no finding
        // Pictures the game draws without an error, yet with wrong pixels.
        {[](Dir d) { std::filesystem::resize_file(d.file("grass_01.pcv"), 20); }, true, "ground value 1 ",
         "holds 13 of the 580 data bytes"},
        {with("grass_01.pcv", test::block_picture(24, 24, {}).substr(0, 7 + 4) + std::string(100, '\1')), true,
         "ground value 1 ", "wrong pixels"},
        {with("grass_01.pcv", test::solid_picture(60, 60, 9)), true, "ground value 1 ", "not drawn"},
    };
    for (const Fault& f : faults) {
        test::TempDir dir;
        write_demo_world(dir.path(), false);
        f.plant(dir);
        const WorldInfo info = inspect_world(dir.path());
        int found = 0;
        for (const std::string& l : f.problem ? info.problems : info.notes)
            found += l.find(f.says1) != l.npos && l.find(f.says2) != l.npos;
        EXPECT_EQ(found > 0, *f.says1 != 0) << f.says1 << "\n" << format_info(info);
        EXPECT_EQ(info.problems.empty(), !f.problem) << format_info(info);
    }
}

// The report counts the values, and names from the data files cannot break
// its lines. (A world with a missing file: status 1 and the file named, in
// the bad-input table.)
TEST(Info, ToolReportCountsAndQuotesNames) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::write_file(dir.file("oakvale.txt"), "\"Oak\nvale\x01\"\r\n\"unused\"\r\n0\r\n0\r\n");
    const test::ToolRun ok = test::run_tool("info '" + dir.path() + "'");
    EXPECT_EQ(ok.status, 0) << ok.output;
    for (const char* line : {"No problems", "world: \"Oak\\nvale\\x01\" (oakvale.txt)\n", "map: 80 x 60 cells",
                             "creature values:  0 x 4783, 1 x 1, 2 x 4", "start: (38, 33)"})
        EXPECT_NE(ok.output.find(line), std::string::npos) << line << "\n" << ok.output;
}
