#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <vector>

#include "platform/png/png_writer.hpp"
#include "support/test_support.hpp"

using namespace tlvx;

namespace {
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// Reads a PNG back through libpng as 8-bit RGB.
Picture read_png(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) throw std::runtime_error(img.message);
    img.format = PNG_FORMAT_RGB;
    Picture p;
    p.w = static_cast<int>(img.width);
    p.h = static_cast<int>(img.height);
    p.rgb.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, p.rgb.data(), 0, nullptr)) throw std::runtime_error(img.message);
    return p;
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}
}  // namespace

TEST(PngWriter, ScreenComesBackWithItsPaletteColours) {
    test::TempDir dir;
    Screen s;
    for (int i = 0; i < 256; ++i)
        s.palette[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                             static_cast<uint8_t>(i * 7)};
    s.palette[200] = {255, 0, 0};
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x) s.at(x, y) = static_cast<uint8_t>((x + y * 3) & 0xFF);
    s.at(319, 199) = 200;
    s.at(0, 0) = 200;

    write_screen_png(s, dir.file("shot.png"));
    Picture p = read_png(dir.file("shot.png"));
    ASSERT_EQ(p.w, 320);
    ASSERT_EQ(p.h, 200);
    EXPECT_EQ(p.at(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(p.at(319, 199), (Rgb{255, 0, 0}));
    for (int y : {1, 57, 198})
        for (int x : {0, 5, 160, 318}) EXPECT_EQ(p.at(x, y), s.palette[s.at(x, y)]) << x << "," << y;
    // Nothing but the finished picture is left in the directory.
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"shot.png"});
}

TEST(PngWriter, RowsStreamInOrderAndReplaceAnOldFile) {
    test::TempDir dir;
    test::write_file(dir.file("map.png"), "old");
    PngRowWriter out(dir.file("map.png"), 3, 2);
    const uint8_t top[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const uint8_t bottom[9] = {250, 251, 252, 0, 0, 0, 255, 255, 255};
    out.write_row(top);
    EXPECT_EQ(test::read_file(dir.file("map.png")), "old");  // untouched until finished
    out.write_row(bottom);
    out.finish();
    Picture p = read_png(dir.file("map.png"));
    ASSERT_EQ(p.w, 3);
    ASSERT_EQ(p.h, 2);
    EXPECT_EQ(p.at(1, 0), (Rgb{4, 5, 6}));
    EXPECT_EQ(p.at(0, 1), (Rgb{250, 251, 252}));
    EXPECT_EQ(p.at(2, 1), (Rgb{255, 255, 255}));
    EXPECT_THROW(out.write_row(top), PngError);
    EXPECT_THROW(out.finish(), PngError);
}

TEST(PngWriter, FailuresLeaveNoHalfWrittenFile) {
    test::TempDir dir;
    const uint8_t row[6] = {};
    // Too few rows: refused, the old file stays as it was, no temporary left.
    test::write_file(dir.file("keep.png"), "old");
    {
        PngRowWriter out(dir.file("keep.png"), 2, 3);
        out.write_row(row);
        try {
            out.finish();
            FAIL() << "an incomplete picture was finished";
        } catch (const PngError& e) {
            std::string msg = e.what();
            EXPECT_NE(msg.find("keep.png"), std::string::npos) << msg;
            EXPECT_NE(msg.find("only 1 of 3 rows"), std::string::npos) << msg;
        }
    }
    EXPECT_EQ(test::read_file(dir.file("keep.png")), "old");
    // Too many rows.
    {
        PngRowWriter out(dir.file("over.png"), 2, 1);
        out.write_row(row);
        EXPECT_THROW(out.write_row(row), PngError);
    }
    // Abandoned half way: nothing appears.
    {
        PngRowWriter out(dir.file("gone.png"), 2, 2);
        out.write_row(row);
    }
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"keep.png"});

    // A directory that does not exist, and a nonsense size.
    try {
        write_screen_png(Screen{}, dir.file("no/such/dir/shot.png"));
        FAIL() << "wrote into a missing directory";
    } catch (const PngError& e) {
        EXPECT_NE(std::string(e.what()).find("no/such/dir/shot.png"), std::string::npos) << e.what();
    }
    EXPECT_THROW(PngRowWriter(dir.file("zero.png"), 0, 5), PngError);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"keep.png"});
}
