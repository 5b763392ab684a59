#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tiled_helpers.hpp"
#include "tools/new_map.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_import.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using json = nlohmann::json;
using tools::CellRegion;

namespace {

// A file as its length and its data extents with their bytes: two equal
// images mean equal bytes and equal holes, found without reading the holes
// of a 4 GiB layer file.
struct SparseImage {
    int64_t size = 0;
    int64_t allocated = 0;  // bytes on disk
    std::map<int64_t, std::string> extents;
    bool operator==(const SparseImage&) const = default;

    // The byte at `pos`: 0 in a hole.
    uint8_t at(int64_t pos) const {
        auto e = extents.upper_bound(pos);
        if (e == extents.begin()) return 0;
        --e;
        const int64_t off = pos - e->first;
        return off < static_cast<int64_t>(e->second.size()) ? static_cast<uint8_t>(e->second[static_cast<size_t>(off)])
                                                            : 0;
    }
};

SparseImage sparse_image(const std::string& path) {
    SparseImage img;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return img;
    struct stat st {};
    ::fstat(fd, &st);
    img.size = st.st_size;
    img.allocated = int64_t{st.st_blocks} * 512;
    for (off_t pos = 0; pos < st.st_size;) {
        const off_t data = ::lseek(fd, pos, SEEK_DATA);
        if (data < 0) break;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        std::string bytes(static_cast<size_t>(hole - data), '\0');
        EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), data), static_cast<ssize_t>(bytes.size()));
        img.extents[data] = std::move(bytes);
        pos = hole;
    }
    ::close(fd);
    return img;
}

std::array<SparseImage, 5> world_images(const std::string& dir) {
    std::array<SparseImage, 5> images;
    for (int k = 0; k < 5; ++k) images[static_cast<size_t>(k)] = sparse_image(test::layer_path(dir, k));
    return images;
}

int64_t cell_pos(int64_t wx, int64_t c, int64_t r) { return c + r * wx + 3; }

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The layers of a map in JSON (as exported with CSV data).
json& layer_of(json& doc, const std::string& name) {
    for (json& l : doc["layers"])
        if (l["name"] == name) return l;
    throw std::runtime_error("no layer " + name);
}

// Export of `reg` of `world` (and an import of it into `world`) as long as
// it takes for a world of the region's size: the two times, printed.
void time_against_small_world(const std::string& world, const CellRegion& reg, const test::TempDir& t) {
    auto round = [&](const std::string& dir, std::optional<CellRegion> r, const std::string& map) {
        const auto t0 = std::chrono::steady_clock::now();
        ExportOptions o{dir, t.file(map)};
        o.region = r;
        export_tiled(o);
        const double ex = seconds_since(t0);
        const auto t1 = std::chrono::steady_clock::now();
        import_tiled({t.file(map), dir});
        return std::pair{ex, seconds_since(t1)};
    };
    const std::string small = t.file("small");
    tools::new_map({.dir = small, .w = static_cast<int32_t>(reg.w), .h = static_cast<int32_t>(reg.h), .fill = {}});
    const auto [small_ex, small_im] = round(small, std::nullopt, "small.tmj");
    const auto [big_ex, big_im] = round(world, reg, "timed.tmj");
    std::cout << "region " << reg.w << " x " << reg.h << " of 65535 x 65535: export " << big_ex << " s, import "
              << big_im << " s; a world of that size: export " << small_ex << " s, import " << small_im << " s\n";
}

}  // namespace

// A 200 x 200 part of the largest world goes through Tiled and back: painted
// cells land in place (also in a hole), every other byte, the length and
// the holes of each layer file stay as they were.
TEST(TiledRegion, PartOfTheLargestWorldRoundTripsThroughTiled) {
    if (!test::tiled_installed()) GTEST_SKIP() << "the tiled program is not installed";
    test::TempDir t;
    const std::string world = t.file("world");
    const tools::NewMapResult made = tools::new_map({.dir = world, .w = 65535, .h = 65535, .fill = {}});
    const CellRegion reg{made.start_x - 100, made.start_y - 100, 200, 200};

    // The whole world is refused at once, with a region around the start.
    const auto t0 = std::chrono::steady_clock::now();
    std::filesystem::create_directory(t.file("out"));
    const test::ToolRun whole = test::run_tool("export-tiled '" + world + "' '" + t.file("out/whole.tmj") + "'");
    std::cout << "whole-world export refused after " << seconds_since(t0) << " s\n";
    EXPECT_EQ(whole.status, 1);
    const std::string suggested = "--region " + std::to_string(reg.x) + "," + std::to_string(reg.y) + ",200,200";
    EXPECT_NE(whole.output.find(suggested), std::string::npos) << whole.output;
    EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));

    const auto before = world_images(world);
    const test::ToolRun ex =
        test::run_tool("export-tiled --csv '" + world + "' '" + t.file("part.tmj") + "' --region " +
                       std::to_string(reg.x) + "," + std::to_string(reg.y) + ",200,200");
    ASSERT_EQ(ex.status, 0) << ex.output;
    EXPECT_NE(ex.output.find("column " + std::to_string(reg.x) + ", row " + std::to_string(reg.y)), std::string::npos)
        << ex.output;
    ASSERT_EQ(test::tiled_resave(t.file("part.tmj"), t.file("saved.tmj")), 0);

    // Unchanged through Tiled: the world is byte for byte and hole for hole as it was.
    ASSERT_EQ(test::run_tool("import-tiled '" + t.file("saved.tmj") + "' '" + world + "'").status, 0);
    EXPECT_TRUE(world_images(world) == before);

    // Painted: ground in the region's corners (a hole of the sparse ground)
    // and a creature next to the player.
    json doc = json::parse(test::read_file(t.file("saved.tmj")));
    json& ground = layer_of(doc, "ground")["data"];
    ground[0] = 1 + 6;
    ground[199 * 200 + 199] = 1 + 7;
    layer_of(doc, "creatures")["data"][100 * 200 + 101] = 257 + 2;
    test::write_file(t.file("painted.tmj"), doc.dump());
    import_tiled({t.file("painted.tmj"), world});
    const auto after = world_images(world);
    const int64_t wx = 65535;
    const std::map<std::pair<int, int64_t>, uint8_t> painted = {{{0, cell_pos(wx, reg.x, reg.y)}, 6},
                                                                {{0, cell_pos(wx, reg.x + 199, reg.y + 199)}, 7},
                                                                {{1, cell_pos(wx, made.start_x + 1, made.start_y)}, 2}};
    for (int k = 0; k < 5; ++k) {
        const SparseImage &b = before[static_cast<size_t>(k)], &a = after[static_cast<size_t>(k)];
        EXPECT_EQ(a.size, b.size) << k;
        // Every byte of either file's data is the same but for the painted cells.
        for (const SparseImage* img : {&a, &b})
            for (const auto& [pos, bytes] : img->extents)
                for (int64_t p = pos; p < pos + static_cast<int64_t>(bytes.size()); ++p) {
                    const auto it = painted.find({k, p});
                    const uint8_t want = it != painted.end() ? it->second : b.at(p);
                    if (a.at(p) != want) {
                        ADD_FAILURE() << tools::kLayerNames[k] << " byte " << p << " is " << int(a.at(p)) << ", not "
                                      << int(want);
                        break;
                    }
                }
        // Holes stay holes but for the blocks of the painted cells.
        int64_t n = 0;
        for (const auto& [key, v] : painted) n += key.first == k;
        EXPECT_LE(a.allocated, b.allocated + n * 64 * 1024) << tools::kLayerNames[k];
    }
    for (const auto& [key, v] : painted) EXPECT_EQ(after[static_cast<size_t>(key.first)].at(key.second), v);

    time_against_small_world(world, reg, t);
}

// Regions at every edge and corner and single cells: every cell of the
// region changes, every byte around it stays, in all five layer files.
TEST(TiledRegion, EdgesCornersAndSingleCellsGoBackIntoTheirPlace) {
    test::TempDir t;
    const std::string world = t.file("world");
    const int w = 50, h = 40;
    test::write_random_world(world, w, h, 5, 17);
    const CellRegion regions[] = {
        {1, 1, 10, 8},  {41, 1, 10, 8}, {1, 33, 10, 8}, {41, 33, 10, 8},  // corners
        {20, 1, 5, 3},  {20, 38, 5, 3}, {1, 15, 4, 4},  {47, 15, 4, 4},   // edges
        {1, 20, 50, 1}, {30, 1, 1, 40}, {1, 1, 50, 40},                   // a row, a column, all
        {1, 1, 1, 1},   {50, 40, 1, 1}, {50, 1, 1, 1},  {25, 17, 1, 1},   // single cells
    };
    int n = 0;
    for (const CellRegion& reg : regions) {
        const std::string where = std::to_string(reg.x) + "," + std::to_string(reg.y) + "," + std::to_string(reg.w) +
                                  "," + std::to_string(reg.h);
        std::array<std::string, 5> files;
        for (int k = 0; k < 5; ++k) files[static_cast<size_t>(k)] = test::read_file(test::layer_path(world, k));
        const std::string map = t.file("r" + std::to_string(n++) + ".tmj");
        ExportOptions o{world, map, true};
        o.region = reg;
        const ExportResult r = export_tiled(o);
        EXPECT_EQ(r.w * 1000 + r.h, reg.w * 1000 + reg.h) << where;
        // Every cell one value up (255 wraps to 0, which is no object).
        json doc = json::parse(test::read_file(map));
        for (json& l : doc["layers"]) {
            const bool objects = l["name"] != "ground";
            for (json& g : l["data"]) {
                const uint32_t v = objects ? (g == 0 ? 0 : g.get<uint32_t>() - 257) : g.get<uint32_t>() - 1;
                const uint32_t next = (v + 1) % 256;
                g = objects ? (next == 0 ? 0 : next + 257) : next + 1;
            }
        }
        test::write_file(map, doc.dump());
        const ImportResult in = import_tiled({map, world});
        ASSERT_TRUE(in.region.has_value()) << where;
        for (int k = 0; k < 5; ++k) {
            std::string& want = files[static_cast<size_t>(k)];
            if (k < 3)
                for (int64_t r2 = reg.y; r2 < reg.y + reg.h; ++r2)
                    for (int64_t c = reg.x; c < reg.x + reg.w; ++c) {
                        char& b = want[static_cast<size_t>(cell_pos(w, c, r2))];
                        b = static_cast<char>((static_cast<uint8_t>(b) + 1) % 256);
                    }
            EXPECT_TRUE(test::read_file(test::layer_path(world, k)) == want) << where << " " << tools::kLayerNames[k];
        }
    }
}

// Regions that do not fit, maps whose origin was lost or changed type: one
// line, and the world folder exactly as it was.
TEST(TiledRegion, RefusalsNameTheProblemAndWriteNothing) {
    test::TempDir t;
    const std::string world = t.file("world");
    test::write_random_world(world, 30, 20, 3);
    const auto before = test::snapshot(world);

    std::filesystem::create_directory(t.file("out"));
    for (const char* bad : {"22,1,10,5", "1,17,5,5", "31,1,1,1", "1,21,1,1"}) {
        const test::ToolRun r =
            test::run_tool("export-tiled '" + world + "' '" + t.file("out/m.tmj") + "' --region " + bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.output.find("reaches outside the map, which is 30 x 20"), std::string::npos) << r.output;
    }
    // A 0 or a number so large that adding the width would overflow is no
    // region at all: a mistake on the command line, for export-tiled as for
    // render, which shares the region parser.
    for (const std::string& command :
         {"export-tiled '" + world + "' '" + t.file("out/m.tmj") + "' --region 0,1,5,5",
          "export-tiled '" + world + "' '" + t.file("out/m.tmj") + "' --region 9223372036854775807,1,2,1",
          "render '" + world + "' '" + t.file("out/m.png") + "' --region 1,9223372036854775807,1,2"}) {
        const test::ToolRun r = test::run_tool(command);
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.output.find("--region must be X,Y,W,H"), std::string::npos) << r.output;
    }
    EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));

    ExportOptions o{world, t.file("part.tmj"), true};
    o.region = CellRegion{21, 11, 10, 10};
    export_tiled(o);
    const json original = json::parse(test::read_file(t.file("part.tmj")));
    auto refused = [&](const char* what, const std::string& expect, const std::function<void(json&)>& change) {
        json doc = original;
        change(doc);
        test::write_file(t.file("bad.tmj"), doc.dump());
        const test::ToolRun r = test::run_tool("import-tiled '" + t.file("bad.tmj") + "' '" + world + "'");
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_NE(r.output.find(expect), std::string::npos) << what << ": " << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << what << ": " << r.output;
        EXPECT_TRUE(test::snapshot(world) == before) << what;
    };
    auto prop = [](json& d, int i) -> json& { return d["properties"][static_cast<size_t>(i)]; };
    refused("origin moved out", "the region 22,11,10,10 of", [&](json& d) { prop(d, 0)["value"] = 22; });
    refused("origin at 0", "reaches outside the world", [&](json& d) { prop(d, 1)["value"] = 0; });
    refused("origin as text", "tlvx-origin-x of type string (\"21\")",
            [&](json& d) { prop(d, 0)["type"] = "string", prop(d, 0)["value"] = "21"; });
    refused("origin as float", "of type float",
            [&](json& d) { prop(d, 1)["type"] = "float", prop(d, 1)["value"] = 11.5; });
    refused("one lost", "has the map property tlvx-origin-x but not tlvx-origin-y",
            [&](json& d) { d["properties"].erase(1); });
    refused("both lost", "needs its properties tlvx-origin-x and tlvx-origin-y",
            [&](json& d) { d.erase("properties"); });
    const test::ToolRun empty = test::run_tool("import-tiled '" + t.file("part.tmj") + "' '" + t.path() + "'");
    EXPECT_NE(empty.output.find("holds no map to put it into"), std::string::npos) << empty.output;
}
