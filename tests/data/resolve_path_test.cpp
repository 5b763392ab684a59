#include <gtest/gtest.h>

#include "base/state.hpp"
#include "data/stream.hpp"

namespace tlvx::test {
namespace {

// Data directory, a slash, the name with backslashes as slashes and leading
// "./" or ".\" dropped; a reused buffer keeps nothing of a longer path before.
TEST(ResolvePath, JoinsTheDataDirectoryAndReusesTheBuffer) {
    State s;
    s.data_dir = "/data";
    EXPECT_EQ(resolve_path(s, "./.\\x.pic"), "/data/x.pic");
    EXPECT_EQ(resolve_path(s, "pics\\a.pic"), "/data/pics/a.pic");
    EXPECT_EQ(resolve_path(s, ".hidden"), "/data/.hidden");
    std::string path = "/a/much/longer/path/than/the/next/one/is";
    resolve_path_into(s, "b.pic", path);
    EXPECT_EQ(path, "/data/b.pic");
}

}  // namespace
}  // namespace tlvx::test
