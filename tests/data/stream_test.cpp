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

}  // namespace
}  // namespace tlvx::test
