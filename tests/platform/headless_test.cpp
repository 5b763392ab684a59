// The headless platform, the PNG writer and the window's scaling arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "formats/png_writer.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "platform/sdl/picture_rect.hpp"
#include "tools/tools_helpers.hpp"

using namespace tlvx;

// The clock reads its start, then start + step * pass, steady within a pass. Keys arrive for their
// pass in script order. In a pause a key already waiting ends it, or else the next scripted key
// comes at once; with none left the run stops.
TEST(Headless, KeysByPassAndPause) {
    HeadlessPlatform p(parse_key_script("3 b\n1 a\n3 c\n6 e\n5 d\n9 p\n9 y\n12 x\n15 z\n"), 1000, 0.01);
    EXPECT_EQ(p.time(), 1000.0);
    Screen screen;
    KeyQueue q;
    auto poll = [&](bool paused, int take = 9) {
        p.poll(screen, q, paused);
        std::string got;
        while (take-- > 0 && !q.empty()) got += q.pop();
        return got;
    };
    const std::tuple<int64_t, bool, int, std::string> steps[] = {
        // begin pass (0: none), paused, keys taken
        {0, false, 9, ""},   {1, false, 9, "a"},  {0, false, 9, ""},  {2, false, 9, ""},
        {3, false, 9, "bc"}, {7, false, 9, "de"}, {9, false, 1, "p"}, {0, true, 9, "y"},
        {0, true, 9, "x"},   {12, false, 9, ""},  {0, true, 9, "z"}};
    int64_t pass = 0;
    for (const auto& [begin, paused, take, keys] : steps) {
        if (begin) p.begin_pass(pass = begin);
        EXPECT_EQ(poll(paused, take), keys) << pass << (paused ? " paused" : "");
        EXPECT_DOUBLE_EQ(p.time(), 1000 + 0.01 * static_cast<double>(pass)) << pass;
    }
    EXPECT_EQ(p.keys_left(), 0u);
    EXPECT_THROW(poll(true), StopRun);
    EXPECT_EQ(poll(false), "");
    p.begin_pass(250);
    EXPECT_DOUBLE_EQ(p.time(), 1002.5);
}

// A failed or abandoned write leaves nothing behind. (The pixels written: the
// golden replays' screens, decoded, and Render.RegionMatchesTheGamesView.)
TEST(PngWriter, NoHalfWrittenFile) {
    test::TempDir dir;
    const uint8_t row[6] = {1, 2, 3, 4, 5, 6};
    test::write_file(dir.file("keep.png"), "old");
    {
        PngRowWriter out(dir.file("keep.png"), 2, 3);
        out.write_row(row);
        EXPECT_EQ(test::read_file(dir.file("keep.png")), "old");  // untouched until finished
        EXPECT_THROW(out.finish(), PngError) << "an incomplete picture was finished";
    }
    EXPECT_EQ(test::read_file(dir.file("keep.png")), "old");  // nor by an abandoned one
    EXPECT_THROW(write_screen_png(Screen{}, dir.file("no/such/dir/shot.png")), PngError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "only keep.png";
}

// A picture that does not fit on the disk (here: the file size limit) is named once with the
// system's reason (mended: the F12 note said "cannot write" twice), and leaves nothing behind.
TEST(PngWriter, FullDiskIsOneReasonAndNothingLeft) {
    test::TempDir dir;
    test::FixtureWorld world;
    world.patterned = true;  // a picture far larger than the limit
    world.write(dir.path());
    std::filesystem::create_directory(dir.file("shots"));
    const std::string shot = dir.file("shots/shot.png");
    const test::ToolRun r =
        test::run_tool({"run", "--data", dir.path(), "--passes", "2", "--screenshot", shot}, {.file_size_limit = 200});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.output, "tlvx-tool run: cannot write PNG \"" + shot + "\": " + std::strerror(EFBIG) + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("shots")));
}

// The largest whole factor that fits, letterboxed; smaller than one picture: shrunk, aspect kept.
TEST(WindowScaling, PictureRectAndStartScale) {
    EXPECT_EQ(picture_rect(960, 600, false), (PictureRect{0, 0, 960, 600}));
    EXPECT_EQ(picture_rect(1000, 700, false), (PictureRect{20, 50, 960, 600}));
    EXPECT_EQ(picture_rect(959, 600, false), (PictureRect{159, 100, 640, 400}));
    EXPECT_EQ(picture_rect(960, 600, true), (PictureRect{80, 0, 800, 600}));     // fills the height
    EXPECT_EQ(picture_rect(1280, 1024, true), (PictureRect{0, 32, 1280, 960}));  // fills the width
    EXPECT_EQ(sharp_factor(800, 600), 3);                                        // 960 x 600, then shrunk to 800 x 600
    EXPECT_EQ(sharp_factor(1280, 960), 5);                                       // 1600 x 1000
    EXPECT_EQ(picture_rect(160, 200, false), (PictureRect{0, 50, 160, 100}));
    for (auto [w, h, k] : {std::tuple{960, 600, 3}, {800, 560, 2}, {300, 150, 1}})
        EXPECT_EQ(start_scale(w, h), k) << w << "x" << h;
}
