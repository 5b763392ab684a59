#include "data/layer.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "data/data_helpers.hpp"
#include "data/stream.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

using test::catch_error;
using test::state_in;

std::string header(int wx, int wy) {
    return {static_cast<char>(wx >> 8), static_cast<char>(wx & 255), static_cast<char>(wy >> 8),
            static_cast<char>(wy & 255)};
}

uintmax_t size_of(const std::string& path) { return std::filesystem::file_size(path); }

int byte_at(const std::string& path, int64_t position) {
    int fd = ::open(path.c_str(), O_RDONLY);
    unsigned char b = 0;
    ssize_t n = ::pread(fd, &b, 1, static_cast<off_t>(position - 1));
    ::close(fd);
    return n == 1 ? b : -1;
}

TEST(LayerFiles, HeaderGivesTheMapSizeAndCellPositions) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_gr1.tmp"), header(64, 32));
    auto s = state_in(dir.path());
    open_layer_files(*s);
    EXPECT_EQ(s->WX, 64);
    EXPECT_EQ(s->WY, 32);
    EXPECT_EQ(cell_position(*s, 1, 1), 69);
    EXPECT_EQ(cell_position(*s, 64, 32), 2116);
    for (int k = 2; k <= 5; ++k) EXPECT_EQ(size_of(dir.file("tlvx_gr" + std::to_string(k) + ".tmp")), 0u);

    cell_write(*s, kGroundFile, 64, 32, 300);
    EXPECT_EQ(size_of(dir.file("tlvx_gr1.tmp")), 2116u);
    EXPECT_EQ(byte_at(dir.file("tlvx_gr1.tmp"), 2116), 44);  // 300 mod 256
    EXPECT_EQ(cell_read(*s, kGroundFile, 64, 32), 44);
    cell_write(*s, kGroundFile, 63, 32, -1);
    EXPECT_EQ(cell_read(*s, kGroundFile, 63, 32), 255);
    EXPECT_EQ(cell_read(*s, kGroundFile, 1, 1), 0);
}

TEST(LayerFiles, ShortAndMissingHeaders) {
    test::TempDir dir;
    auto s = state_in(dir.path());
    open_layer_files(*s);  // every file missing: created empty
    EXPECT_EQ(s->WX, 0);
    EXPECT_EQ(s->WY, 0);
    EXPECT_EQ(size_of(dir.file("tlvx_gr1.tmp")), 0u);

    test::TempDir dir2;
    test::write_file(dir2.file("tlvx_gr1.tmp"), "\x01\x02\x03");
    auto s2 = state_in(dir2.path());
    open_layer_files(*s2);
    EXPECT_EQ(s2->WX, 258);
    EXPECT_EQ(s2->WY, 768);  // the missing fourth byte reads 0
}

TEST(LayerFiles, ReadsBeyondTheEndGiveZeroAndWritesGrowTheFile) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_gr1.tmp"), header(10, 10));
    test::write_file(dir.file("tlvx_gr2.tmp"), header(10, 10) + "\x05");
    auto s = state_in(dir.path());
    open_layer_files(*s);
    const std::string creatures = dir.file("tlvx_gr2.tmp");
    EXPECT_EQ(cell_read(*s, kCreatureFile, 5, 5), 0);
    EXPECT_EQ(size_of(creatures), 5u);  // reading never grows the file

    cell_write(*s, kCreatureFile, 5, 5, 7);  // position 59
    EXPECT_EQ(size_of(creatures), 59u);
    EXPECT_EQ(byte_at(creatures, 59), 7);  // in the file at once, nothing held back
    EXPECT_EQ(cell_read(*s, kCreatureFile, 4, 5), 0);
    std::string bytes = test::read_file(creatures);
    EXPECT_EQ(bytes.substr(5, 53), std::string(53, '\0'));
    EXPECT_EQ(bytes[4], '\x05');

    // Nothing is cached: a change made behind the program's back is read.
    int fd = ::open(creatures.c_str(), O_WRONLY);
    const char nine = 9;
    ASSERT_EQ(::pwrite(fd, &nine, 1, 58), 1);
    ::close(fd);
    EXPECT_EQ(cell_read(*s, kCreatureFile, 5, 5), 9);
}

TEST(LayerFiles, FarCellsOfLargeMaps) {
    for (int side : {40000, 65535}) {
        test::TempDir dir;
        test::write_file(dir.file("tlvx_gr1.tmp"), header(side, side));
        auto s = state_in(dir.path());
        open_layer_files(*s);
        const int64_t last = int64_t{side} + int64_t{side} * side + 4;
        EXPECT_EQ(cell_position(*s, side, side), last);
        cell_write(*s, kGroundFile, side, side, 0xAB);
        EXPECT_EQ(size_of(dir.file("tlvx_gr1.tmp")), static_cast<uintmax_t>(last)) << side;
        EXPECT_EQ(byte_at(dir.file("tlvx_gr1.tmp"), last), 0xAB) << side;
        EXPECT_EQ(cell_read(*s, kGroundFile, side, side), 0xAB) << side;
        EXPECT_EQ(cell_read(*s, kGroundFile, side - 1, side), 0) << side;
    }
}

TEST(LayerFiles, PositionZeroNegativePositionsAndClosedFiles) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_gr1.tmp"), header(64, 8) + "\x11\x22");
    auto s = state_in(dir.path());
    open_layer_files(*s);
    const std::string ground = dir.file("tlvx_gr1.tmp");

    // Position 0 is no cell: it reads 0 and a write leaves the file as it was.
    ASSERT_EQ(cell_position(*s, -4, 0), 0);
    ASSERT_EQ(cell_position(*s, 60, -1), 0);
    EXPECT_EQ(cell_read(*s, kGroundFile, 1, 0), 0x11);
    EXPECT_EQ(cell_read(*s, kGroundFile, 2, 0), 0x22);
    EXPECT_EQ(cell_read(*s, kGroundFile, -4, 0), 0);
    cell_write(*s, kGroundFile, 60, -1, 99);
    EXPECT_EQ(test::read_file(ground), header(64, 8) + "\x11\x22");

    auto c = catch_error([&] { cell_read(*s, kGroundFile, 1, -1); });
    EXPECT_EQ(c.number, 1);
    EXPECT_NE(c.place.find("\"tlvx_gr1.tmp\""), std::string::npos) << c.place;
    EXPECT_NE(c.report.find("runtime error 1 (illegal function call)"), std::string::npos);
    EXPECT_EQ(catch_error([&] { cell_write(*s, kGroundFile, -70, 0, 1); }).number, 1);
    EXPECT_EQ(test::read_file(ground), header(64, 8) + "\x11\x22");

    c = catch_error([&] { cell_read(*s, 9, 1, 1); });
    EXPECT_EQ(c.number, 1);
    EXPECT_NE(c.place.find("#9"), std::string::npos) << c.place;
    EXPECT_EQ(catch_error([&] { cell_write(*s, 0, 1, 1, 1); }).number, 1);
}

// Runs as an unprivileged user where the tests run as root, since root may
// open any file for writing.
TEST(LayerFiles, ReadOnlyFileReadsAndFailsOnTheFirstWrite) {
    test::TempDir dir;
    std::string cells = header(8, 8);
    cells += std::string(8 * 9, '\0');
    cells[4 + 8 * 2 + 2] = 42;  // cell (3, 2)
    for (int k = 1; k <= 5; ++k) {
        std::string path = dir.file("tlvx_gr" + std::to_string(k) + ".tmp");
        test::write_file(path, cells);
        ::chmod(path.c_str(), 0444);
    }
    ::chmod(dir.path().c_str(), 0755);

    int rc = test::in_child([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 77;
        auto s = state_in(dir.path());
        open_layer_files(*s);
        if (s->WX != 8 || s->WY != 8) return 10;
        if (s->files.get(kCreatureFile, "test").writable) return 11;
        if (cell_read(*s, kCreatureFile, 3, 2) != 42) return 12;
        auto c = catch_error([&] { cell_write(*s, kCreatureFile, 3, 2, 1); });
        if (c.number != 3) return 13;
        if (c.place.find("\"tlvx_gr2.tmp\"") == std::string::npos) return 14;
        if (cell_read(*s, kCreatureFile, 3, 2) != 42) return 15;
        return 0;
    });
    if (rc == 77) GTEST_SKIP() << "cannot drop root privileges here";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::read_file(dir.file("tlvx_gr2.tmp")), cells);
}

}  // namespace
}  // namespace tlvx
