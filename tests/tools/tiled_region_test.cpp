#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A layer file as its length, its bytes on disk and its non-zero bytes, read
// from its data extents alone (the holes of a 4 GiB file are zeros).
struct Image {
    int64_t size = 0, allocated = 0;
    std::map<int64_t, char> bytes;
};

std::array<Image, 5> world_images(const std::string& dir) {
    std::array<Image, 5> images;
    for (int k = 0; k < 5; ++k) {
        Image& img = images[static_cast<size_t>(k)];
        const int fd = ::open(test::layer_path(dir, k).c_str(), O_RDONLY);
        struct stat st {};
        EXPECT_EQ(::fstat(fd, &st), 0);
        img.size = st.st_size, img.allocated = int64_t{st.st_blocks} * 512;
        for (off_t data, hole = 0; (data = ::lseek(fd, hole, SEEK_DATA)) >= 0;) {
            hole = ::lseek(fd, data, SEEK_HOLE);
            std::string chunk(static_cast<size_t>(hole - data), '\0');
            EXPECT_EQ(::pread(fd, chunk.data(), chunk.size(), data), static_cast<ssize_t>(chunk.size()));
            for (size_t i = 0; i < chunk.size(); ++i)
                if (chunk[i] != 0) img.bytes[data + static_cast<int64_t>(i)] = chunk[i];
        }
        ::close(fd);
    }
    return images;
}

std::string region_text(const CellRegion& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}

}  // namespace

// A 200 x 200 part of the largest world goes through Tiled and back: painted
// cells land in place (also in a hole); every other byte, the length and the
// holes of each layer file stay as they were (not one block more in the
// files without a painted cell).
TEST(TiledRegion, PartOfTheLargestWorldRoundTripsThroughTiled) {
    if (!test::tiled_installed()) GTEST_SKIP() << "the tiled program is not installed";
    test::TempDir t;
    const std::string world = t.file("world");
    const tools::NewMapResult made = tools::new_map({.dir = world, .w = 65535, .h = 65535, .fill = {}});
    const CellRegion reg{made.start_x - 100, made.start_y - 100, 200, 200};

    // The whole world is refused at once, suggesting a region around the start.
    std::filesystem::create_directory(t.file("out"));
    const test::ToolRun whole = test::run_tool("export-tiled '" + world + "' '" + t.file("out/whole.tmj") + "'");
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.output.find("--region " + region_text(reg)), std::string::npos) << whole.output;
    EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));

    const auto before = world_images(world);
    const test::ToolRun ex =
        test::run_tool("export-tiled --csv '" + world + "' '" + t.file("part.tmj") + "' --region " + region_text(reg));
    ASSERT_EQ(ex.status, 0) << ex.output;
    ASSERT_EQ(test::tiled_resave(t.file("part.tmj"), t.file("saved.tmj")), 0);

    // Painted: ground in the region's corners (holes of the sparse ground)
    // and a creature next to the player, imported by the tool.
    json doc = json::parse(test::read_file(t.file("saved.tmj")));
    doc["layers"][0]["data"][0] = 1 + 6;
    doc["layers"][0]["data"][199 * 200 + 199] = 1 + 7;
    doc["layers"][2]["data"][100 * 200 + 101] = 257 + 2;
    test::write_file(t.file("painted.tmj"), doc.dump());
    ASSERT_EQ(test::run_tool("import-tiled '" + t.file("painted.tmj") + "' '" + world + "'").status, 0);
    std::array<Image, 5> want = before;
    want[0].bytes[reg.x + reg.y * 65535 + 3] = 6;
    want[0].bytes[reg.x + 199 + (reg.y + 199) * 65535 + 3] = 7;
    want[1].bytes[made.start_x + 1 + made.start_y * 65535 + 3] = 2;
    const auto after = world_images(world);
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_TRUE(after[k].bytes == want[k].bytes && after[k].size == want[k].size) << tools::kLayerNames[k];
        // Holes stay holes but for the blocks of cells painted in them.
        const int64_t filled = static_cast<int64_t>(want[k].bytes.size() - before[k].bytes.size());
        EXPECT_LE(after[k].allocated, want[k].allocated + filled * 64 * 1024) << tools::kLayerNames[k];
    }
}

// Regions at each corner (so touching each edge), the whole map and single
// cells: every cell of the region changes, every byte around it stays, in
// all five layer files.
// A map of a region is refused by a folder without a map. (A region
// reaching outside the map is a row of the bad-input table.)
TEST(TiledRegion, EdgesCornersAndSingleCellsGoBackInPlace) {
    test::TempDir t;
    const std::string world = t.file("world");
    test::write_random_world(world, 50, 40, 5, 17);
    const CellRegion regions[] = {{1, 1, 10, 8},  {41, 1, 10, 8}, {1, 33, 10, 8}, {41, 33, 10, 8},
                                  {1, 1, 50, 40}, {1, 1, 1, 1},   {50, 40, 1, 1}};
    for (const CellRegion& reg : regions) {
        SCOPED_TRACE(region_text(reg));
        std::array<std::string, 5> want;
        for (int k = 0; k < 5; ++k) want[size_t(k)] = test::read_file(test::layer_path(world, k));
        ExportOptions o{world, t.file(region_text(reg) + ".tmj"), true};
        o.region = reg;
        export_tiled(o);
        // Every cell one value up (255 wraps to 0, which is no object).
        json doc = json::parse(test::read_file(o.out));
        for (json& l : doc["layers"]) {
            const bool ground = l["name"] == "ground";
            const uint32_t first = ground ? 1 : 257;
            for (json& g : l["data"]) {
                const uint32_t next = ((g == 0 ? 0 : g.get<uint32_t>() - first) + 1) % 256;
                g = next == 0 && !ground ? 0 : next + first;
            }
        }
        test::write_file(o.out, doc.dump());
        import_tiled({o.out, world});
        for (int k = 0; k < 3; ++k)
            for (int64_t r = reg.y; r < reg.y + reg.h; ++r)
                for (int64_t c = reg.x; c < reg.x + reg.w; ++c) ++want[size_t(k)][size_t(c + r * 50 + 3)];
        for (int k = 0; k < 5; ++k)
            EXPECT_TRUE(test::read_file(test::layer_path(world, k)) == want[size_t(k)]) << tools::kLayerNames[k];
    }

    try {
        import_tiled({t.file("1,1,1,1.tmj"), t.path()});
        ADD_FAILURE() << "a region imported into a folder without a map";
    } catch (const tools::ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("holds no map to put it into"), std::string::npos) << e.what();
    }
}
