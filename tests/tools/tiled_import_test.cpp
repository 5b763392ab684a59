#include <gtest/gtest.h>
#include <zlib.h>

#include <nlohmann/json.hpp>

#include "tiled_helpers.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_format.hpp"
#include "tools/tiled_import.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using json = nlohmann::json;

namespace {

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
        doc = json::parse(test::read_file(map));
    }
};

// The layer's tile ids as base64, gzip-compressed through the file `gz` when one is named.
std::string encode(const json& csv, const std::string& gz = "") {
    std::string raw;
    for (const json& g : csv)
        for (int k = 0; k < 4; ++k) raw += static_cast<char>((g.get<uint32_t>() >> (8 * k)) & 0xFF);
    if (!gz.empty()) {
        const gzFile f = gzopen(gz.c_str(), "wb");
        gzwrite(f, raw.data(), static_cast<unsigned>(raw.size()));
        gzclose(f);
        raw = test::read_file(gz);
    }
    std::string text;
    Base64Encoder b64([&](const uint8_t* d, size_t n) { text.append(reinterpret_cast<const char*>(d), n); });
    b64.write(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
    b64.finish();
    return text;
}

}  // namespace

// gzip base64 (zlib is what export writes), uncompressed base64, layers reordered, tilesets
// embedded with other first ids and a foreign tileset before them: imported
// into a copy whose cells differ, the copy gets the world's cells.
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
    const std::string copy = fx.t.file("copy");
    test::copy_with_other_cells(fx.world, copy, 20, 16);
    test::write_file(fx.t.file("variants.tmj"), fx.doc.dump());
    import_tiled({fx.t.file("variants.tmj"), copy});
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(test::read_file(test::layer_path(fx.world, k)) == test::read_file(test::layer_path(copy, k)))
            << tools::kLayerNames[k];
}

TEST(TiledImport, RefusalsLeaveTheWorldAsItWas) {
    Fixture fx;
    const json original = fx.doc;
    const auto before = test::tree(fx.world);
    auto refused = [&](const std::string& expect, const std::function<void(json&)>& change) {
        fx.doc = original;
        change(fx.doc);
        test::write_file(fx.t.file("bad.tmj"), fx.doc.dump());
        try {
            import_tiled({fx.t.file("bad.tmj"), fx.world});
            ADD_FAILURE() << expect << ": accepted";
        } catch (const tools::ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
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
    refused("zstd", [](json& d) {
        d["layers"][1]["encoding"] = "base64", d["layers"][1]["compression"] = "zstd", d["layers"][1]["data"] = "KLUv";
    });
    refused("no ground tileset", [](json& d) { d["tilesets"].erase(0); });
    refused("unreadable data", [](json& d) {
        json& l = d["layers"][2];
        l["encoding"] = "base64", l["compression"] = "zlib", l["data"] = "AAAAAAAA";
    });
}
