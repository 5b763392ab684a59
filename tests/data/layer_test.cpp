#include "data/layer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "data/data_helpers.hpp"
#include "data/stream.hpp"

namespace tlvx::test {
namespace {

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

TEST(LayerFiles, FarCellOfALargeMapIsWrittenSparsely) {
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
}

TEST(StreamTable, ReopenClosesWhateverHoldsTheSlotsNumber) {
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
}

// Data directory, a slash, the name with backslashes as slashes and leading
// "./" or ".\" dropped; a reused buffer keeps nothing of a longer path before.
TEST(ResolvePath, JoinsTheDataDirectoryAndReusesTheBuffer) {
    auto s = state_in("/data");
    EXPECT_EQ(resolve_path(*s, "./.\\x.pic"), "/data/x.pic");
    EXPECT_EQ(resolve_path(*s, "pics\\a.pic"), "/data/pics/a.pic");
    EXPECT_EQ(resolve_path(*s, ".hidden"), "/data/.hidden");
    std::string path = "/a/much/longer/path/than/the/next/one/is";
    resolve_path_into(*s, "b.pic", path);
    EXPECT_EQ(path, "/data/b.pic");
}

}  // namespace
}  // namespace tlvx::test
