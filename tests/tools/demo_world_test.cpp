#include <gtest/gtest.h>

#include <set>

#include "data/text_record.hpp"
#include "display/image.hpp"
#include "display/view.hpp"
#include "tools/demo_palette.hpp"
#include "tools/demo_world.hpp"
#include "tools/info.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;

// The demo world has no finding, starts in its palette, and can be walked north to the road and followed.
TEST(DemoWorld, PassesInfoStartsAndFollowsTheRoad) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    const WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty() && info.notes.empty()) << format_info(info);

    test::StartedGame g(dir.path());
    State& s = *g.s;
    EXPECT_EQ(s.screen.palette, demo_screen_palette());  // BMP pictures carry this table: drawing changes no colour
    auto pass = [&](const char* key) {
        if (key) g.platform.pending.push_back(key);
        g.platform.now += 0.3;  // every timer ticks now and then: frames 1-4 are drawn, creatures move
        ASSERT_FALSE(run_pass(s));
    };
    pass(nullptr);
    std::set<uint8_t> colours;
    for (int i = 0; i < 168 * 168; ++i) colours.insert(s.screen.at(i % 168, i / 168));
    EXPECT_GT(colours.size(), 30u);
    EXPECT_EQ(s.CR(0, 0), object::Hero);
    for (int i = 0; i < 40 && !in_list(s.RD_S, s.GR(0, 0)); ++i) pass(i % 2 ? nullptr : "y");
    ASSERT_TRUE(in_list(s.RD_S, s.GR(0, 0)));
    const int32_t x = s.VX2, y = s.VY2;
    pass(".");
    for (int i = 0; i < 300; ++i) pass(nullptr);
    EXPECT_TRUE(s.VX2 != x || s.VY2 != y);
    EXPECT_TRUE(in_list(s.RD_S, s.GR(0, 0)));
    EXPECT_EQ(s.CR(0, 0), object::Hero);
}

// --force rewrites a changed world (the world's bytes feed the golden replay
// of the demo world; the refusal without --force is a bad-input row).
TEST(DemoWorld, ForceRewritesAChangedWorld) {
    test::TempDir a, b;
    write_demo_world(a.path(), false);
    write_demo_world(b.path(), false);
    test::write_file(a.file("tlvx_w05.pal"), "changed");
    ASSERT_EQ(test::run_tool("demo '" + a.path() + "' --force").status, 0);
    EXPECT_EQ(test::read_file(a.file("tlvx_w05.pal")), test::read_file(b.file("tlvx_w05.pal")));
}

// Every picture is 24 by 24 and avoids the entries the gradient overwrites; object masks are exact
// (0 or 255, and the picture is 0 where the mask keeps the ground).
TEST(DemoWorld, PicturesAreTileSizedWithExactMasks) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::StartedGame g(dir.path());
    State& s = *g.s;
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
