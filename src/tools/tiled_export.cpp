#include "tools/tiled_export.hpp"

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/state.hpp"
#include "formats/png_writer.hpp"
#include "tools/demo_world.hpp"
#include "tools/picture_files.hpp"
#include "tools/tiled_format.hpp"
#include "tools/tiled_tiles.hpp"
#include "tools/world_load.hpp"

namespace tlvx::tools::tiled {

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

std::string tileset_json(const std::string& name, const std::string& image) {
    json j = {{"columns", kAtlasColumns}, {"image", image}, {"imageheight", kAtlasSide}, {"imagewidth", kAtlasSide},
              {"margin", 0}, {"name", name}, {"spacing", 0}, {"tilecount", kAtlasColumns * kAtlasColumns},
              {"tiledversion", "1.8.2"}, {"tileheight", kTile}, {"tilewidth", kTile}, {"type", "tileset"},
              {"version", "1.8"}};
    return j.dump(1) + "\n";
}

void write_atlas(const Atlas& atlas, const std::string& path) {
    PngRowWriter png(path, kAtlasSide, kAtlasSide, PngColour::Rgba);
    for (int y = 0; y < kAtlasSide; ++y) png.write_row(&atlas.rgba[static_cast<size_t>(y) * kAtlasSide * 4]);
    png.finish();
}

uint32_t gid_of(const LayerSpec& layer, uint8_t v) {
    if (!layer.objects) return kGroundFirstGid + v;
    return v == 0 ? 0 : kObjectsFirstGid + v;
}

// The "data" value of one layer, streamed from its file a row at a time.
void write_layer_data(ToolFile& out, const LayerReader& file, const LayerSpec& layer, int32_t w, int32_t h,
                      bool csv, Progress& progress) {
    std::vector<uint8_t> row(static_cast<size_t>(w));
    std::vector<uint8_t> le(row.size() * 4);
    std::string text;
    if (csv) {
        out.write("[\n");
        for (int32_t r = 1; r <= h; ++r) {
            file.read_cells(w, 1, r, row.data(), row.size());
            text.clear();
            for (int32_t c = 0; c < w; ++c) {
                text += std::to_string(gid_of(layer, row[static_cast<size_t>(c)]));
                if (c + 1 < w || r < h) text += ',';
            }
            text += '\n';
            out.write(text);
            progress.step(layer.name);
        }
        out.write("]");
        return;
    }
    out.write("\"");
    Base64Encoder base64([&](const uint8_t* d, size_t n) { out.write(d, n); });
    Deflater zip([&](const uint8_t* d, size_t n) { base64.write(d, n); });
    for (int32_t r = 1; r <= h; ++r) {
        file.read_cells(w, 1, r, row.data(), row.size());
        for (size_t c = 0; c < row.size(); ++c) {
            const uint32_t gid = gid_of(layer, row[c]);
            for (size_t k = 0; k < 4; ++k) le[c * 4 + k] = static_cast<uint8_t>(gid >> (8 * k));
        }
        zip.write(le.data(), le.size());
        progress.step(layer.name);
    }
    zip.finish();
    base64.finish();
    out.write("\"");
}

}  // namespace

ExportResult export_tiled(const ExportOptions& opt) {
    ExportResult result;
    auto s = std::make_unique<State>();
    for (const LoadFailure& f : load_world_tables(*s, opt.dir))
        result.warnings.push_back(f.step + ": " + f.message);

    const LayerReader ground(join_path(opt.dir, kLayerNames[0]));
    if (!ground.exists()) throw ToolError("there is no world in " + opt.dir + ": " + kLayerNames[0] + " is missing");
    ground.header(result.w, result.h);
    if (result.w == 0 || result.h == 0)
        throw ToolError("the ground layer " + join_path(opt.dir, kLayerNames[0]) + " holds no map (its size is " +
                        std::to_string(result.w) + " x " + std::to_string(result.h) + ")");
    const LayerReader creatures(join_path(opt.dir, kLayerNames[1])), structures(join_path(opt.dir, kLayerNames[2]));
    const LayerReader* files[3] = {&ground, &creatures, &structures};

    const fs::path out_path(opt.out);
    const std::string stem = out_path.stem().string();
    const fs::path out_dir = out_path.parent_path();
    auto beside = [&](const std::string& name) { return (out_dir / name).string(); };

    for (const bool is_ground : {true, false}) {
        const char* set = is_ground ? kGroundTileset : kObjectsTileset;
        const Atlas atlas = is_ground ? ground_atlas(*s, result.warnings) : objects_atlas(*s, result.warnings);
        write_atlas(atlas, beside(atlas_file(stem, set)));
        write_file_bytes(beside(tileset_file(stem, set)), tileset_json(set, atlas_file(stem, set)));
        result.written.push_back(beside(atlas_file(stem, set)));
        result.written.push_back(beside(tileset_file(stem, set)));
    }

    ToolFile out(opt.out);
    const std::string w = std::to_string(result.w), h = std::to_string(result.h);
    out.write("{\"compressionlevel\":-1,\"height\":" + h + ",\"infinite\":false,\n\"layers\":[\n");
    Progress progress(opt.progress, "exporting", int64_t{3} * result.h);
    for (int i = 0; i < 3; ++i) {
        const LayerSpec& layer = kLayers[i];
        out.write(std::string("{") + (opt.csv ? "" : "\"compression\":\"zlib\",\"encoding\":\"base64\",") +
                  "\"data\":");
        write_layer_data(out, *files[layer.file], layer, result.w, result.h, opt.csv, progress);
        out.write(",\"height\":" + h + ",\"id\":" + std::to_string(i + 1) + ",\"name\":\"" + layer.name +
                  "\",\"opacity\":1,\"type\":\"tilelayer\",\"visible\":true,\"width\":" + w + ",\"x\":0,\"y\":0}" +
                  (i < 2 ? ",\n" : "\n"));
    }
    const json tilesets = json::array(
        {{{"firstgid", kGroundFirstGid}, {"source", tileset_file(stem, kGroundTileset)}},
         {{"firstgid", kObjectsFirstGid}, {"source", tileset_file(stem, kObjectsTileset)}}});
    out.write("],\n\"nextlayerid\":4,\"nextobjectid\":1,\"orientation\":\"orthogonal\",\"renderorder\":\"right-down\","
              "\"tiledversion\":\"1.8.2\",\"tileheight\":" + std::to_string(kTile) + ",\n\"tilesets\":" +
              tilesets.dump() + ",\n\"tilewidth\":" + std::to_string(kTile) +
              ",\"type\":\"map\",\"version\":\"1.8\",\"width\":" + w + "}\n");
    out.commit();
    result.written.push_back(opt.out);
    return result;
}

}  // namespace tlvx::tools::tiled
