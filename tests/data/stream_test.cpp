#include "data/stream.hpp"

#include <gtest/gtest.h>

#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/world_files.hpp"

namespace tlvx::test {
namespace {

// Each loader reopens and closes slot 0 or 6, so each takes file number 1; the
// layer files then hold 1 to 5, and the quit-time save on slot 0 closes number 1.
TEST(StreamTable, FileNumbersThroughTheStartUpAndTheQuit) {
    TempDir dir;
    write_file(dir.file("Pndx_001.sav"), "Home\r\n 5 \r\n 5 \r\n 1 \r\n 5 \r\n 5 \r\nPndx\r\n");
    write_file(dir.file("Home.txt"), "Home World\r\n");
    write_file(dir.file("tlvx_w05.mem"), "g.pic,0,0,0,0,1\r\n");
    write_file(dir.file("tlvx_w05.mom"), "a,b,c,d,24,0,1\r\n");
    write_file(dir.file("tlvx_gr1.tmp"), layer_bytes(8, 8, [](int c, int r) { return static_cast<uint8_t>(c + r); }));
    auto s = state_in(dir.path());
    load_save_file(*s);
    load_world_description(*s);
    load_tile_table(*s);
    load_object_table(*s);
    EXPECT_EQ(std::tuple(stream_number(*s, 0), stream_number(*s, 6), s->files.open_count()), std::tuple(1, 1, 0));
    open_layer_files(*s);
    for (int32_t slot = 1; slot <= 5; ++slot) EXPECT_EQ(stream_number(*s, slot), slot);
    EXPECT_EQ(cell_read(*s, kGroundFile, 3, 4), 7);
    write_save_file(*s);
    EXPECT_FALSE(s->files.is_open(kGroundFile));
    EXPECT_EQ(s->files.open_count(), 4);
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

}  // namespace
}  // namespace tlvx::test
