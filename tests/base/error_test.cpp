#include "base/error.hpp"

#include <gtest/gtest.h>

#include "base/checked.hpp"
#include "base/files.hpp"
#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

TEST(CheckedTable, IndexOutsideTheBoundsIsError6NamingTableAndIndex) {
    Table<int, -3, 3> t("GR");
    t(-3) = 1, t(3) = 2;
    EXPECT_EQ(t(-3) + t(3), 3);
    for (int64_t bad : {int64_t{-4}, int64_t{4}, int64_t{1} << 40}) {
        const Caught c = catch_error([&] { (void)t(bad); });
        EXPECT_EQ(std::pair(c.number, c.place),
                  std::pair(int32_t{ERR_OUT_OF_BOUNDS}, "indexing GR with " + std::to_string(bad)));
    }
}

// mended: a name holding a NUL byte would open the shorter name before it;
// it is refused like a name that cannot be opened, in every mode.
TEST(OpenFile, NameWithANulByteIsFileNotFoundAndCreatesNothing) {
    TempDir dir;
    write_file(dir.path() + "/a", "kept");
    const std::string name("a\0b", 3);
    for (FileMode mode : {FileMode::TextInput, FileMode::TextOutput, FileMode::Binary}) {
        EXPECT_EQ(catch_error([&] { (void)open_file(name, dir.path() + "/" + name, mode); }).number, ERR_FILE_NOT_FOUND)
            << static_cast<int>(mode);
    }
    EXPECT_EQ(read_file(dir.path() + "/a"), "kept");
    EXPECT_EQ(entries(dir.path()), 1u);
}

}  // namespace
}  // namespace tlvx::test
