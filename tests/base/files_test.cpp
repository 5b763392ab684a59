#include "base/files.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

// mended: a name holding a NUL byte would open the shorter name before it;
// it is refused like a name that cannot be opened, in every mode.
TEST(OpenFile, NameWithANulByteIsFileNotFoundAndCreatesNothing) {
    TempDir dir;
    write_file(dir.path() + "/a", "kept");
    const std::string name("a\0b", 3);
    for (FileMode mode : {FileMode::TextInput, FileMode::TextOutput, FileMode::Binary}) {
        try {
            (void)open_file(name, dir.path() + "/" + name, mode);
            ADD_FAILURE() << "opened in mode " << static_cast<int>(mode);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ERR_FILE_NOT_FOUND);
        }
    }
    EXPECT_EQ(read_file(dir.path() + "/a"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace tlvx::test
