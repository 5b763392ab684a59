#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "data/text_record.hpp"
#include "display/view.hpp"
#include "tools/demo_palette.hpp"
#include "tools/demo_world.hpp"
#include "tools/info.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;
using test::read_file;

namespace {

std::map<std::string, std::string> folder_bytes(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files[e.path().filename().string()] = read_file(e.path().string());
    return files;
}

}  // namespace

TEST(DemoWorld, StartsWithoutAnyFindingAndShowsItsPalette) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    WorldInfo info = inspect_world(dir.path());
    EXPECT_TRUE(info.problems.empty()) << format_info(info);
    EXPECT_TRUE(info.notes.empty()) << format_info(info);

    test::StartedGame g(dir.path());
    State& s = *g.s;
    EXPECT_EQ(s.WX, 80);
    EXPECT_EQ(s.WY, 60);
    EXPECT_EQ(s.VX2, 38);
    EXPECT_EQ(s.VY2, 33);
    EXPECT_EQ(s.P2_S, "Oakvale");
    EXPECT_NE(s.I, 0);
    // BMP pictures carry this table, so drawing one changes no colour.
    EXPECT_EQ(s.screen.palette, demo_screen_palette());
    EXPECT_FALSE(run_pass(s));
    std::set<uint8_t> colours;
    for (int y = 0; y < 168; ++y)
        for (int x = 0; x < 168; ++x) colours.insert(s.screen.at(x, y));
    EXPECT_GT(colours.size(), 30u);
    EXPECT_EQ(s.CR(0, 0), object::Hero);
}

TEST(DemoWorld, CanBeWalkedToTheRoadAndFollowsIt) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::StartedGame g(dir.path());
    State& s = *g.s;
    auto pass = [&](const char* key) {
        if (key) g.platform.pending.push_back(key);
        g.platform.now += 0.3;  // every timer ticks now and then: frames 1-4 are drawn, creatures move
        ASSERT_FALSE(run_pass(s));
    };
    // North to the main road, two rows up from the start.
    for (int i = 0; i < 40 && !in_list(s.RD_S, s.GR(0, 0)); ++i) pass(i % 2 ? nullptr : "y");
    ASSERT_TRUE(in_list(s.RD_S, s.GR(0, 0)));
    const int32_t x = s.VX2, y = s.VY2;
    pass(".");
    for (int i = 0; i < 300; ++i) pass(nullptr);
    EXPECT_TRUE(s.VX2 != x || s.VY2 != y);
    EXPECT_TRUE(in_list(s.RD_S, s.GR(0, 0)));
    EXPECT_EQ(s.CR(0, 0), object::Hero);
}

TEST(DemoWorld, IsDeterministicAndRefusesToOverwriteUnlessForced) {
    test::TempDir a, b;
    int written = write_demo_world(a.path(), false);
    write_demo_world(b.path(), false);
    auto first = folder_bytes(a.path());
    EXPECT_EQ(first.size(), static_cast<size_t>(written));
    EXPECT_EQ(first, folder_bytes(b.path()));

    test::write_file(a.file("tlvx_w05.pal"), "changed");
    EXPECT_THROW(write_demo_world(a.path(), false), ToolError);
    EXPECT_EQ(read_file(a.file("tlvx_w05.pal")), "changed");
    write_demo_world(a.path(), true);
    EXPECT_EQ(folder_bytes(a.path()), first);
}

TEST(DemoWorld, PicturesAreTileSizedWithExactMasksInSurvivingColours) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::StartedGame g(dir.path());
    State& s = *g.s;
    auto usable = [](uint8_t c) { return c < 223 || c > 238; };  // 223-238 are overwritten by the gradient
    int bmp_ground = 0, bmp_objects = 0;

    for (int z = 1; z <= 255; ++z) {
        const std::string& name = s.M_S(z);
        if (name.empty()) continue;
        SCOPED_TRACE(name);
        EXPECT_EQ(name.size(), 12u);
        EXPECT_EQ(name[11], 'v');
        bmp_ground += read_file(dir.file(name))[0] == 'B';
        test::LoadedPicture p = test::load_picture(dir.path(), name);
        ASSERT_EQ(p.w, 24);
        ASSERT_EQ(p.h, 24);
        for (uint8_t c : p.px) EXPECT_TRUE(usable(c)) << int(c);
        if (z == ground::Water) {
            for (uint8_t c : p.px) EXPECT_TRUE((c >= col::Water0 && c <= col::Water3) || c == col::Foam) << int(c);
        }
    }
    for (int n = 1; n <= 255; ++n)
        for (int f = 1; f <= 4; ++f) {
            const std::string& name = s.OBJ_S(n, f);
            if (name.empty()) continue;
            SCOPED_TRACE(name);
            EXPECT_EQ(name.size(), 12u);
            EXPECT_EQ(name[11], 'v');
            EXPECT_EQ(s.OBJ(n), 24);
            bmp_objects += read_file(dir.file(name))[0] == 'B';
            test::LoadedPicture pic = test::load_picture(dir.path(), name);
            test::LoadedPicture mask = test::load_picture(dir.path(), mask_name(name));
            ASSERT_EQ(pic.w, 24);
            ASSERT_EQ(mask.w, 24);
            ASSERT_EQ(mask.h, 24);
            int opaque = 0;
            for (size_t i = 0; i < pic.px.size(); ++i) {
                ASSERT_TRUE(mask.px[i] == 0 || mask.px[i] == 255) << i;
                if (mask.px[i] == 255) {
                    EXPECT_EQ(pic.px[i], 0) << i;  // "or" leaves the ground alone there
                }
                opaque += mask.px[i] == 0;
                EXPECT_TRUE(usable(pic.px[i])) << int(pic.px[i]);
            }
            EXPECT_GT(opaque, 40);
        }
    EXPECT_GE(bmp_ground, 1);
    EXPECT_GE(bmp_objects, 1);
}

TEST(DemoWorld, MapHasTheLandscapeItAdvertises) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::StartedGame g(dir.path());
    State& s = *g.s;
    DemoMap m = make_demo_map();

    // Water is blocked from every side; each cliff from exactly one.
    for (int k = 1; k <= 4; ++k) EXPECT_TRUE(in_list(s.CK_S(k), ground::Water));
    for (int cliff : {ground::CliffSouth, ground::CliffEast, ground::CliffWest}) {
        int sides = 0;
        for (int k = 1; k <= 4; ++k) sides += in_list(s.CK_S(k), cliff);
        EXPECT_EQ(sides, 1) << cliff;
    }

    // The road network: forks, a loop and dead ends.
    auto is_road = [&](int c, int r) { return m.inside(c, r) && in_list(s.RD_S, m.g(c, r)); };
    int nodes = 0, edges = 0, forks = 0, dead_ends = 0;
    for (int r = 1; r <= m.h; ++r)
        for (int c = 1; c <= m.w; ++c) {
            if (!is_road(c, r)) continue;
            int n = is_road(c + 1, r) + is_road(c - 1, r) + is_road(c, r + 1) + is_road(c, r - 1);
            ++nodes;
            edges += is_road(c + 1, r) + is_road(c, r + 1);
            forks += n >= 3;
            dead_ends += n == 1;
        }
    EXPECT_GE(forks, 3);
    EXPECT_GE(dead_ends, 1);
    EXPECT_GT(edges, nodes - 1);  // more edges than a tree of connected cells has: a loop

    // Structures of every drawing order, creatures of several kinds near the start.
    std::set<int32_t> modes, moves;
    for (uint8_t v : m.structures)
        if (v) modes.insert(s.OBJ_M(v));
    EXPECT_EQ(modes, (std::set<int32_t>{0, 1, 2, 3}));
    int near = 0;
    for (int r = 1; r <= m.h; ++r)
        for (int c = 1; c <= m.w; ++c) {
            uint8_t v = m.cr(c, r);
            if (v < 2) continue;
            moves.insert(s.OBJS(v));
            std::set<std::string> frames;
            for (int f = 1; f <= 4; ++f) frames.insert(s.OBJ_S(v, f));
            EXPECT_EQ(frames.size(), 4u) << int(v);
            near += std::abs(c - m.start_x) <= 3 && std::abs(r - m.start_y) <= 3;
        }
    EXPECT_GE(moves.size(), 3u);
    EXPECT_GE(near, 3);
    EXPECT_EQ(m.cr(m.start_x, m.start_y), object::Hero);
    EXPECT_GE(m.start_x, 8);
    EXPECT_LE(m.start_x, m.w - 8);
}
