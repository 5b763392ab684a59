#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "data/data_helpers.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

std::unique_ptr<State> filled(const std::string& dir) {
    auto s = state_in(dir);
    std::tie(s->P1_S, s->NM_S, s->C1_S, s->C2_S, s->C3_S) = std::tuple("Testland", "Ada", "001", "002", "003");
    std::tie(s->VX2, s->VY2, s->D1, s->S, s->O, s->I, s->P) = std::tuple(10, 8, 4, 7, -1, 5, 1);
    return s;
}
// The fields a save file holds.
auto fields(const State& s) {
    return std::tuple(s.P1_S, s.VX2, s.VY2, s.D1, s.NM_S, s.C1_S, s.C2_S, s.C3_S, s.S, s.O, s.I, s.P);
}
// The fields read back from `dir` for `name`; the file is closed after reading.
auto loaded(const std::string& dir, const std::string& name) {
    auto s = state_in(dir);
    s->NM_S = name;
    load_save_file(*s);
    EXPECT_FALSE(s->files.is_open(stream_number(*s, 0)));
    return fields(*s);
}
const std::string kOld =
    "Old\r\n 4 \r\n 4 \r\n 1 \r\n 4 \r\n 4 \r\nBea\r\n001\r\n002\r\n003\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n";

// Texts that would not read back bare (a comma, a line break, a leading blank, tab or double
// quote) are quoted, so every field keeps its place. The name inside the start file (Pndx's)
// chooses the file the game saves to.
TEST(SaveFile, RoundTripOfTheFourteenLines) {
    TempDir dir;
    auto out = filled(dir.path());
    std::tie(out->P1_S, out->NM_S, out->C1_S, out->C2_S, out->C3_S) =
        std::tuple(" Far Land", "Ada, the Bold", "\"q\" first", "say \"hi\",\r\nthen go", "\tthree");
    write_save_file(*out);
    EXPECT_EQ(read_file(dir.file("Ada, the Bold_001.sav")),
              "\" Far Land\"\r\n 10 \r\n 8 \r\n 4 \r\n 10 \r\n 8 \r\n\"Ada, the Bold\"\r\nq first\r\n"
              "\"say hi,\r\r\nthen go\"\r\n\"\tthree\"\r\n 7 \r\n-1 \r\n 5 \r\n 1 \r\n");
    out->C1_S = "q first", out->C2_S = "say hi,\r\nthen go";  // a quoted text cannot hold a quote
    EXPECT_EQ(loaded(dir.path(), "Ada, the Bold"), fields(*out));
    write_file(dir.file("Pndx_001.sav"), kOld);
    auto s = state_in(dir.path());
    load_save_file(*s);
    s->VX2 = 9;
    write_save_file(*s);
    EXPECT_EQ(read_file(dir.file("Pndx_001.sav")), kOld);
    EXPECT_EQ(loaded(dir.path(), "Bea"), fields(*s));
    EXPECT_EQ(entries(dir.path()), 3u);  // no temporary left behind
}

TEST(SaveFile, SecondPositionPairWinsAndFieldsEightToTenReadAsStored) {
    TempDir dir;
    write_file(dir.file("Pndx_001.sav"), "World\r\n1\r\n2\r\n3\r\n30\r\n40\r\nPndx\r\nx\r\ny, z\r\n");
    // kept: a comma splits a bare text; missing items read 0
    EXPECT_EQ(loaded(dir.path(), "Pndx"), std::tuple("World", 30, 40, 3, "Pndx", "x", "y", "z", 0, 0, 0, 0));
}

TEST(SaveFile, InterruptedWriteKeepsTheOldFileAndIsError3) {
    TempDir dir;
    write_file(dir.file("Ada_001.sav"), kOld);
    const pid_t pid = fork();
    if (pid == 0) {  // a child writing at most 16 bytes into any file; no assertions there
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 ? catch_error([&] { write_save_file(*filled(dir.path())); }).number
                                                   : 10);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(read_file(dir.file("Ada_001.sav")), kOld);
    EXPECT_EQ(entries(dir.path()), 1u);
}

// A name the system refuses is error 3 naming the cause. mended: a name reaching outside the
// data directory is error 2 naming the file. (A missing save file: BadInput.WorldWithEachDataFileMissing.)
TEST(SaveFile, RefusedNamesAreErrorsNamingTheCauseAndWriteNothing) {
    TempDir outer;
    const std::string data = outer.file("data"), too_long(300, 'a');
    std::filesystem::create_directory(data);
    for (const std::string& name : {too_long, "sub/evil"s, "..\\evil"s, "."s, ".."s}) {
        auto s = filled(data);
        s->NM_S = name;
        Caught c = catch_error([&] { write_save_file(*s); });
        EXPECT_EQ(c.number, name == too_long ? 3 : 2) << name;
        EXPECT_NE(c.place.find(name == too_long ? "file name too long" : name + "_001.sav"), std::string::npos)
            << c.place;
    }
    EXPECT_EQ(entries(outer.path()) + entries(data), 1u);
}

// The world description; the tile table's blocked lists (record z is "tZ.pic" with colour z; 20 blocks
// moving down only, 30 (1,1,1,1) up only, 40 nothing: a value must equal its direction, 256 every
// direction); then short tile and object tables, whose missing items are left empty.
TEST(WorldTables, WorldDescriptionAndTheBlockedListsTheTileTableCompletes) {
    TempDir dir;
    write_file(dir.file("Home.txt"), "My World\r\nunused\r\n 3 \r\n 4 \r\n7 9\r\n\r\n\r\n\r\n5 6 7\r\nbm\r\n");
    auto s = state_in(dir.path());
    s->P1_S = "Home";
    load_world_description(*s);
    EXPECT_EQ(std::tuple(s->P2_S, s->P3_S, s->XX, s->YY, s->BM_S, s->RD_S),
              std::tuple("My World", "unused", 3, 4, "bm", " 5 6 7 "));
    std::string mem;
    for (int z = 1; z <= 256; ++z) {
        const char* blocks = z == 3    ? "1,0,0,0"
                             : z == 20 ? "0,0,3,0"
                             : z == 30 ? "1,1,1,1"
                             : z == 40 ? "2,0,0,0"
                                       : "0,0,0,0";
        mem += "t" + std::to_string(z) + ".pic," + (z == 256 ? "1,2,3,4" : blocks) + "," + std::to_string(z) + "\r\n";
    }
    write_file(dir.file("tlvx_w05.mem"), mem);
    load_tile_table(*s);
    EXPECT_EQ(std::tuple(s->CK_S(1), s->CK_S(2), s->CK_S(3), s->CK_S(4)),
              std::tuple("7 9 3 30 256 ", " 256 ", " 20 256 ", " 256 "));
    EXPECT_TRUE(in_list(s->CK_S(1), 9));
    EXPECT_FALSE(in_list(s->CK_S(1), 7));  // kept: the first number of an item has no blank before it
    EXPECT_EQ(std::tuple(s->M_S(1), s->M_S(256), s->M_TILE(200)), std::tuple("t1.pic", "t256.pic", 200));

    auto t = state_in(dir.path());
    write_file(dir.file("tlvx_w05.mem"), "a.pic\r\n1\r\n0,0,0,9\r\nb.pic,0,2,\r\n0\r\n8");
    write_file(dir.file("tlvx_w05.mom"), "h1,h2,h3,h4,24,0,1\r\nc1,c2\r\nc3\r\nc4,16\r\n4\r\n3\r\n,,,,,,\r\nx1,x2");
    load_tile_table(*t);
    load_object_table(*t);
    EXPECT_EQ(std::tuple(t->M_S(1), t->M_TILE(1), t->M_S(2), t->M_TILE(2), t->M_S(5)),
              std::tuple("a.pic", 9, "b.pic", 8, ""));
    EXPECT_EQ(std::tuple(t->CK_S(1), t->CK_S(2), t->CK_S(3)), std::tuple(" 1 ", " 2 ", " "));
    EXPECT_EQ(std::tuple(t->OBJ_S(1, 4), t->OBJ(1), t->OBJ_M(1), t->OBJ_S(2, 3), t->OBJ(2), t->OBJS(2), t->OBJ_M(2)),
              std::tuple("h4", 24, 1, "c3", 16, 4, 3));
    EXPECT_EQ(std::tuple(t->OBJ_S(4, 2), t->OBJ_S(4, 3), t->OBJ_M(255)), std::tuple("x2", "", 0));
}

}  // namespace
}  // namespace tlvx::test
