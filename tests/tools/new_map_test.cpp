#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tools/new_map.hpp"
#include "tools_helpers.hpp"
#include "world/info.hpp"

using namespace tlvx;
using namespace tlvx::tools;
using namespace tlvx::world;

// The largest map is written as sparse files, passes info and starts in a
// drawn clearing of a world with the default name.
TEST(NewMap, LargestMapIsSparseAndPlayable) {
    test::TempDir dir;
    const NewMapResult r = new_map({.dir = dir.path(), .w = 65535, .h = 65535, .fill = {}});
    EXPECT_TRUE(r.clearing);
    int64_t disk = 0;
    for (const char* name : kLayerNames) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 4 + int64_t{65535} * 65536);
        disk += int64_t{st.st_blocks} * 512;
    }
    EXPECT_LT(disk, int64_t{16} << 20);
    EXPECT_TRUE(inspect_world(dir.path()).problems.empty()) << format_info(inspect_world(dir.path()));

    test::StartedGame g(dir.path());
    State& s = *g.s;
    EXPECT_EQ(s.P2_S, kDemoWorldName);
    EXPECT_EQ(std::make_pair(s.VX2, s.VY2), std::make_pair(r.start_x, r.start_y));
    EXPECT_FALSE(run_pass(s));
    EXPECT_EQ(s.CR(0, 0), object::Hero);
    EXPECT_EQ(s.GR(3, 3), ground::Grass);  // the clearing around the start
    EXPECT_NE(s.screen.at(12, 12), 0);     // and it is drawn
}

// A fill reaches every cell, the marker sits in the middle and --name (eight
// characters, punctuation and inner blanks) names the world as the game reads
// it; forced over an existing map, the folder's own files are kept and a save
// file sets the start, clamped as start-up does. (Sizes and names refused, and
// no --force: bad-input rows.)
TEST(NewMap, FillNameForceAndTheFoldersOwnFiles) {
    test::TempDir dir;
    const test::ToolRun made =
        test::run_tool({"new", dir.path(), "--size", "20X10", "--fill", "5", "--name", "Ash-D, e"}, {});
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(test::StartedGame(dir.path()).s->P2_S, "Ash-D, e");
    // mended: the description is named after the world, and the save file names it so.
    EXPECT_EQ(test::StartedGame(dir.path()).s->P1_S, "ash_d_e");
    EXPECT_EQ(test::read_file(dir.file("ash_d_e.txt")).rfind("\"Ash-D, e\"", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("oakvale.txt")));
    EXPECT_EQ(world_file_base("  --X9 y!"), "x9_y");
    EXPECT_EQ(world_file_base("..."), "world");
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp")),
              test::layer_bytes(20, 10, [](int, int) { return uint8_t{5}; }));
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr2.tmp")),
              test::layer_bytes(20, 10, [](int c, int row) { return uint8_t(c == 10 && row == 5); }));
    const WorldFile save = demo_save_file(2, 2);
    test::write_file(dir.file(save.name), save.bytes);
    test::write_file(dir.file("tlvx_w05.pal"), "own palette");
    const NewMapResult again = new_map({.dir = dir.path(), .w = 8, .h = 8, .fill = 6, .force = true});
    EXPECT_EQ(again.start_x * 100 + again.start_y, 404);
    EXPECT_EQ(test::read_file(dir.file("tlvx_w05.pal")), "own palette");
    EXPECT_EQ(test::read_file(dir.file(save.name)), save.bytes);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr1.tmp"))[4 + 8], 6);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr2.tmp"))[4 + 4 * 8 + 3], 1);
    EXPECT_EQ(parse_map_size("8x65535"), (std::pair{8, 65535}));
}
