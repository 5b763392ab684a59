#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "tools/demo_world.hpp"
#include "tools/info.hpp"
#include "tools/new_map.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;

TEST(NewMap, LargestMapIsQuickSparseAndPlayable) {
    test::TempDir dir;
    NewMapOptions o;
    o.dir = dir.path();
    o.w = o.h = 65535;
    auto t0 = std::chrono::steady_clock::now();
    NewMapResult r = new_map(o);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_TRUE(r.clearing);
    int64_t disk = 0;
    for (const char* name : kLayerNames) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 4 + int64_t{65535} * 65536);
        disk += int64_t{st.st_blocks} * 512;
    }
    EXPECT_LT(disk, int64_t{16} << 20);

    test::StartedGame g(dir.path());
    State& s = *g.s;
    EXPECT_EQ(s.WX, 65535);
    EXPECT_EQ(s.VX2, r.start_x);
    EXPECT_EQ(s.VY2, r.start_y);
    EXPECT_FALSE(run_pass(s));
    EXPECT_EQ(s.CR(0, 0), object::Hero);
    EXPECT_EQ(s.GR(3, 3), ground::Grass);  // the clearing around the start
    EXPECT_NE(s.screen.at(12, 12), 0);     // and it is drawn

    WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty()) << format_info(info);
}

TEST(NewMap, FillReachesEveryCellAndTheMarkerSitsWhereTheGameStarts) {
    test::TempDir dir;
    NewMapOptions o;
    o.dir = dir.path();
    o.w = 20;
    o.h = 10;
    o.fill = 5;
    NewMapResult r = new_map(o);
    EXPECT_EQ(r.start_x, 10);
    EXPECT_EQ(r.start_y, 5);
    std::string expected_ground = test::layer_bytes(20, 10, [](int, int) { return uint8_t{5}; });
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp")), expected_ground);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr2.tmp")),
              test::layer_bytes(20, 10, [](int c, int row) { return uint8_t(c == 10 && row == 5); }));
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr5.tmp")), test::layer_bytes(20, 10, nullptr));
    EXPECT_TRUE(test::file_exists(dir.file("tlvx_w05.mom")));
    EXPECT_TRUE(test::file_exists(dir.file("grass_01.pcv")));

    // An existing map is kept unless forced.
    o.fill = 6;
    EXPECT_THROW(new_map(o), ToolError);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp")), expected_ground);
    o.force = true;
    new_map(o);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp"))[4 + 20], 6);
}

TEST(NewMap, KeepsTheFoldersOwnFilesAndStartsWhereItsSaveSays) {
    test::TempDir dir;
    WorldFile save = demo_save_file(2, 2);
    test::write_file(dir.file(save.name), save.bytes);
    test::write_file(dir.file("tlvx_w05.pal"), "own palette");
    NewMapOptions o;
    o.dir = dir.path();
    o.w = o.h = 8;
    NewMapResult r = new_map(o);
    // Start-up's clamp moves a player at (2, 2) to (4, 4).
    EXPECT_EQ(r.start_x, 4);
    EXPECT_EQ(r.start_y, 4);
    EXPECT_EQ(test::read_file(dir.file("tlvx_w05.pal")), "own palette");
    EXPECT_EQ(test::read_file(dir.file(save.name)), save.bytes);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr2.tmp"))[4 + 4 * 8 + 3], 1);
}

TEST(NewMap, SizesAreCheckedByTheToolAndTheParser) {
    EXPECT_EQ(parse_map_size("8x8"), (std::pair{8, 8}));
    EXPECT_EQ(parse_map_size("65535X12"), (std::pair{65535, 12}));
    EXPECT_FALSE(parse_map_size("7x8"));
    EXPECT_FALSE(parse_map_size("8x65536"));
    EXPECT_FALSE(parse_map_size("10x"));
    EXPECT_FALSE(parse_map_size("-10x10"));
    EXPECT_FALSE(parse_map_size("10x10x3"));

    test::TempDir dir;
    EXPECT_NE(test::run_tool("new '" + dir.path() + "' --size 7x7").status, 0);
    EXPECT_FALSE(test::file_exists(dir.file("tlvx_gr1.tmp")));
    test::ToolRun ok = test::run_tool("new '" + dir.path() + "' --size 30x20 --fill 4");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp")).size(), 4u + 30 * 21);
    for (const char* cmd : {"demo", "new", "render", "info"}) {
        test::ToolRun help = test::run_tool(std::string(cmd) + " --help");
        EXPECT_EQ(help.status, 0) << cmd;
        EXPECT_NE(help.output.find("DIR"), std::string::npos) << cmd;
    }
}
