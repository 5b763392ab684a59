#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tools/icon.hpp"
#include "tools_helpers.hpp"
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"

using namespace tlvx;
using namespace tlvx::tools;
using namespace tlvx::world;

// Each size holds the tile at the largest whole scale, centred: transparent outside it and in its
// corners, and each tile pixel a uniform block in the hero's colour where the hero is painted, else
// the grass tile's. The tool writes it as a PNG. (Its refusal of a bad size: a bad-input row.)
TEST(Icon, TileAtTheLargestWholeScaleCentredOnTransparency) {
    const auto palette = demo_screen_palette();
    const Picture grass = art_grass(1);
    const Canvas hero = art_hero(1);
    test::TempDir dir;
    for (int size : {24, 32, 48, 256}) {
        SCOPED_TRACE(size);
        const IconImage icon = make_icon(size);
        ASSERT_EQ(icon.rgba.size(), size_t(size) * size * 4);
        EXPECT_EQ(icon.scale, size / 24);
        const int off = (size - 24 * icon.scale) / 2;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = icon.pixel(x, y);
                const int tx = (x - off) / icon.scale, ty = (y - off) / icon.scale;
                const bool inside = x >= off && y >= off && tx < 24 && ty < 24;
                const bool clear = !inside || (tx % 23 == 0 && ty % 23 == 0);  // outside or in a corner
                ASSERT_EQ(p[3], clear ? 0 : 255) << x << "," << y;
                if (clear) continue;
                const Rgb want = palette[hero.painted(tx, ty) ? hero.at(tx, ty) : grass.at(tx, ty)];
                ASSERT_EQ((Rgb{p[0], p[1], p[2]}), want) << x << "," << y;
            }
        ASSERT_EQ(test::run_tool({"icon", "--size", std::to_string(size), dir.file("i.png")}, {}).status, 0);
        const auto png = test::read_png(dir.file("i.png"));
        ASSERT_EQ(png.w * 1000 + png.h, size * 1001);
        EXPECT_TRUE(std::equal(icon.rgba.begin(), icon.rgba.end(), reinterpret_cast<const uint8_t*>(png.px.data())));
    }
    for (int bad : {23, kIconMaxSize + 1}) EXPECT_THROW(make_icon(bad), ToolError) << bad;
}

// The site's icons in share/web are the tool's own: the home-screen icons of 192 and 512 pixels,
// and the favicon, an icon file whose one entry names the 48-pixel PNG that follows it (the largest
// one it may hold is 256, written as 0). With TLVX_WRITE_WEB_ICONS set, the tool writes them there
// first (HACKING.md, the web build).
TEST(Icon, TheSitesIconsAreTheToolsOwn) {
    const std::string web = std::string(TLVX_TESTS_DIR) + "/../share/web/";
    if (std::getenv("TLVX_WRITE_WEB_ICONS")) {
        for (const char* size : {"192", "512"})
            ASSERT_EQ(test::run_tool({"icon", "--size", size, web + "icon-" + size + ".png"}, {}).status, 0);
        ASSERT_EQ(test::run_tool({"icon", "--size", "48", web + "favicon.ico"}, {}).status, 0);
    }
    const auto same = [](const test::RgbaPicture& png, int size) {
        const IconImage icon = make_icon(size);
        return png.w == size && png.h == size &&
               std::equal(icon.rgba.begin(), icon.rgba.end(), reinterpret_cast<const uint8_t*>(png.px.data()));
    };
    for (int size : {192, 512})
        EXPECT_TRUE(same(test::read_png(web + "icon-" + std::to_string(size) + ".png"), size)) << size;

    const std::string ico = test::read_file(web + "favicon.ico");
    ASSERT_GT(ico.size(), 22u);
    const auto le32 = [](size_t v) {
        return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    };
    // An icon file of one image, 48 x 48 of one plane of 32 bits, that runs from the entry's end to the file's.
    EXPECT_EQ(ico.substr(0, 22),
              std::string("\0\0\1\0\1\0\x30\x30\0\0\1\0\x20\0", 14) + le32(ico.size() - 22) + le32(22));
    test::TempDir dir;
    test::write_file(dir.file("favicon.png"), ico.substr(22));
    EXPECT_TRUE(same(test::read_png(dir.file("favicon.png")), 48));
    // Larger than its directory can name, an icon file is refused and nothing written; 256 is written as 0.
    EXPECT_THROW(write_icon_ico(dir.file("big.ico"), kIcoMaxSize + 1), ToolError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.ico")));
    write_icon_ico(dir.file("max.ico"), kIcoMaxSize);
    EXPECT_EQ(test::read_file(dir.file("max.ico"))[6], 0);
}
