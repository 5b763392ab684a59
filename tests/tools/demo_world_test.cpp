#include <gtest/gtest.h>

#include "display/image.hpp"
#include "display/view.hpp"
#include "tools_helpers.hpp"
#include "world/demo_palette.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"

using namespace tlvx;
using namespace tlvx::tools;

// `demo --force` rewrites a changed world whole; the demo world has no
// finding and is drawn in its own palette. Every picture is 24 by 24 and
// avoids the entries the gradient overwrites; object masks are exact (0 or
// 255, and the picture is 0 where the mask keeps the ground). (Walking it to
// the road and following it is the golden replay demo_world.)
TEST(DemoWorld, ForceRewritesItWholeAndItsPicturesAreTileSizedWithExactMasks) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    const std::string palette = test::read_file(dir.file("tlvx_w05.pal"));
    test::write_file(dir.file("tlvx_w05.pal"), "changed");
    ASSERT_EQ(test::run_tool("demo '" + dir.path() + "' --force").status, 0);
    EXPECT_EQ(test::read_file(dir.file("tlvx_w05.pal")), palette);
    const WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty() && info.notes.empty()) << format_info(info);

    test::StartedGame g(dir.path());
    State& s = *g.s;
    ASSERT_FALSE(run_pass(s));
    EXPECT_EQ(s.screen.palette, demo_screen_palette());  // BMP pictures carry this table: drawing changes no colour
    auto load = [&](const std::string& name) {
        load_image(s, name);
        EXPECT_EQ(s.SCN[0] | s.SCN[1] << 8 | s.SCN[2] << 16 | s.SCN[3] << 24, (24 * 8 + 1) | 24 << 16) << name;
        return std::vector<uint8_t>(s.SCN.begin() + 4, s.SCN.begin() + 4 + 576);
    };
    for (int z = 1; z <= 255; ++z)
        for (int f = 0; f <= 4; ++f) {
            const std::string& name = f ? s.OBJ_S(z, f) : s.M_S(z);
            if (name.empty()) continue;
            const auto pic = load(name), mask = f ? load(mask_name(name)) : std::vector<uint8_t>(576, 0);
            for (size_t i = 0; i < 576; ++i) {
                ASSERT_TRUE(pic[i] < 223 || pic[i] > 238) << name << " " << int(pic[i]);
                ASSERT_TRUE(mask[i] == 0 || (mask[i] == 255 && pic[i] == 0)) << name << " " << i;
            }
        }
}
