#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "display/image.hpp"
#include "display/view.hpp"
#include "tools/tools_helpers.hpp"
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"

using namespace tlvx;
using namespace tlvx::world;

// `demo --force` rewrites a changed world whole; the demo world has no
// finding (so no road cell where the centre clamp never leaves the player)
// and is drawn in its own palette. Every picture is 24 by 24 (an
// object placeholder 16 by 16, its own mask) and avoids the entries the
// gradient overwrites; object masks are exact (0 or 255, and the picture is 0
// where the mask keeps the ground). (Walking it to
// the road and following it is the golden replay demo_world.)
TEST(DemoWorld, ForceRewritesItWholeAndItsPicturesAreTileSizedWithExactMasks) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    const std::string palette = test::read_file(dir.file("tlvx_w05.pal"));
    test::write_file(dir.file("tlvx_w05.pal"), "changed");
    ASSERT_EQ(test::run_tool({"demo", dir.path(), "--force"}, {}).status, 0);
    EXPECT_EQ(test::read_file(dir.file("tlvx_w05.pal")), palette);
    const WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty() && info.notes.empty()) << format_info(info);

    test::StartedGame g(dir.path());
    State& s = *g.s;
    ASSERT_FALSE(run_pass(s));
    EXPECT_EQ(s.screen.palette, demo_screen_palette());  // BMP pictures carry this table: drawing changes no colour
    auto load = [&](const std::string& name, int side) {
        load_image(s, name);
        EXPECT_EQ(s.SCN[0] | s.SCN[1] << 8 | s.SCN[2] << 16 | s.SCN[3] << 24, (side * 8 + 1) | side << 16) << name;
        return std::vector<uint8_t>(s.SCN.begin() + 4, s.SCN.begin() + 4 + side * side);
    };
    for (int z = 1; z <= 255; ++z)
        for (int f = 0; f <= 4; ++f) {
            const std::string& name = f ? s.OBJ_S(z, f) : s.M_S(z);
            if (name.empty()) continue;
            // An object placeholder is its own mask: a plate without a pixel
            // of index 0, so "and" then "or" leaves exactly its pixels.
            const bool plate = f && mask_name(name) == name;
            const int side = plate ? kPlaceholderObjectSide : kTile;
            EXPECT_EQ(f ? s.OBJ(z) : kTile, side) << name;
            const auto pic = load(name, side);
            const auto mask = f && !plate ? load(mask_name(name), side) : std::vector<uint8_t>(pic.size(), 0);
            for (size_t i = 0; i < pic.size(); ++i) {
                ASSERT_TRUE(pic[i] < 223 || pic[i] > 238) << name << " " << int(pic[i]);
                ASSERT_TRUE(mask[i] == 0 || (mask[i] == 255 && pic[i] == 0)) << name << " " << i;
                ASSERT_TRUE(!plate || pic[i] != 0) << name << " " << i;
            }
        }
}

// The README's table of presses ("| `*` 2, 3 times | a fox, a slime |")
// against the demo world's object table as `demo` writes it: each count n
// names what value n shows, its pictures are that object's, a `*` row names
// creatures that wander and a `]` row things that stay. The first press is
// value 1, the player's own figure, as the sentence above the table says.
TEST(DemoWorld, TheReadmesTableOfPressesIsTheObjectTables) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::StartedGame g(dir.path());
    const State& s = *g.s;
    std::istringstream readme(test::read_file(std::string(TLVX_TESTS_DIR) + "/../README.md"));
    bool first_press = false;
    int rows = 0;
    for (std::string line; std::getline(readme, line);) {
        first_press |= line.find("The first `*` or `]` press puts value 1 there, a copy of your own figure") == 0;
        if (line.rfind("| `*` ", 0) != 0 && line.rfind("| `]` ", 0) != 0) continue;
        ++rows;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(\| `(.)` (.+) times \| (.+) \|)"))) << line;
        const bool creatures = m[1] == "*";
        std::istringstream cs(m[2].str()), ns(m[3].str());
        std::string count, name;
        while (std::getline(cs, count, ',')) {
            ASSERT_TRUE(std::getline(ns, name, ',')) << line;
            if (name[0] == ' ') name.erase(0, 1);
            const int v = std::stoi(count);
            ASSERT_TRUE(v >= 2 && v <= 255) << line;
            const DemoObjectName o = demo_object_name(v);
            EXPECT_EQ(o.what, name) << line;
            EXPECT_FALSE(o.picture.empty()) << line;
            EXPECT_EQ(s.OBJ_S(v, 1).rfind(o.picture, 0), 0u) << line << ": " << s.OBJ_S(v, 1);
            EXPECT_EQ(s.OBJS(v) > 0, creatures) << line;
        }
        EXPECT_FALSE(std::getline(ns, name, ',')) << line;
    }
    EXPECT_GE(rows, 2);
    EXPECT_TRUE(first_press);
    EXPECT_EQ(demo_object_name(1).what, "you");
    EXPECT_EQ(s.OBJ_S(1, 1).rfind(demo_object_name(1).picture, 0), 0u);
}
