#include <gtest/gtest.h>

#include "data/data_helpers.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

using test::state_in;

// A world description file: the ten items, one per line.
std::string world_file(const std::string& ck1, const std::string& road) {
    return "My World\r\nunused\r\n 3 \r\n 4 \r\n" + ck1 + "\r\n\r\n\r\n\r\n" + road + "\r\nbm\r\n";
}

// A tile table whose record z has the picture "tZ.pic", colour z, and the four
// blocking values block(z, k).
template <class F>
std::string tile_file(int records, F block) {
    std::string out;
    for (int z = 1; z <= records; ++z) {
        out += "t" + std::to_string(z) + ".pic";
        for (int k = 1; k <= 4; ++k) out += "," + std::to_string(block(z, k));
        out += "," + std::to_string(z) + "\r\n";
    }
    return out;
}

TEST(WorldDescription, ItemsAndRoadList) {
    test::TempDir dir;
    test::write_file(dir.file("Home.txt"), world_file("7 9", "5 6 7"));
    auto s = state_in(dir.path());
    s->P1_S = "Home";
    load_world_description(*s);
    EXPECT_EQ(s->P2_S, "My World");
    EXPECT_EQ(s->P3_S, "unused");
    EXPECT_EQ(s->XX, 3);
    EXPECT_EQ(s->YY, 4);
    EXPECT_EQ(s->CK_S(1), "7 9");
    EXPECT_EQ(s->CK_S(2), "");
    EXPECT_EQ(s->BM_S, "bm");
    EXPECT_EQ(s->RD_S, " 5 6 7 ");
    for (int v : {5, 6, 7}) EXPECT_TRUE(in_list(s->RD_S, v)) << v;
    EXPECT_FALSE(in_list(s->RD_S, 56));

    // Completed by a tile table blocking nothing, the list finds 9 but not 7.
    test::write_file(dir.file("tlvx_w05.mem"), tile_file(256, [](int, int) { return 0; }));
    load_tile_table(*s);
    EXPECT_EQ(s->CK_S(1), "7 9 ");
    EXPECT_TRUE(in_list(s->CK_S(1), 9));
    EXPECT_FALSE(in_list(s->CK_S(1), 7));
}

TEST(WorldDescription, MissingFileIsError2NamingIt) {
    test::TempDir dir;
    auto s = state_in(dir.path());
    auto c = test::catch_error([&] { load_world_description(*s); });  // empty P1$: ".txt"
    EXPECT_EQ(c.number, 2);
    EXPECT_NE(c.place.find("\".txt\""), std::string::npos);
    s->GM_S = "none.mem";
    c = test::catch_error([&] { load_tile_table(*s); });
    EXPECT_EQ(c.number, 2);
    EXPECT_NE(c.place.find("\"none.mem\""), std::string::npos);
}

TEST(TileTable, BlockedListsAndRecords) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_w05.mem"), tile_file(256, [](int z, int k) {
                         if (k == 1 && (z == 3 || z == 12)) return 1;
                         if (z == 20) return k == 3 ? 3 : 0;       // blocked moving down only
                         if (z == 30) return 1;                     // 1,1,1,1: blocks only moving up
                         if (z == 40) return k == 1 ? 2 : 0;        // Rk must equal k exactly
                         if (z == 256) return k;                    // all four directions
                         return 0;
                     }));
    auto s = state_in(dir.path());
    load_tile_table(*s);
    EXPECT_EQ(s->CK_S(1), " 3 12 30 256 ");
    EXPECT_EQ(s->CK_S(2), " 256 ");
    EXPECT_EQ(s->CK_S(3), " 20 256 ");
    EXPECT_EQ(s->CK_S(4), " 256 ");
    EXPECT_EQ(s->CK_S(0), "");
    EXPECT_EQ(s->M_S(0), "");
    EXPECT_EQ(s->M_S(1), "t1.pic");
    EXPECT_EQ(s->M_S(256), "t256.pic");
    EXPECT_EQ(s->M_TILE(200), 200);
    EXPECT_EQ(s->M_TILE(0), 0);
}

TEST(TileTable, ShortFileLeavesLaterValuesEmptyAndRecordsIgnoreLineBreaks) {
    test::TempDir dir;
    // Two records spread over lines differently, then nothing.
    test::write_file(dir.file("tlvx_w05.mem"), "a.pic\r\n1\r\n0,0,0,9\r\nb.pic,0,2,\r\n0\r\n8");
    auto s = state_in(dir.path());
    s->M_S(5) = "stale";
    load_tile_table(*s);
    EXPECT_EQ(s->M_S(1), "a.pic");
    EXPECT_EQ(s->M_TILE(1), 9);
    EXPECT_EQ(s->M_S(2), "b.pic");
    EXPECT_EQ(s->M_TILE(2), 8);
    EXPECT_EQ(s->M_S(5), "");  // the table starts empty
    EXPECT_EQ(s->CK_S(1), " 1 ");
    EXPECT_EQ(s->CK_S(2), " 2 ");
    EXPECT_EQ(s->CK_S(3), " ");
}

TEST(ObjectTable, SevenItemsPerRecordAndShortFiles) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_w05.mom"),
                     "\"h1.pic\",\"h2.pic\",\"h3.pic\",\"h4.pic\",24,0,1\r\n"
                     "c1.pic,c2.pic\r\nc3.pic\r\nc4.pic,16\r\n4\r\n3\r\n"
                     ",,,,,,\r\nx1,x2");
    auto s = state_in(dir.path());
    s->OBJ_M(0) = 1;
    load_object_table(*s);
    EXPECT_EQ(s->OBJ_S(1, 1), "h1.pic");
    EXPECT_EQ(s->OBJ_S(1, 4), "h4.pic");
    EXPECT_EQ(s->OBJ(1), 24);
    EXPECT_EQ(s->OBJ_M(1), 1);
    EXPECT_EQ(s->OBJ_S(2, 3), "c3.pic");
    EXPECT_EQ(s->OBJ(2), 16);
    EXPECT_EQ(s->OBJS(2), 4);
    EXPECT_EQ(s->OBJ_M(2), 3);
    EXPECT_EQ(s->OBJ_S(3, 1), "");
    EXPECT_EQ(s->OBJ_S(4, 2), "x2");
    EXPECT_EQ(s->OBJ_S(4, 3), "");
    EXPECT_EQ(s->OBJ_M(255), 0);
    EXPECT_EQ(s->OBJ_M(0), 1);  // no record 0 in the file
}

}  // namespace
}  // namespace tlvx
