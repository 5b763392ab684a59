#include <gtest/gtest.h>

#include <algorithm>

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
