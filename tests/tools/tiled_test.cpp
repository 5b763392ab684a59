// export-tiled and import-tiled: whole worlds and regions there and back,
// through Tiled itself when it is installed, maps as Tiled may write them,
// refusals, and the tile atlases.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <nlohmann/json.hpp>
#include <random>

#include "data/layer.hpp"
#include "display/image.hpp"
#include "display/screen.hpp"
#include "display/view.hpp"
#include "tools/new_map.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_format.hpp"
#include "tools/tiled_import.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using json = nlohmann::json;
using test::layer_path;
using test::read_file;
using tools::CellRegion;

namespace {

// The demo world's tables and pictures with random layer files of w x h:
// random cells and row 0, a header of the map size, and `trailing` bytes
// after the last cell of the structure layer.
void write_random_world(const std::string& dir, int w, int h, unsigned seed, size_t trailing = 0) {
    world::write_demo_world(dir, false);
    std::mt19937 rng(seed);
    for (int k = 0; k < 5; ++k) {
        std::string bytes(static_cast<size_t>(layer_file_length(w, h)) + (k == 2 ? trailing : 0), '\0');
        for (char& b : bytes) b = static_cast<char>(rng());
        const auto header = layer_header(w, h);
        bytes.replace(0, 4, reinterpret_cast<const char*>(header.data()), 4);
        test::write_file(layer_path(dir, k), bytes);
    }
}

bool tiled_installed() { return std::system("command -v tiled >/dev/null 2>&1") == 0; }

// Loads `in` in Tiled and saves it as `out` with its command line.
int tiled_resave(const std::string& in, const std::string& out, const std::string& flags = "") {
    const std::string cmd =
        "QT_QPA_PLATFORM=offscreen tiled --export-map " + flags + " json '" + in + "' '" + out + "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

// Imports `map` into a copy of `world` with other cells: the cells of `reg`
// (all when none) come back, every other byte stays, in all five layer files.
void expect_import(const std::string& world, const std::string& map, const std::string& copy, int w, int h,
                   std::optional<CellRegion> reg = {}) {
    std::filesystem::remove_all(copy);
    test::copy_with_other_cells(world, copy, w, h);
    std::array<std::string, 5> want;
    for (size_t k = 0; k < 5; ++k) want[k] = read_file(layer_path(copy, int(k)));
    ASSERT_NE(read_file(layer_path(world, 1)), want[1]);
    import_tiled({map, copy});
    const CellRegion r = reg.value_or(CellRegion{1, 1, w, h});
    for (size_t k = 0; k < 3; ++k) {
        const std::string cells = read_file(layer_path(world, int(k)));
        for (int64_t y = r.y; y < r.y + r.h; ++y)
            want[k].replace(size_t(r.x + y * w + 3), size_t(r.w), cells, size_t(r.x + y * w + 3), size_t(r.w));
    }
    for (size_t k = 0; k < 5; ++k)
        EXPECT_TRUE(read_file(layer_path(copy, int(k))) == want[k]) << kLayerNames[k] << " via " << map;
}

std::string region_text(const CellRegion& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}

// A 20 x 16 world with objects in both object layers, exported as CSV so the
// tests can change the map (layers ground, structures, creatures) as JSON.
struct Fixture {
    test::TempDir t;
    std::string world = t.file("world"), map = t.file("world.tmj");
    json doc;
    Fixture() {
        test::FixtureWorld f;
        f.structures = [](int c, int r) { return static_cast<uint8_t>((c * 7 + r) % 5 == 0 ? 3 : 0); };
        f.ground = [](int c, int r) { return static_cast<uint8_t>((c + r * 3) % 256); };
        std::filesystem::create_directories(world);
        f.write(world);
        export_tiled({world, map, true});
        doc = json::parse(read_file(map));
    }
};

// The layer's tile ids as base64, gzip-compressed through the file `gz` when one is named.
std::string encode(const json& csv, const std::string& gz = "") {
    std::string raw, text;
    for (const json& g : csv)
        for (int k = 0; k < 4; ++k) raw += static_cast<char>((g.get<uint32_t>() >> (8 * k)) & 0xFF);
    if (!gz.empty()) {
        const gzFile f = gzopen(gz.c_str(), "wb");
        gzwrite(f, raw.data(), static_cast<unsigned>(raw.size())), gzclose(f);
        raw = read_file(gz);
    }
    Base64Encoder b64([&](const uint8_t* d, size_t n) { text.append(reinterpret_cast<const char*>(d), n); });
    b64.write(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()), b64.finish();
    return text;
}

// A layer file as its length, its bytes on disk and its non-zero bytes, read
// from its data extents alone (the holes of a 4 GiB file are zeros).
struct Image {
    int64_t size = 0, allocated = 0;
    std::map<int64_t, char> bytes;
};

std::array<Image, 5> world_images(const std::string& dir) {
    std::array<Image, 5> images;
    for (size_t k = 0; k < 5; ++k) {
        const int fd = ::open(layer_path(dir, int(k)).c_str(), O_RDONLY);
        struct stat st {};
        EXPECT_EQ(::fstat(fd, &st), 0);
        images[k].size = st.st_size, images[k].allocated = int64_t{st.st_blocks} * 512;
        for (off_t data, hole = 0; (data = ::lseek(fd, hole, SEEK_DATA)) >= 0;) {
            hole = ::lseek(fd, data, SEEK_HOLE);
            std::string chunk(static_cast<size_t>(hole - data), '\0');
            EXPECT_EQ(::pread(fd, chunk.data(), chunk.size(), data), static_cast<ssize_t>(chunk.size()));
            for (size_t i = 0; i < chunk.size(); ++i)
                if (chunk[i] != 0) images[k].bytes[data + static_cast<int64_t>(i)] = chunk[i];
        }
        ::close(fd);
    }
    return images;
}

}  // namespace

// Random cells, row 0 and bytes after the map included, come back from base64 and from CSV; so do regions
// at each corner (so touching each edge), the whole map and single cells, and
// every byte around them stays. (A region reaching outside the map, or put
// into a folder without a map: rows of the bad-input table.)
TEST(TiledRoundTrip, WorldsAndRegionsComeBackByteForByte) {
    test::TempDir t;
    const std::string world = t.file("world"), map = t.file("m.tmj");
    write_random_world(world, 300, 200, 7, 33);
    const std::optional<CellRegion> regions[] = {std::nullopt,       std::nullopt,      CellRegion{1, 1, 10, 8},
                                                 {{291, 1, 10, 8}},  {{1, 193, 10, 8}}, {{291, 193, 10, 8}},
                                                 {{1, 1, 300, 200}}, {{1, 1, 1, 1}},    {{300, 200, 1, 1}}};
    bool csv = false;  // the first whole map as base64, everything else as CSV
    for (const auto& reg : regions) {
        SCOPED_TRACE(reg ? region_text(*reg) : csv ? "csv" : "base64");
        export_tiled({.dir = world, .out = map, .csv = csv, .force = true, .region = reg});
        EXPECT_EQ(read_file(map).find("\"compression\"") == std::string::npos, csv);
        expect_import(world, map, t.file("copy"), 300, 200, reg);
        csv = true;
    }
    // The map saved by Tiled in another folder (tileset paths rewritten), also
    // with the tilesets embedded. (A CSV map saved by Tiled: the region test.)
    if (!tiled_installed()) GTEST_SKIP() << "the tiled program is not installed";
    std::filesystem::create_directories(t.file("maps/elsewhere"));
    export_tiled({world, t.file("maps/world.tmj")});
    for (const std::string flags : {"", "--embed-tilesets"}) {
        const std::string saved = t.file("maps/elsewhere/saved" + flags + ".tmj");
        ASSERT_EQ(tiled_resave(t.file("maps/world.tmj"), saved, flags), 0) << flags;
        expect_import(world, saved, t.file("copy"), 300, 200);
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
    put("table.bmp", world::encode_bmp8(world::Picture(24, 24, 5), table));
    // Object 1: mask rows 0-7 are 255, 8-15 are 0, 16-23 are 0xF0; the
    // picture is 0 in columns 0-11 and 175 in columns 12-23.
    std::vector<uint8_t> mask(576), pic(576);
    for (size_t i = 0; i < 576; ++i) {
        mask[i] = i / 24 < 8 ? 255 : i / 24 < 16 ? 0 : 0xF0;
        pic[i] = i % 24 < 12 ? 0 : 175;
    }
    put(mask_name("thing_01.pic"), test::block_picture(24, 24, mask));
    put("thing_01.pic", test::block_picture(24, 24, pic));
    put(mask_name("small_01.pic"), test::solid_picture(16, 16, 0));
    put("small_01.pic", test::solid_picture(16, 16, 175));

    ExportResult r = export_tiled({t.path(), t.file("m.tmj")});
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("ground value 2"), std::string::npos) << r.warnings[0];
    const auto g = test::read_png(t.file("m-ground.png"));
    const auto o = test::read_png(t.file("m-objects.png"));
    ASSERT_TRUE(g.w == 384 && o.w == 384) << g.w << " " << o.w;
    const test::Rgba blue{0, 0, 255, 255}, black{0, 0, 0, 255}, clear{0, 0, 0, 0};
    EXPECT_EQ(g.at(24 + 15, 15), blue);  // ground 1: 16x16, the rest of the cell transparent
    EXPECT_EQ(g.at(24 + 16, 0), clear);
    EXPECT_EQ(g.at(48 + 5, 5), clear);  // ground 2: its picture is missing
    EXPECT_EQ(g.at(72 + 5, 5), (test::Rgba{10, 20, 30, 255}));
    EXPECT_EQ(o.at(24 + 3, 3), clear);   // mask 255, picture 0
    EXPECT_EQ(o.at(24 + 20, 3), blue);   // mask 255 with a picture pixel: opaque
    EXPECT_EQ(o.at(24 + 3, 10), black);  // mask 0
    EXPECT_EQ(o.at(24 + 3, 20), black);  // mask 0xF0 over black
    EXPECT_EQ(o.at(48 + 3, 3), clear);   // object 2: 16 pixels, centred at offset 4
    EXPECT_EQ(o.at(48 + 4, 4), blue);
}

// Each tile carries its value's meaning as Tiled properties, read from the
// world's tables as the game reads them: the demo world's water blocks every
// way, a south cliff only going up, road and bridge water are road, a roof
// is drawn over creatures. A value with nothing to say has no entry. The demo
// world exports without a warning.
TEST(TiledExport, TilesCarryNamesAndWhatTheyMeanForTheMap) {
    test::TempDir t;
    world::write_demo_world(t.file("w"), false);
    const ExportResult r = export_tiled({t.file("w"), t.file("m.tmj")});
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    auto props = [&](const char* set, int id) {
        std::map<std::string, json> found;
        const json doc = json::parse(read_file(t.file(std::string("m-") + set + ".tsj")));
        for (const json& tile : doc["tiles"])
            if (tile["id"] == id)
                for (const json& p : tile["properties"]) found[p["name"].get<std::string>()] = p["value"];
        return found;
    };
    // The ground properties that are true: blocks going up, right, down, left (u, r, d, l), road (R).
    auto ground = [&](int id) {
        auto p = props("ground", id);
        std::string on;
        for (const std::string way : {"up", "right", "down", "left"})
            if (p["blocks-going-" + way] == true) on += way[0];
        return on + (p["road"] == true ? "R" : "");
    };
    using namespace world::ground;
    const std::pair<int, std::string> rows[] = {{Grass, ""},      {Water, "urdl"}, {CliffSouth, "u"},
                                                {CliffWest, "r"}, {Road, "R"},     {BridgeWater, "R"}};
    for (const auto& [id, want] : rows) EXPECT_EQ(ground(id), want) << "ground " << id;
    EXPECT_EQ(props("ground", world::ground::Grass)["name"], "grass_01");
    EXPECT_EQ(props("ground", world::ground::Grass)["value"], world::ground::Grass);
    EXPECT_EQ(props("ground", 17)["name"], "tile_017");  // a numbered placeholder
    EXPECT_TRUE(props("ground", 0).empty());             // no picture, not blocked, no road
    EXPECT_TRUE(props("ground", 200).empty());
    EXPECT_EQ(props("objects", world::object::Roof)["structure-mode"], 2);
    EXPECT_NE(props("objects", world::object::Roof)["structure"].get<std::string>().find("over creatures"),
              std::string::npos);
    EXPECT_EQ(props("objects", world::object::Oak)["structure"].get<std::string>().substr(0, 6), "solid:");
    EXPECT_EQ(props("objects", world::object::Fox)["moves"], true);
    EXPECT_EQ(props("objects", world::object::Oak)["moves"], false);
    EXPECT_EQ(props("objects", world::object::Hero)["name"], "hero_wk1");
    EXPECT_TRUE(props("objects", 0).empty());  // object 0 is "nothing": no tile of its own
}

// An existing map or tileset is replaced only with --force: it may hold work
// done in Tiled. (The refusal's message and the untouched folder: a row of the
// bad-input table.)
TEST(TiledExport, ReplacesAnExistingMapOrTilesetOnlyWhenForced) {
    test::TempDir t;
    world::write_demo_world(t.file("w"), false);
    for (const char* kept : {"m.tmj", "m-ground.tsj", "m-objects.png"}) {
        SCOPED_TRACE(kept);
        std::filesystem::remove_all(t.file("out"));
        std::filesystem::create_directories(t.file("out"));
        test::write_file(t.file("out/") + kept, "work done in Tiled");
        EXPECT_THROW(export_tiled({t.file("w"), t.file("out/m.tmj")}), world::ToolError);
        EXPECT_EQ(test::names_in(t.file("out")), std::set<std::string>{kept});
        EXPECT_EQ(read_file(t.file("out/") + kept), "work done in Tiled");
        export_tiled({.dir = t.file("w"), .out = t.file("out/m.tmj"), .force = true});
        EXPECT_EQ(test::names_in(t.file("out")).size(), 5u);
    }
}

// gzip base64 (zlib is what export writes), uncompressed base64, layers
// reordered, tilesets embedded with other first ids and a foreign tileset
// before them: the copy gets the world's cells.
TEST(TiledImport, ReadsWhatTiledMayWrite) {
    Fixture fx;
    json &ground = fx.doc["layers"][0], &structures = fx.doc["layers"][1], &creatures = fx.doc["layers"][2];
    auto shift = [](json& data, int64_t by) {
        for (json& g : data)
            if (g.get<int64_t>() != 0) g = g.get<int64_t>() + by;
    };
    shift(ground["data"], 600 - 1);
    shift(structures["data"], 10 - 257);
    shift(creatures["data"], 10 - 257);
    ground["encoding"] = "base64", ground["compression"] = "gzip",
    ground["data"] = encode(ground["data"], fx.t.file("g.gz"));
    structures["encoding"] = "base64", structures["data"] = encode(structures["data"]);
    std::swap(fx.doc["layers"][0], fx.doc["layers"][2]);
    fx.doc["tilesets"] = json::array({{{"firstgid", 1}, {"name", "trees"}, {"tilecount", 9}},
                                      {{"firstgid", 10}, {"name", "objects"}, {"tilecount", 256}},
                                      {{"firstgid", 600}, {"name", "ground"}, {"tilecount", 256}}});
    test::write_file(fx.t.file("variants.tmj"), fx.doc.dump());
    expect_import(fx.world, fx.t.file("variants.tmj"), fx.t.file("copy"), 20, 16);
}

TEST(TiledImport, RefusalsLeaveTheWorldAsItWas) {
    Fixture fx;
    const json original = fx.doc;
    const auto before = test::tree(fx.world);
    auto refused = [&](const std::string& expect, const std::function<void(json&)>& change) {
        fx.doc = original;
        change(fx.doc);
        test::write_file(fx.t.file("bad.tmj"), fx.doc.dump());
        const std::string says = test::tool_error([&] { import_tiled({fx.t.file("bad.tmj"), fx.world}); });
        EXPECT_NE(says.find(expect), std::string::npos) << says;
        EXPECT_EQ(test::changes(before, test::tree(fx.world)), "") << expect;
    };
    // The creatures layer is read last, after the other two were written.
    refused("cell (column 7, row 2) of layer creatures", [](json& d) { d["layers"][2]["data"][26] = 600; });
    refused("every ground cell needs a tile", [](json& d) { d["layers"][0]["data"][3] = 0; });
    refused("cell (column 2, row 2) of layer creatures (x 1, y 1 in Tiled) holds a flipped",
            [](json& d) { d["layers"][2]["data"][21] = 0x80000000u + 258; });
    refused("no tile layer named structures", [](json& d) { d["layers"].erase(1); });
    refused("holds 319 tiles", [](json& d) { d["layers"][2]["data"].erase(319); });
    refused("is 20 x 15 tiles", [](json& d) { d["layers"][1]["height"] = 15; });
    // The origin of a map of a region: outside the world, of another type,
    // half lost, or lost from a map of another size.
    auto with = [](std::vector<json> props) { return [=](json& d) { d["properties"] = props; }; };
    auto prop = [](const char* name, const char* type, json v) {
        return json{{"name", name}, {"type", type}, {"value", v}};
    };
    const char *ox = kOriginXProperty, *oy = kOriginYProperty;
    refused("the region 2,1,20,16 of", with({prop(ox, "int", 2), prop(oy, "int", 1)}));
    refused("tlvx-origin-x of type string (\"1\")", with({prop(ox, "string", "1"), prop(oy, "int", 1)}));
    refused("has the map property tlvx-origin-x but not tlvx-origin-y", with({prop(ox, "int", 1)}));
    refused("needs its properties tlvx-origin-x and tlvx-origin-y", [](json& d) {
        d["width"] = 16, d["height"] = 20;
        for (json& l : d["layers"]) l["width"] = 16, l["height"] = 20;
    });
    refused("infinite map", [](json& d) { d["infinite"] = true; });
    refused("no ground tileset", [](json& d) { d["tilesets"].erase(0); });
    refused("unreadable data", [](json& d) {
        d["layers"][2].update({{"encoding", "base64"}, {"compression", "zlib"}, {"data", "AAAAAAAA"}});
    });
}

// A 200 x 200 part of the largest world goes through Tiled and back: painted
// cells land in place (also in a hole); every other byte, the length and the
// holes of each layer file stay as they were (not one block more in the
// files without a painted cell).
TEST(TiledRegion, PartOfTheLargestWorldRoundTripsThroughTiled) {
    if (!tiled_installed()) GTEST_SKIP() << "the tiled program is not installed";
    test::TempDir t;
    const std::string world = t.file("world");
    const tools::NewMapResult made = tools::new_map({.dir = world, .w = 65535, .h = 65535, .fill = {}});
    const CellRegion reg{made.start_x - 100, made.start_y - 100, 200, 200};

    // The whole world is refused at once, suggesting a region around the start.
    std::filesystem::create_directory(t.file("out"));
    const test::ToolRun whole = test::run_tool({"export-tiled", world, t.file("out/whole.tmj")}, {});
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.output.find("--region " + region_text(reg)), std::string::npos) << whole.output;
    EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));

    const auto before = world_images(world);
    const auto status = [](const std::vector<std::string>& args) { return test::run_tool(args, {}).status; };
    ASSERT_EQ(status({"export-tiled", "--csv", world, t.file("part.tmj"), "--region", region_text(reg)}), 0);
    ASSERT_EQ(tiled_resave(t.file("part.tmj"), t.file("saved.tmj")), 0);

    // Painted: ground in the region's corners (holes of the sparse ground)
    // and a creature next to the player, imported by the tool.
    json doc = json::parse(read_file(t.file("saved.tmj")));
    doc["layers"][0]["data"][0] = 1 + 6;
    doc["layers"][0]["data"][199 * 200 + 199] = 1 + 7;
    doc["layers"][2]["data"][100 * 200 + 101] = 257 + 2;
    test::write_file(t.file("painted.tmj"), doc.dump());
    ASSERT_EQ(status({"import-tiled", t.file("painted.tmj"), world}), 0);
    std::array<Image, 5> want = before;
    want[0].bytes[reg.x + reg.y * 65535 + 3] = 6;
    want[0].bytes[reg.x + 199 + (reg.y + 199) * 65535 + 3] = 7;
    want[1].bytes[made.start_x + 1 + made.start_y * 65535 + 3] = 2;
    const auto after = world_images(world);
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_TRUE(after[k].bytes == want[k].bytes && after[k].size == want[k].size) << kLayerNames[k];
        // Holes stay holes but for the blocks of cells painted in them.
        const int64_t filled = static_cast<int64_t>(want[k].bytes.size() - before[k].bytes.size());
        EXPECT_LE(after[k].allocated, want[k].allocated + filled * 64 * 1024) << kLayerNames[k];
    }
}
