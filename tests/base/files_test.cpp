#include "base/files.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

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
