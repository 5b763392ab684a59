#include <gtest/gtest.h>
#include <png.h>

#include "display/image.hpp"
#include "display/screen.hpp"
#include "display/view.hpp"
#include "tiled_helpers.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_import.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using test::layer_path;
using test::read_file;

namespace {

// Exports `world` to `map`, imports it into a copy with other cells and
// expects all five layer files byte for byte as in `world`.
void expect_round_trip(const std::string& world, const std::string& map, const std::string& copy, int w, int h,
                       const std::function<std::string(const std::string&)>& transform = nullptr) {
    test::copy_with_other_cells(world, copy, w, h);
    ASSERT_NE(read_file(layer_path(world, 1)), read_file(layer_path(copy, 1)));
    const std::string in = transform ? transform(map) : map;
    ASSERT_FALSE(in.empty());
    import_tiled({in, copy});
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(read_file(layer_path(world, k)) == read_file(layer_path(copy, k)))
            << tools::kLayerNames[k] << " via " << in;
}

using Px = std::array<uint8_t, 4>;

// The pixels of a PNG as rows of RGBA, `w` to a row.
std::vector<Px> read_png_rgba(const std::string& path, uint32_t& w) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    std::vector<Px> px;
    if (png_image_begin_read_from_file(&img, path.c_str())) {
        img.format = PNG_FORMAT_RGBA;
        px.resize(size_t(img.width) * img.height);
        if (png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) w = img.width;
    }
    return px;
}

}  // namespace

// The demo world exports without a warning; random cells everywhere, row 0
// included, and bytes after the map come back, from base64 and from CSV.
TEST(TiledRoundTrip, DemoExportsCleanlyAndRandomWorldsComeBackByteForByte) {
    test::TempDir t;
    const std::string demo = t.file("demo"), random = t.file("random");
    tools::write_demo_world(demo, false);
    ExportResult r = export_tiled({demo, t.file("demo.tmj")});
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    test::write_random_world(random, 300, 200, 7, 33);
    export_tiled({random, t.file("random.tmj")});
    expect_round_trip(random, t.file("random.tmj"), t.file("random-copy"), 300, 200);
    export_tiled({random, t.file("random-csv.tmj"), true});
    expect_round_trip(random, t.file("random-csv.tmj"), t.file("random-csv-copy"), 300, 200);
    EXPECT_EQ(read_file(t.file("random-csv.tmj")).find("\"compression\""), std::string::npos);
}

TEST(TiledRoundTrip, SurvivesASaveByTiledItself) {
    if (!test::tiled_installed()) GTEST_SKIP() << "the tiled program is not installed";
    test::TempDir t;
    const std::string world = t.file("world");
    test::write_random_world(world, 300, 200, 11);
    std::filesystem::create_directories(t.file("maps/elsewhere"));
    export_tiled({world, t.file("maps/world.tmj")});
    int n = 0;
    // Saved in another folder (tileset paths rewritten), also with the
    // tilesets embedded. (A CSV map saved by Tiled: the region test.)
    for (const std::string flags : {"", "--embed-tilesets"}) {
        expect_round_trip(world, t.file("maps/world.tmj"), t.file("copy" + std::to_string(n)), 300, 200,
                          [&](const std::string& in) {
                              const std::string out = t.file("maps/elsewhere/saved" + std::to_string(n) + ".tmj");
                              return test::tiled_resave(in, out, flags) == 0 ? out : std::string();
                          });
        ++n;
    }
}

TEST(TiledRoundTrip, AtlasTilesFollowTheGamesDrawing) {
    test::TempDir t;
    test::FixtureWorld f;
    f.tile_name = [](int z) { return z == 1 ? "small.pic" : z == 2 ? "gone.pic" : z == 3 ? "table.bmp" : ""; };
    f.objects.resize(2);
    f.objects[0].frames[0] = "thing_01.pic";
    f.objects[1].frames[0] = "small_01.pic";
    f.objects[1].size = 16;
    f.write(t.path());
    std::filesystem::remove(t.file("gone.pic"));
    auto put = [&](const std::string& name, const std::string& bytes) {
        test::write_file(t.file(drawn_name(name)), bytes);
    };
    // Palette entry 175 is (63, 0, 0) in the file: blue on screen.
    std::string pal = "63,0,0\r\n";
    for (int i = 176; i <= 255; ++i) pal += "0,0,0\r\n";
    test::write_file(t.file("tlvx_w05.pal"), pal);
    put("small.pic", test::solid_picture(16, 16, 175));
    // A BMP whose colour table gives index 5 its own colour.
    std::array<Rgb, 256> table = kVgaDefaultPalette;
    table[5] = Rgb{10, 20, 30};
    tools::Picture bmp(24, 24, 5);
    put("table.bmp", tools::encode_bmp8(bmp, table));
    // Object 1: mask rows 0-7 are 255, 8-15 are 0, 16-23 are 0xF0; the
    // picture is 0 in columns 0-11 and 175 in columns 12-23.
    std::vector<uint8_t> mask(576), pic(576);
    for (int i = 0; i < 576; ++i) {
        mask[static_cast<size_t>(i)] = i / 24 < 8 ? 255 : i / 24 < 16 ? 0 : 0xF0;
        pic[static_cast<size_t>(i)] = i % 24 < 12 ? 0 : 175;
    }
    put(mask_name("thing_01.pic"), test::block_picture(24, 24, mask));
    put("thing_01.pic", test::block_picture(24, 24, pic));
    put(mask_name("small_01.pic"), test::solid_picture(16, 16, 0));
    put("small_01.pic", test::solid_picture(16, 16, 175));

    ExportResult r = export_tiled({t.path(), t.file("m.tmj")});
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("ground value 2"), std::string::npos) << r.warnings[0];
    uint32_t gw = 0, ow = 0;
    const std::vector<Px> ground = read_png_rgba(t.file("m-ground.png"), gw);
    const std::vector<Px> objects = read_png_rgba(t.file("m-objects.png"), ow);
    ASSERT_TRUE(gw == 384 && ow == 384) << gw << " " << ow;
    auto g = [&](int x, int y) { return ground.at(size_t(y) * gw + size_t(x)); };
    auto o = [&](int x, int y) { return objects.at(size_t(y) * ow + size_t(x)); };
    const Px blue{0, 0, 255, 255}, black{0, 0, 0, 255}, clear{0, 0, 0, 0};
    EXPECT_EQ(g(24 + 15, 15), blue);  // ground 1: 16x16, the rest of the cell transparent
    EXPECT_EQ(g(24 + 16, 0), clear);
    EXPECT_EQ(g(48 + 5, 5), clear);  // ground 2: its picture is missing
    EXPECT_EQ(g(72 + 5, 5), (Px{10, 20, 30, 255}));
    EXPECT_EQ(o(24 + 3, 3), clear);   // mask 255, picture 0
    EXPECT_EQ(o(24 + 20, 3), blue);   // mask 255 with a picture pixel: opaque
    EXPECT_EQ(o(24 + 3, 10), black);  // mask 0
    EXPECT_EQ(o(24 + 3, 20), black);  // mask 0xF0 over black
    EXPECT_EQ(o(48 + 3, 3), clear);   // object 2: 16 pixels, centred at offset 4
    EXPECT_EQ(o(48 + 4, 4), blue);
    EXPECT_EQ(o(48 + 20, 20), clear);
}
