#include <gtest/gtest.h>

#include <filesystem>

#include "tools/new_map.hpp"
#include "tools/render.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"

using namespace tlvx;
using namespace tlvx::tools;
using namespace tlvx::world;

namespace {

// Renders `region` of the world in `dir`, or the whole map.
test::RgbaPicture render(const std::string& dir, std::optional<CellRegion> region = {}, int32_t frame = 1) {
    render_world({.dir = dir, .out = dir + "/r.png", .region = region, .frame = frame});
    return test::read_png(dir + "/r.png");
}

// How many pixels of `part` differ from `whole` at offset (dx, dy).
int differ(const test::RgbaPicture& part, const test::RgbaPicture& whole, int dx, int dy) {
    int n = 0;
    for (int y = 0; y < part.h; ++y)
        for (int x = 0; x < part.w; ++x) n += !(part.at(x, y) == whole.at(dx + x, dy + y));
    return n;
}

// A fixture world with objects larger (40) and smaller (10) than a cell, layered with creatures.
void write_layered_world(const std::string& dir, std::function<uint8_t(int c, int r)> structures) {
    test::FixtureWorld w;
    w.ground = [](int c, int r) { return uint8_t(1 + (c + 2 * r) % 5); };
    for (int size : {40, 10}) {
        test::FixtureWorld::Obj o;
        o.size = size;
        for (int f = 0; f < 4; ++f) o.frames[f] = "ob" + std::to_string(size) + std::to_string(f + 1) + ".pic";
        w.objects.push_back(o);  // values 7 and 8
    }
    w.structures = structures;
    w.creatures = [](int c, int r) {
        return uint8_t(c == 10 && r == 8 ? 1 : (c == 12 && r == 9) || (c == 9 && r == 7) || (c == 8 && r == 9) ? 2 : 0);
    };
    w.write(dir);
}

}  // namespace

// The game's 7x7 view after a pass matches a render of the same cells pixel for pixel.
TEST(Render, RegionMatchesTheGamesView) {
    for (bool demo : {true, false}) {
        test::TempDir dir;
        if (demo) write_demo_world(dir.path(), false);
        else  // a big object under the creature beside it (7), a roof over one (5), never drawn (6), small (8)
            write_layered_world(dir.path(), [](int c, int r) {
                const int at = c * 100 + r;
                return uint8_t(at == 1109 ? 7 : at == 907 ? 5 : at == 809 ? 6 : at == 1010 ? 8 : 0);
            });
        test::StartedGame g(dir.path());
        State& s = *g.s;
        ASSERT_FALSE(run_pass(s));
        const test::RgbaPicture p = render(dir.path(), CellRegion{s.VX2 - 3, s.VY2 - 3, 7, 7}, s.GC);
        test::RgbaPicture view{168, 168, {}};
        for (int i = 0; i < 168 * 168; ++i) {
            const Rgb c = s.screen.palette[s.screen.at(i % 168, i / 168)];
            view.px.push_back({c.r, c.g, c.b, 255});
        }
        ASSERT_EQ(p.w * 1000 + p.h, 168168);
        EXPECT_EQ(differ(p, view, 0, 0), 0) << (demo ? "demo world" : "layered objects");
    }
}

// A region drawn alone matches the whole map: the windows (13 x 8 cells) and bands it is drawn in join
// without seams, and a big picture at (14, 9), where the second window and band start, reaches back
// over both edges.
TEST(Render, WindowsAndBandsJoinWithoutSeams) {
    test::TempDir layered;
    write_layered_world(layered.path(), [](int c, int r) { return uint8_t(c == 14 && r == 9 ? 7 : 0); });
    const test::RgbaPicture w = render(layered.path()), part = render(layered.path(), CellRegion{10, 5, 10, 7});
    ASSERT_EQ(part.w * 1000 + part.h, 240168);
    EXPECT_EQ(differ(part, w, 9 * 24, 4 * 24), 0);
    EXPECT_NE(w.at(13 * 24 - 4, 8 * 24 + 12), w.at(13 * 24 - 12, 8 * 24 + 12));  // the overhang left
    EXPECT_NE(w.at(13 * 24 + 12, 8 * 24 - 4), w.at(13 * 24 + 12, 8 * 24 - 12));  // and above
}

// Too large a picture is refused with a hint and nothing written; a region
// is drawn in the frame asked for; a cell that cannot be drawn is named.
TEST(Render, ToolRefusesOversizedPicturesAndNamesTheCellThatFails) {
    test::TempDir dir;
    new_map({.dir = dir.path(), .w = 2000, .h = 30, .fill = {}});
    auto render = [&](std::vector<std::string> more) {
        more.insert(more.begin(), {"render", dir.path(), dir.file("r.png")});
        return test::run_tool(more, {});
    };
    const test::ToolRun whole = render({});
    EXPECT_EQ(whole.status, 1);
    // mended: the part suggested lies around the start (1000, 15), not in the black corner.
    EXPECT_NE(whole.output.find("--region 800,1,400,30"), std::string::npos) << whole.output;
    EXPECT_NE(render({"--region", "3,2,1998,20"}).output.find("--region 3,2,400,20"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("r.png")));
    std::filesystem::remove(dir.file("hero_wk1.pcv"));
    ASSERT_EQ(render({"--region", "990,10,20,10", "--frame", "3"}).status, 0);
    const test::RgbaPicture p = test::read_png(dir.file("r.png"));
    EXPECT_EQ(p.w * 1000 + p.h, 480240);
    const std::string e = render({"--region", "990,10,20,10"}).output;
    EXPECT_TRUE(test::holds(e, {"cell (1000, 15)", "file not found"})) << e;
}
