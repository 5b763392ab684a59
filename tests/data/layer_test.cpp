#include "data/layer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

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
    write_file(dir.file("short"), "\x01\x02\x03");  // a short header: missing bytes read 0
    s->MG_S = "short";
    open_layer_files(*s);
    EXPECT_EQ(std::pair(s->WX, s->WY), std::pair(258, 768));
}

TEST(LayerFiles, FarCellOfALargeMapIsWrittenSparsely) {
    for (int64_t side : {40000, 65535}) {  // 65535: the position needs more than 32 bits
        TempDir dir;
        auto s = opened(dir, header(static_cast<int>(side), static_cast<int>(side)));
        const int64_t last = side + side * side + 4;
        EXPECT_EQ(cell_position(*s, side, side), last);
        cell_write(*s, kGroundFile, side, side, 0xAB);
        EXPECT_EQ(std::pair(cell_read(*s, kGroundFile, side, side), cell_read(*s, kGroundFile, 1, side)),
                  std::pair(0xAB, 0));
        struct stat st {};
        ASSERT_EQ(stat(dir.file("tlvx_gr1.tmp").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, last);
        EXPECT_LT(st.st_blocks, 1024) << side;  // not gigabytes of written zeros
    }
}

// Without the capabilities that let root open any file for writing.
TEST(LayerFiles, ReadOnlyFileReadsAndFailsOnTheFirstWrite) {
    TempDir dir;
    std::string cells = header(8, 8) + std::string(8 * 9, '\0');
    cells[22] = 42;  // cell (3, 2), position 3 + 2 * 8 + 4
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp", "tlvx_gr4.tmp", "tlvx_gr5.tmp"}) {
        write_file(dir.file(name), cells);
        ::chmod(dir.file(name).c_str(), 0444);
    }
    const int rc = in_child([&] {
        const std::string why = drop_file_mode_override(dir.file("tlvx_gr2.tmp"));
        if (!why.empty()) {
            std::fprintf(stderr, "fault not made: %s\n", why.c_str());
            return 77;
        }
        auto s = state_in(dir.path());
        open_layer_files(*s);
        if (s->WX != 8 || cell_read(*s, kCreatureFile, 3, 2) != 42) return 10;
        Caught c = catch_error([&] { cell_write(*s, kCreatureFile, 3, 2, 1); });
        return c.number == 3 && c.place.find("\"tlvx_gr2.tmp\"") != std::string::npos ? 0 : 11;
    });
    ASSERT_NE(rc, 77) << "the file could not be made read-only for the child (its reason is above)";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_file(dir.file("tlvx_gr2.tmp")), cells);
}

}  // namespace
}  // namespace tlvx::test
