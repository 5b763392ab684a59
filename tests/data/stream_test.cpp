#include "data/stream.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

using test::catch_error;
using test::state_in;

TEST(StreamTable, FileNumbersThroughAStartUpLikeSequenceAndTheQuit) {
    test::TempDir dir;
    test::write_file(dir.file("tlvx_w05.pal"), "1,2,3\r\n");
    test::write_file(dir.file("Pndx_001.sav"), "Home\r\n 5 \r\n 5 \r\n 1 \r\n 5 \r\n 5 \r\nPndx\r\n");
    test::write_file(dir.file("Home.txt"), "Home World\r\n");
    test::write_file(dir.file("tlvx_w05.mem"), "g.pic,0,0,0,0,1\r\n");
    test::write_file(dir.file("tlvx_w05.mom"), "a,b,c,d,24,0,1\r\n");
    test::write_file(dir.file("tlvx_gr1.tmp"), test::layer_bytes(8, 8, [](int c, int r) { return static_cast<uint8_t>(c + r); }));
    auto s = state_in(dir.path());

    stream_reopen(*s, 7, ".\\tlvx_w05.pal", FileMode::TextInput);
    EXPECT_EQ(stream_number(*s, 7), 1);
    stream_close(*s, 7);
    EXPECT_EQ(stream_number(*s, 7), 1);  // a close leaves the number
    EXPECT_FALSE(s->files.is_open(1));

    load_save_file(*s);
    EXPECT_EQ(stream_number(*s, 0), 1);
    load_world_description(*s);  // reopening slot 0 after the close closes nothing
    EXPECT_EQ(stream_number(*s, 0), 1);
    load_tile_table(*s);
    EXPECT_EQ(stream_number(*s, 6), 1);
    load_object_table(*s);
    EXPECT_EQ(stream_number(*s, 0), 1);
    EXPECT_EQ(s->files.open_count(), 0);

    open_layer_files(*s);
    for (int32_t slot = 1; slot <= 5; ++slot) EXPECT_EQ(stream_number(*s, slot), slot);
    EXPECT_EQ(s->files.open_count(), 5);
    EXPECT_EQ(s->files.get(2, "test").name, "tlvx_gr2.tmp");
    EXPECT_EQ(cell_read(*s, kGroundFile, 3, 4), 7);

    // Quit: slot 0 still holds number 1, now the ground layer, which closes.
    cell_write(*s, kCreatureFile, 2, 2, 9);
    s->files.put(6, open_file("spare", dir.file("spare"), FileMode::Binary));  // stays open
    write_save_file(*s);
    EXPECT_EQ(stream_number(*s, 0), 1);
    EXPECT_FALSE(s->files.is_open(1));
    for (int32_t n = 2; n <= 6; ++n) EXPECT_TRUE(s->files.is_open(n)) << n;
    EXPECT_EQ(catch_error([&] { cell_read(*s, kGroundFile, 3, 4); }).number, 1);
    EXPECT_EQ(cell_read(*s, kCreatureFile, 2, 2), 9);
    EXPECT_TRUE(test::file_exists(dir.file("Pndx_001.sav")));
}

TEST(StreamTable, ReopenClosesWhateverHoldsTheSlotsNumber) {
    test::TempDir dir;
    test::write_file(dir.file("a.txt"), "a");
    auto s = state_in(dir.path());

    stream_reopen(*s, 3, "one.bin", FileMode::Binary);
    EXPECT_EQ(stream_number(*s, 3), 1);
    stream_reopen(*s, 4, "two.bin", FileMode::Binary);  // never opened: closes nothing
    EXPECT_EQ(stream_number(*s, 4), 2);
    EXPECT_TRUE(s->files.is_open(1));

    stream_close(*s, 3);
    stream_reopen(*s, 5, "three.bin", FileMode::Binary);  // takes the freed number 1
    EXPECT_EQ(stream_number(*s, 5), 1);
    stream_reopen(*s, 3, "a.txt", FileMode::TextInput);  // slot 3 holds 1: closes slot 5's file
    EXPECT_EQ(stream_number(*s, 3), 1);
    EXPECT_EQ(s->files.get(1, "test").name, "a.txt");
    EXPECT_EQ(s->files.open_count(), 2);

    stream_close(*s, 3);
    stream_close(*s, 3);  // nothing open under the number: nothing happens
    stream_close(*s, 200);
    EXPECT_EQ(s->files.open_count(), 1);
    EXPECT_EQ(catch_error([&] { stream_close(*s, 256); }).number, 6);
}

TEST(StreamTable, OpenFailures) {
    test::TempDir dir;
    auto s = state_in(dir.path());
    auto c = catch_error([&] { stream_reopen(*s, 0, "missing.txt", FileMode::TextInput); });
    EXPECT_EQ(c.number, 2);
    EXPECT_EQ(c.place, "while opening \"missing.txt\"");
    EXPECT_EQ(c.report, "\nAborting due to runtime error 2 (file not found) while opening \"missing.txt\"\n\n");

    EXPECT_EQ(catch_error([&] { stream_reopen(*s, 0, "no/dir.bin", FileMode::Binary); }).number, 2);
    EXPECT_EQ(catch_error([&] { stream_reopen(*s, 0, ".", FileMode::Binary); }).number, 2);
    EXPECT_EQ(catch_error([&] { stream_reopen(*s, 0, ".", FileMode::TextInput); }).number, 2);
    EXPECT_EQ(catch_error([&] { stream_reopen(*s, 0, std::string("x\0y", 3), FileMode::Binary); }).number, 2);
    EXPECT_FALSE(test::file_exists(dir.file("x")));
    EXPECT_EQ(s->files.open_count(), 0);
}

TEST(StreamTable, UncommittedTextOutputIsDiscarded) {
    test::TempDir dir;
    test::write_file(dir.file("keep.txt"), "old");
    {
        auto s = state_in(dir.path());
        stream_reopen(*s, 0, "keep.txt", FileMode::TextOutput);
        write_line_string(*s, stream_number(*s, 0), "new");
    }  // the program ended without closing it
    EXPECT_EQ(test::read_file(dir.file("keep.txt")), "old");
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    EXPECT_EQ(n, 1u);
}

TEST(StreamTable, ResolvePath) {
    State s;
    s.data_dir = "/data";
    EXPECT_EQ(resolve_path(s, "tlvx_w05.mem"), "/data/tlvx_w05.mem");
    EXPECT_EQ(resolve_path(s, ".\\tlvx_w05.pal"), "/data/tlvx_w05.pal");
    EXPECT_EQ(resolve_path(s, "./x.pic"), "/data/x.pic");
    EXPECT_EQ(resolve_path(s, "pics\\a.pic"), "/data/pics/a.pic");
}

}  // namespace
}  // namespace tlvx
