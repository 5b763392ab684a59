#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tools/demo_world.hpp"
#include "tools/info.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;

namespace {

bool mentions(const std::vector<std::string>& list, const std::string& a, const std::string& b) {
    for (const std::string& l : list)
        if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) return true;
    return false;
}

struct Fault {
    const char* what;
    std::function<void(const test::TempDir&)> plant;
    bool problem;         // a problem (the game would stop) or only a note
    const char* needle1;  // both must occur in one problem or note
    const char* needle2;
};

}  // namespace

TEST(Info, FindsEachKindOfPlantedFault) {
    const Fault faults[] = {
        {"missing ground picture", [](auto& d) { std::filesystem::remove(d.file("grass_01.pcv")); }, true,
         "ground value 1 ", "file not found"},
        {"unreadable creature picture", [](auto& d) { test::write_file(d.file("foxy_wk2.pcv"), "garbage"); }, true,
         "creature value 2 (4 cells), frame 2", "file I/O error"},
        {"missing mask", [](auto& d) { std::filesystem::remove(d.file("tree-oak.pcv")); }, true,
         "structure value 10", "mask"},
        {"picture the screen cannot show",
         [](auto& d) {
             std::string bmp = test::read_file(d.file("meadow01.bmv"));
             bmp[28] = 24;  // 24 bits a pixel
             test::write_file(d.file("meadow01.bmv"), bmp);
         },
         true, "ground value 3 ", "illegal function call"},
        {"missing object table", [](auto& d) { std::filesystem::remove(d.file("tlvx_w05.mom")); }, true,
         "object table", "file not found"},
        {"missing palette file", [](auto& d) { std::filesystem::remove(d.file("tlvx_w05.pal")); }, true,
         "palette file", "file not found"},
        {"missing world description", [](auto& d) { std::filesystem::remove(d.file("oakvale.txt")); }, true,
         "world description", "oakvale.txt"},
        {"missing save file", [](auto& d) { std::filesystem::remove(d.file("Pndx_001.sav")); }, true, "save file",
         "Pndx_001.sav"},
        {"empty ground layer", [](auto& d) { test::write_file(d.file("tlvx_gr1.tmp"), ""); }, true,
         "tlvx_gr1.tmp", "no map"},
        {"missing ground layer", [](auto& d) { std::filesystem::remove(d.file("tlvx_gr1.tmp")); }, true,
         "tlvx_gr1.tmp", "missing"},
        {"tiny map", [](auto& d) { test::write_file(d.file("tlvx_gr1.tmp"), test::layer_bytes(3, 3, nullptr)); },
         true, "too small", "runtime error 1"},
        {"short creature layer", [](auto& d) { std::filesystem::resize_file(d.file("tlvx_gr2.tmp"), 100); }, false,
         "tlvx_gr2.tmp", "shorter"},
        {"missing unused layer", [](auto& d) { std::filesystem::remove(d.file("tlvx_gr5.tmp")); }, false,
         "tlvx_gr5.tmp", "creates it empty"},
        {"ground without picture",
         [](auto& d) {
             std::string mem = test::read_file(d.file("tlvx_w05.mem"));
             mem.replace(mem.find("\"road__01.pcv\""), 14, "\"\"");
             test::write_file(d.file("tlvx_w05.mem"), mem);
         },
         false, "ground value 7 ", "no picture"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        test::TempDir dir;
        write_demo_world(dir.path(), false);
        f.plant(dir);
        WorldInfo info = inspect_world(dir.path());
        EXPECT_TRUE(mentions(f.problem ? info.problems : info.notes, f.needle1, f.needle2)) << format_info(info);
        EXPECT_EQ(info.problems.empty(), !f.problem) << format_info(info);
    }
}

TEST(Info, IgnoresPicturesThatAreNeverDrawnAndCountsValues) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    // The invisible marker (structure drawing order 3) never needs its pictures.
    std::filesystem::remove(dir.file("mark_inv.pcv"));
    std::filesystem::remove(dir.file("mark-inv.pcv"));
    WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty()) << format_info(info);
    std::string text = format_info(info);
    EXPECT_NE(text.find("map: 80 x 60 cells"), std::string::npos);
    EXPECT_NE(text.find("creature values:  0 x 4783, 1 x 1, 2 x 4"), std::string::npos) << text;
    EXPECT_NE(text.find("start: (38, 33)"), std::string::npos);
}

TEST(Info, ReportsLayerFilesTheGameCannotWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can write any file";
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    ::chmod(dir.file("tlvx_gr2.tmp").c_str(), 0444);
    WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(mentions(info.problems, "tlvx_gr2.tmp", "runtime error 3")) << format_info(info);
}

TEST(Info, ToolExitStatusFollowsTheProblems) {
    test::TempDir dir;
    ASSERT_EQ(test::run_tool("demo '" + dir.path() + "'").status, 0);
    test::ToolRun ok = test::run_tool("info '" + dir.path() + "'");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("No problems"), std::string::npos) << ok.output;
    std::filesystem::remove(dir.file("hero_wk3.pcv"));
    test::ToolRun bad = test::run_tool("info '" + dir.path() + "'");
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_NE(bad.output.find("hero_wk3.pcv"), std::string::npos) << bad.output;
}
