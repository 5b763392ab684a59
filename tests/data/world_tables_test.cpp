#include <gtest/gtest.h>

#include <map>

#include "data/data_helpers.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"

namespace tlvx::test {
namespace {

TEST(WorldTables, WorldDescriptionAndTheBlockedListsTheTileTableCompletes) {
    TempDir dir;
    write_file(dir.file("Home.txt"), "My World\r\nunused\r\n 3 \r\n 4 \r\n7 9\r\n\r\n\r\n\r\n5 6 7\r\nbm\r\n");
    auto s = state_in(dir.path());
    s->P1_S = "Home";
    load_world_description(*s);
    EXPECT_EQ(std::tuple(s->P2_S, s->P3_S, s->XX, s->YY, s->BM_S), std::tuple("My World", "unused", 3, 4, "bm"));
    EXPECT_EQ(s->RD_S, " 5 6 7 ");
    // Record z is "tZ.pic" with colour z; 20 blocks moving down only, 30 (1,1,1,1) up only,
    // 40 nothing (a value must equal its direction), 256 every direction.
    const std::map<int, std::string> blocks = {
        {3, "1,0,0,0"}, {20, "0,0,3,0"}, {30, "1,1,1,1"}, {40, "2,0,0,0"}, {256, "1,2,3,4"}};
    std::string mem;
    for (int z = 1; z <= 256; ++z)
        mem += "t" + std::to_string(z) + ".pic," + (blocks.count(z) ? blocks.at(z) : "0,0,0,0") + "," +
               std::to_string(z) + "\r\n";
    write_file(dir.file("tlvx_w05.mem"), mem);
    load_tile_table(*s);
    EXPECT_EQ(std::tuple(s->CK_S(1), s->CK_S(2), s->CK_S(3), s->CK_S(4)),
              std::tuple("7 9 3 30 256 ", " 256 ", " 20 256 ", " 256 "));
    EXPECT_TRUE(in_list(s->CK_S(1), 9));
    EXPECT_FALSE(in_list(s->CK_S(1), 7));  // kept: the first number of an item has no blank before it
    EXPECT_EQ(std::tuple(s->M_S(1), s->M_S(256), s->M_TILE(200)), std::tuple("t1.pic", "t256.pic", 200));
}

TEST(WorldTables, ShortFilesLeaveTheRestEmpty) {
    TempDir dir;
    write_file(dir.file("tlvx_w05.mem"), "a.pic\r\n1\r\n0,0,0,9\r\nb.pic,0,2,\r\n0\r\n8");
    write_file(dir.file("tlvx_w05.mom"), "h1,h2,h3,h4,24,0,1\r\nc1,c2\r\nc3\r\nc4,16\r\n4\r\n3\r\n,,,,,,\r\nx1,x2");
    auto s = state_in(dir.path());
    s->M_S(5) = "stale";
    load_tile_table(*s);
    load_object_table(*s);
    EXPECT_EQ(std::tuple(s->M_S(1), s->M_TILE(1), s->M_S(2), s->M_TILE(2), s->M_S(5)),
              std::tuple("a.pic", 9, "b.pic", 8, ""));
    EXPECT_EQ(std::tuple(s->CK_S(1), s->CK_S(2), s->CK_S(3)), std::tuple(" 1 ", " 2 ", " "));
    EXPECT_EQ(std::tuple(s->OBJ_S(1, 4), s->OBJ(1), s->OBJ_M(1)), std::tuple("h4", 24, 1));
    EXPECT_EQ(std::tuple(s->OBJ_S(2, 3), s->OBJ(2), s->OBJS(2), s->OBJ_M(2)), std::tuple("c3", 16, 4, 3));
    EXPECT_EQ(std::tuple(s->OBJ_S(4, 2), s->OBJ_S(4, 3), s->OBJ_M(255)), std::tuple("x2", "", 0));
}

}  // namespace
}  // namespace tlvx::test
