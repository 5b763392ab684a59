#include "data/stream.hpp"

#include <gtest/gtest.h>

#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

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
