// The data layer: text records, layer files and the stream table, the save file and the world's tables.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <utility>
#include <vector>

#include "base/files.hpp"
#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

// Reads the items of `text` in turn: "$x" expects the string x, anything else that number.
void expect_items(const std::string& text, const std::vector<std::string>& items) {
    SCOPED_TRACE(text.substr(0, 40));
    size_t pos = 0;
    for (const std::string& item : items) {
        TextReader r(text, pos);
        if (item[0] == '$') EXPECT_EQ(r.read_string(), item.substr(1));
        else EXPECT_EQ(r.read_number(), std::stoi(item));
    }
}

TEST(TextRecord, TokensSeparatorsQuotesLineEndsAndLengths) {
    const std::string n66(66, '0'), s4096(4096, 'a');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"Pndx, 12 ,-3\r\n", {"$Pndx", "12", "-3"}},
        {"  hello world  ,x\r\n", {"$hello world  ", "$x"}},
        {"\"ab\"cd\r\n12 34\r\n", {"$ab", "$cd", "12", "34"}},
        {",Ada\r\n 7 \r\n", {"$", "$Ada", "7"}},
        {"one\rtwo\nthree\r\nfour", {"$one", "$two", "$three", "$four"}},
        {"a\"b\",c", {"$a\"b\"", "$c"}},
        {"\"first\nsecond, third\",next", {"$first\nsecond, third", "$next"}},
        {"\"open to the end", {"$open to the end", "$"}},
        {"x", {"$x", "$", "0", "$", "0", "$"}},  // past the end, again and again
        {n66 + "12,8", {"1", "2", "8"}},         // 67 characters at most
        {"\"" + s4096 + "\",next", {"$" + s4096, "$next"}},
        {s4096 + "bcd,next", {"$" + s4096, "$bcd", "$next"}},  // 4096 characters at most
        {readable_text("\"a\r\nb\",5\r\n\x1a"
                       "9,9\r\n"),
         {"$a\nb", "5", "0", "$"}},  // a file's text: CR LF is LF, byte 26 ends it
    };
    for (const auto& [text, items] : cases) expect_items(text, items);
    EXPECT_EQ(readable_text("\r\r\n\n\r"), "\r\n\n\r");
}

TEST(TextRecord, NumberFormsRoundingAndSaturation) {
    // Rounding half to even, exponents, the &H/&O/&B forms (&H1D is no exponent), junk after a
    // number; mended: past 32 bits a number saturates, &H of up to 32 bits is a bit pattern, inf and nan read 0.
    const char* cases[] = {"2.5",         "2",           "3.5",        "4",          "-2.5",          "-2",
                           "1D2",         "100",         "&hff",       "255",        "&B101",         "5",
                           "&b",          "0",           "&O17",       "15",         "&17",           "15",
                           "12abc",       "12",          "abc",        "0",          "&H1D",          "29",
                           ".5e1",        "5",           "7e",         "7",          "- 5",           "0",
                           "inf",         "0",           "nan",        "0",          "2147483648",    "2147483647",
                           "-1e99",       "-2147483648", "1e999",      "2147483647", "-2147483648.5", "-2147483648",
                           "&HFFFFFFFFF", "2147483647",  "&HFFFFFFFF", "-1"};  // a text, then the number it reads as
    for (size_t i = 0; i < std::size(cases); i += 2) expect_items(cases[i], {cases[i + 1]});
}

// A layer file header for a w by h map.
std::string header(int w, int h) { return {char(w >> 8), char(w & 255), char(h >> 8), char(h & 255)}; }

std::unique_ptr<State> opened(const TempDir& dir, const std::string& ground) {
    write_file(dir.file("tlvx_gr1.tmp"), ground);
    auto s = state_in(dir.path());
    open_layer_files(*s);
    return s;
}

TEST(LayerFiles, HeaderCellPositionsReadsAndWrites) {
    TempDir dir;
    auto s = opened(dir, header(64, 32) + "\x05");
    EXPECT_EQ(std::tuple(s->WX, s->WY, cell_position(*s, 64, 32)), std::tuple(64, 32, 2116));
    EXPECT_EQ(cell_read(*s, kGroundFile, 64, 32), 0);
    EXPECT_EQ(read_file(dir.file("tlvx_gr1.tmp")).size(), 5u);  // reading past the end never grows it
    // Position 0 is no cell: it reads 0 and a write there does nothing.
    ASSERT_EQ(cell_position(*s, 60, -1), 0);
    EXPECT_EQ(std::pair(cell_read(*s, kGroundFile, 1, 0), cell_read(*s, kGroundFile, 60, -1)), std::pair(5, 0));
    cell_write(*s, kGroundFile, 60, -1, 99);
    cell_write(*s, kGroundFile, 64, 32, 300);
    cell_write(*s, kGroundFile, 63, 32, -1);
    EXPECT_EQ(read_file(dir.file("tlvx_gr1.tmp")).substr(4), "\x05" + std::string(2109, '\0') + "\xff\x2c");
    EXPECT_EQ(std::pair(cell_read(*s, kGroundFile, 63, 32), cell_read(*s, kGroundFile, 64, 32)), std::pair(255, 44));
    EXPECT_EQ(catch_error([&] { cell_read(*s, kGroundFile, 1, -1); }).number, 1);
    EXPECT_EQ(catch_error([&] { cell_write(*s, kGroundFile, -70, 0, 1); }).number, 1);
}

TEST(LayerFiles, FarCellOfALargeMapIsWrittenSparselyAndOneBeyond64BitsIsNone) {
    const int side = 65535;  // the last cell's position needs more than 32 bits
    TempDir dir;
    auto s = opened(dir, header(side, side));
    cell_write(*s, kGroundFile, side, side, 0xAB);
    EXPECT_EQ(std::pair(cell_read(*s, kGroundFile, side, side), cell_read(*s, kGroundFile, 1, side)),
              std::pair(0xAB, 0));
    struct stat st {};
    ASSERT_EQ(stat(dir.file("tlvx_gr1.tmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, int64_t{side} + int64_t{side} * side + 4);
    EXPECT_LT(st.st_blocks, 1024);  // not gigabytes of written zeros
    // The header holds sizes past one byte in both directions. An offset past 64 bits is no cell, and the
    // game's position of it is negative (runtime error 1), not a wrapped-around cell.
    int32_t wx = 0, wy = 0;
    layer_map_size(layer_header(65535, 258).data(), wx, wy);
    EXPECT_EQ(std::pair(wx, wy), std::pair(65535, 258));
    EXPECT_FALSE(layer_offset(65535, 1, INT64_MAX / 1000).has_value());
    EXPECT_FALSE(layer_offset(1, INT64_MAX - 2, 0).has_value());
    EXPECT_EQ(cell_position(*s, 1, INT64_MAX / 1000), -1);
    EXPECT_EQ(cell_position(*s, INT64_MAX - 4, 0), INT64_MAX);
    EXPECT_EQ(cell_position(*s, INT64_MAX - 3, 0), -1);
}

TEST(StreamTable, ReopenClosesWhateverHoldsTheSlotsNumberAndPathsJoinTheDataDirectory) {
    TempDir dir;
    write_file(dir.file("a.txt"), "a");
    auto s = state_in(dir.path());
    stream_reopen(*s, 3, "one.bin", FileMode::Binary);
    stream_reopen(*s, 4, "two.bin", FileMode::Binary);  // never opened: closes nothing
    EXPECT_EQ(std::pair(stream_number(*s, 3), stream_number(*s, 4)), std::pair(1, 2));
    stream_close(*s, 3);
    EXPECT_EQ(stream_number(*s, 3), 1);                   // a close leaves the number
    stream_reopen(*s, 5, "three.bin", FileMode::Binary);  // takes the freed number 1
    stream_reopen(*s, 3, "a.txt", FileMode::TextInput);   // slot 3 holds 1: closes slot 5's file
    EXPECT_EQ(std::pair(stream_number(*s, 5), stream_number(*s, 3)), std::pair(1, 1));
    EXPECT_EQ(s->files.open_count(), 2);
    EXPECT_EQ(catch_error([&] { stream_reopen(*s, 0, "no/dir.bin", FileMode::Binary); }).number, 2);
    EXPECT_EQ(catch_error([&] { stream_close(*s, 256); }).number, 6);
    // A path is the data directory, a slash, the name with backslashes as slashes and leading "./" or ".\"
    // dropped; a reused buffer keeps nothing of a longer path before.
    s->data_dir = "/data";
    EXPECT_EQ(resolve_path(*s, "./.\\x.pic"), "/data/x.pic");
    EXPECT_EQ(resolve_path(*s, "pics\\a.pic"), "/data/pics/a.pic");
    EXPECT_EQ(resolve_path(*s, ".hidden"), "/data/.hidden");
    std::string path = "/a/much/longer/path/than/the/next/one/is";
    resolve_path_into(*s, "b.pic", path);
    EXPECT_EQ(path, "/data/b.pic");
}

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
    // The second position pair wins and fields eight to ten read as stored (kept: a comma splits a bare
    // text); missing items read 0.
    write_file(dir.file("Pndx_001.sav"), "World\r\n1\r\n2\r\n3\r\n30\r\n40\r\nPndx\r\nx\r\ny, z\r\n");
    EXPECT_EQ(loaded(dir.path(), "Pndx"), std::tuple("World", 30, 40, 3, "Pndx", "x", "y", "z", 0, 0, 0, 0));
}

TEST(SaveFile, InterruptedWriteKeepsTheOldFileAndIsError3) {
    TempDir dir;
    write_file(dir.file("Ada_001.sav"), kOld);
    const int code = child_exit([&] {  // writing at most 16 bytes into any file
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? catch_error([&] { write_save_file(*filled(dir.path())); }).number
                                                    : 10;
    });
    EXPECT_EQ(code, 3);
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

// mended: a world the game cannot write is found before start-up opens it.
// Each fault is judged in a child without the rights that let root write any
// file (the answer comes back as its exit status). The folder, the structure
// layer, the save file and root's right to write them all are
// DiskFaults.AReadOnlyWorldIsRefusedAtStartInOneLineChangingNothing's; here the
// other two layers start-up writes, and a file it only reads.
TEST(ReadOnlyWorld, EachLayerTheGameWritesIsJudgedWithTheUsersRights) {
    TempDir dir;
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_w05.pal"}) write_file(dir.file(name), "x");
    write_file(dir.file("probe"), "");
    ::chmod(dir.file("probe").c_str(), 0444);
    // 0: writable, 1: read-only with the message, 2: another text; 3: the fault cannot be made.
    const auto judged = [&](const std::string& path, mode_t mode) {
        const mode_t old = path == dir.path() ? 0755 : 0644;
        ::chmod(path.c_str(), mode);
        const int code = child_exit([&] {
            if (!drop_file_mode_override(dir.file("probe")).empty()) return 3;
            const std::string p = read_only_world_problem(dir.path());
            return p.empty()                                                                                    ? 0
                   : p == "the world in \"" + dir.path() + "\" is read-only: copy it to a folder you can write" ? 1
                                                                                                                : 2;
        });
        ::chmod(path.c_str(), old);
        return code;
    };
    if (judged(dir.path(), 0755) == 3) GTEST_SKIP() << "cannot take away the right to write read-only files here";
    EXPECT_EQ(judged(dir.path(), 0755), 0);
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp"}) EXPECT_EQ(judged(dir.file(name), 0444), 1) << name;
    EXPECT_EQ(judged(dir.file("tlvx_w05.pal"), 0444), 0) << "a file the game only reads";
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
