#include <gtest/gtest.h>

#include <filesystem>

#include "tools/demo_world.hpp"
#include "tools/new_map.hpp"
#include "tools/render.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;

namespace {

// The game's view (the 168x168 pixels of the 7x7 cells) after one pass,
// against a render of the same cells.
void expect_render_matches_view(const std::string& dir) {
    test::StartedGame g(dir);
    State& s = *g.s;
    ASSERT_FALSE(run_pass(s));
    RenderOptions o;
    o.dir = dir;
    o.out = dir + "/view.png";
    o.region = CellRegion{s.VX2 - 3, s.VY2 - 3, 7, 7};
    o.frame = s.GC;
    render_world(o);
    test::RgbPicture p = test::read_png_rgb(o.out);
    ASSERT_EQ(p.w, 168);
    ASSERT_EQ(p.h, 168);
    int differ = 0;
    for (int y = 0; y < 168; ++y)
        for (int x = 0; x < 168; ++x)
            if (!(p.at(x, y) == s.screen.palette[s.screen.at(x, y)]) && differ++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): index " << int(s.screen.at(x, y));
    EXPECT_EQ(differ, 0);
}

}  // namespace

TEST(Render, RegionMatchesTheGamesViewOfTheDemoWorld) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    expect_render_matches_view(dir.path());
}

TEST(Render, OverlappingAndLayeredObjectsMatchTheGame) {
    test::TempDir dir;
    test::FixtureWorld w;
    w.ground = [](int c, int r) { return static_cast<uint8_t>(1 + (c + 2 * r) % 5); };
    test::FixtureWorld::Obj big;
    for (int f = 0; f < 4; ++f) big.frames[f] = "bigo" + std::to_string(f + 1) + ".pic";
    big.size = 40;  // 8 pixels over every side of its cell
    test::FixtureWorld::Obj small = big;
    for (int f = 0; f < 4; ++f) small.frames[f] = "smal" + std::to_string(f + 1) + ".pic";
    small.size = 10;
    w.objects.push_back(big);    // 7
    w.objects.push_back(small);  // 8
    w.structures = [](int c, int r) {
        if (c == 11 && r == 9) return uint8_t{7};   // big, under the creature beside it
        if (c == 9 && r == 7) return uint8_t{5};    // roof over a creature
        if (c == 8 && r == 9) return uint8_t{6};    // never drawn
        if (c == 10 && r == 10) return uint8_t{8};  // small, centred
        return uint8_t{0};
    };
    w.creatures = [](int c, int r) {
        if (c == 10 && r == 8) return uint8_t{1};
        if ((c == 12 && r == 9) || (c == 9 && r == 7) || (c == 8 && r == 9)) return uint8_t{2};
        return uint8_t{0};
    };
    w.write(dir.path());
    expect_render_matches_view(dir.path());
}

TEST(Render, WindowsAndBandsJoinWithoutSeams) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    RenderOptions whole;
    whole.dir = dir.path();
    whole.out = dir.file("whole.png");
    render_world(whole);
    RenderOptions part = whole;
    part.out = dir.file("part.png");
    part.region = CellRegion{20, 11, 27, 19};
    render_world(part);
    test::RgbPicture a = test::read_png_rgb(whole.out), b = test::read_png_rgb(part.out);
    ASSERT_EQ(a.w, 80 * 24);
    ASSERT_EQ(a.h, 60 * 24);
    ASSERT_EQ(b.w, 27 * 24);
    int differ = 0;
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) differ += !(b.at(x, y) == a.at(19 * 24 + x, 10 * 24 + y));
    EXPECT_EQ(differ, 0);
}

TEST(Render, OverhangsReachAcrossWindowAndBandEdges) {
    // The whole map is drawn in windows of 13 x 8 cells; cell (14, 9) starts
    // both the second window and the second band, and its big picture reaches
    // back into cells drawn with the first ones.
    test::TempDir dir;
    test::FixtureWorld w;
    w.ground = [](int c, int r) { return static_cast<uint8_t>(1 + (c + 2 * r) % 5); };
    test::FixtureWorld::Obj big;
    for (int f = 0; f < 4; ++f) big.frames[f] = "bigo" + std::to_string(f + 1) + ".pic";
    big.size = 40;
    w.objects.push_back(big);  // 7
    w.structures = [](int c, int r) { return uint8_t(c == 14 && r == 9 ? 7 : 0); };
    w.write(dir.path());
    RenderOptions whole;
    whole.dir = dir.path();
    whole.out = dir.file("whole.png");
    render_world(whole);
    RenderOptions part = whole;
    part.out = dir.file("part.png");
    part.region = CellRegion{10, 5, 10, 7};  // one window, one band
    render_world(part);
    test::RgbPicture a = test::read_png_rgb(whole.out), b = test::read_png_rgb(part.out);
    int differ = 0;
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) differ += !(b.at(x, y) == a.at(9 * 24 + x, 4 * 24 + y));
    EXPECT_EQ(differ, 0);
    // The overhang into the cell on the left and the one above is there.
    EXPECT_NE(a.at(13 * 24 - 4, 8 * 24 + 12), a.at(13 * 24 - 12, 8 * 24 + 12));
    EXPECT_NE(a.at(13 * 24 + 12, 8 * 24 - 4), a.at(13 * 24 + 12, 8 * 24 - 12));
}

TEST(Render, RefusesOversizedPicturesAndNamesTheCellThatFails) {
    test::TempDir dir;
    NewMapOptions n;
    n.dir = dir.path();
    n.w = 2000;
    n.h = 30;
    new_map(n);
    RenderOptions o;
    o.dir = dir.path();
    o.out = dir.file("map.png");
    try {
        render_world(o);
        ADD_FAILURE() << "a 48000 pixel wide picture was not refused";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("--region"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(o.out));

    o.region = CellRegion{990, 10, 20, 10};
    render_world(o);
    EXPECT_EQ(test::read_png_rgb(o.out).w, 480);

    std::filesystem::remove(dir.file("hero_wk1.pcv"));
    try {
        render_world(o);
        ADD_FAILURE() << "a missing picture was not reported";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("cell (1000, 15)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("file not found"), std::string::npos) << e.what();
    }
}

TEST(Render, ToolWritesTheRequestedRegion) {
    test::TempDir dir;
    ASSERT_EQ(test::run_tool("demo '" + dir.path() + "'").status, 0);
    test::ToolRun r = test::run_tool("render '" + dir.path() + "' '" + dir.file("r.png") + "' --region 5,6,3,2 --frame 3");
    ASSERT_EQ(r.status, 0) << r.output;
    test::RgbPicture p = test::read_png_rgb(dir.file("r.png"));
    EXPECT_EQ(p.w, 72);
    EXPECT_EQ(p.h, 48);
    EXPECT_NE(test::run_tool("render '" + dir.path() + "' x.png --region 79,1,5,5").status, 0);
    EXPECT_NE(test::run_tool("render '" + dir.path() + "' x.png --frame 5").status, 0);
}
