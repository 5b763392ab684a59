#include "tools/tiled_export.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "data/text_record.hpp"
#include "formats/png_writer.hpp"
#include "tools/tiled_format.hpp"
#include "tools/tiled_tiles.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/staged_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::tools::tiled {

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

json property(const char* name, const json& value) {
    const char* type = value.is_boolean() ? "bool" : value.is_number_integer() ? "int" : "string";
    return {{"name", name}, {"type", type}, {"value", value}};
}

// A picture name from the tables without its extension: "grass_01".
std::string picture_stem(const std::string& picture) { return picture.substr(0, picture.rfind('.')); }

// What each structure mode of the object table means for the map.
std::string structure_mode_text(int32_t mode) {
    if (mode == 0) return "solid: drawn under creatures, blocks the way";
    if (mode == 2) return "roof: drawn over creatures, can be walked under";
    if (mode > 2) return "hidden: not drawn, can be walked onto";
    return "walk-on: drawn under creatures, can be walked onto";
}

// The tiles' properties as Tiled shows them: ground values with their name,
// the directions of travel in which they cannot be entered and whether they
// are road; object values with their name, structure mode and whether a
// creature of that value wanders. Read from the world's tables as the game
// reads them; import-tiled ignores them.
json tile_properties(const State& s, bool objects) {
    json tiles = json::array();
    for (int32_t v = objects ? 1 : 0; v < 256; ++v) {
        json props = json::array();
        const std::string picture = objects ? s.OBJ_S(v, 1) : s.M_S(v);
        if (objects) {
            const int32_t mode = s.OBJ_M(v);
            if (picture.empty() && mode == 0 && s.OBJS(v) == 0) continue;
            props.push_back(property("moves", s.OBJS(v) != 0));
            if (!picture.empty()) props.push_back(property("name", picture_stem(picture)));
            props.push_back(property("structure", structure_mode_text(mode)));
            props.push_back(property("structure-mode", mode));
        } else {
            static const char* const kBlocks[4] = {"blocks-going-up", "blocks-going-right", "blocks-going-down",
                                                   "blocks-going-left"};
            bool blocks[4], any = false;
            for (int k = 0; k < 4; ++k) any |= blocks[k] = in_list(s.CK_S(k + 1), v);
            const bool road = in_list(s.RD_S, v);
            if (picture.empty() && !any && !road) continue;
            for (int k = 0; k < 4; ++k) props.push_back(property(kBlocks[k], blocks[k]));
            if (!picture.empty()) props.push_back(property("name", picture_stem(picture)));
            props.push_back(property("road", road));
        }
        props.push_back(property("value", v));
        tiles.push_back({{"id", v}, {"properties", std::move(props)}});
    }
    return tiles;
}

std::string tileset_json(const std::string& name, const std::string& image, json tiles) {
    json j = {{"columns", kAtlasColumns},
              {"image", image},
              {"imageheight", kAtlasSide},
              {"imagewidth", kAtlasSide},
              {"margin", 0},
              {"name", name},
              {"spacing", 0},
              {"tilecount", kAtlasColumns * kAtlasColumns},
              {"tiledversion", "1.8.2"},
              {"tileheight", kTile},
              {"tiles", std::move(tiles)},
              {"tilewidth", kTile},
              {"type", "tileset"},
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
void write_layer_data(world::ToolFile& out, const world::LayerReader& file, const LayerSpec& layer, int32_t world_w,
                      const CellRegion& reg, bool csv, Progress& progress) {
    const int64_t w = reg.w, h = reg.h;
    std::vector<uint8_t> row(static_cast<size_t>(w));
    std::vector<uint8_t> le(row.size() * 4);
    std::string text;
    if (csv) {
        out.write("[\n");
        for (int64_t r = 1; r <= h; ++r) {
            check_stop();
            file.read_cells(world_w, reg.x, reg.y + r - 1, row.data(), row.size());
            text.clear();
            for (int64_t c = 0; c < w; ++c) {
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
    for (int64_t r = 1; r <= h; ++r) {
        check_stop();
        file.read_cells(world_w, reg.x, reg.y + r - 1, row.data(), row.size());
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

// The region around the player's start that a refusal suggests: a square of
// kSuggestedRegionSide cells centred on the save file's position (the map's
// middle without one), moved inside the map.
CellRegion suggested_region(const State& s, int64_t wx, int64_t wy) {
    const int64_t cx = s.VX2 >= 1 && s.VX2 <= wx ? s.VX2 : (wx + 1) / 2;
    const int64_t cy = s.VY2 >= 1 && s.VY2 <= wy ? s.VY2 : (wy + 1) / 2;
    CellRegion r{1, 1, std::min(wx, kSuggestedRegionSide), std::min(wy, kSuggestedRegionSide)};
    r.x = std::clamp<int64_t>(cx - r.w / 2, 1, wx - r.w + 1);
    r.y = std::clamp<int64_t>(cy - r.h / 2, 1, wy - r.h + 1);
    return r;
}

std::string region_text(const CellRegion& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}

// The region's origin as two whole-number map properties.
std::string origin_properties(const CellRegion& r) {
    const json props = json::array({{{"name", kOriginXProperty}, {"type", "int"}, {"value", r.x}},
                                    {{"name", kOriginYProperty}, {"type", "int"}, {"value", r.y}}});
    return "\"properties\":" + props.dump() + ",\n";
}

}  // namespace

ExportResult export_tiled(const ExportOptions& opt) {
    ExportResult result;
    world::require_folder(opt.dir);
    const fs::path out_path(opt.out);
    const std::string stem = out_path.stem().string();
    const fs::path out_dir = out_path.parent_path();
    auto beside = [&](const std::string& name) { return (out_dir / name).string(); };
    // Every file this run writes, checked before anything is written.
    std::vector<std::string> outputs;
    for (const char* set : {kGroundTileset, kObjectsTileset}) {
        outputs.push_back(beside(atlas_file(stem, set)));
        outputs.push_back(beside(tileset_file(stem, set)));
    }
    outputs.push_back(opt.out);
    for (const std::string& path : outputs) world::require_output(path);
    // mended: a map or tileset that exists may hold work done in Tiled and not
    // yet imported; it is replaced only when asked with --force.
    if (!opt.force)
        for (const std::string& path : outputs)
            if (world::path_exists(path))
                throw world::ToolError(printable(path) +
                                       " exists already (it may hold work done in Tiled and not yet imported); "
                                       "use --force to replace it");
    if (stem.empty() || std::count(outputs.begin(), outputs.end(), opt.out) > 1)
        throw world::ToolError("cannot write " + printable(opt.out) +
                               ": it is one of the tileset files the map needs; "
                               "name the map e.g. world.tmj");

    auto s = std::make_unique<State>();
    for (const world::LoadFailure& f : world::load_world_tables(*s, opt.dir))
        result.warnings.push_back(f.step + ": " + f.message);
    // mended: a picture name leading out of the world folder copied a file
    // beside it into the atlas; the export refuses the world instead.
    if (const std::string outside = world::name_outside_folder(*s); !outside.empty())
        throw world::ToolError("cannot export the world in " + opt.dir + ": " + outside +
                               "; export-tiled reads only the world's own files");

    const world::LayerReader ground(world::join_path(opt.dir, kLayerNames[0]));
    if (!ground.exists())
        throw world::ToolError("there is no world in " + printable(opt.dir) + ": " + kLayerNames[0] + " is missing");
    ground.header(result.world_w, result.world_h);
    const int64_t wx = result.world_w, wy = result.world_h;
    if (wx == 0 || wy == 0)
        throw world::ToolError("the ground layer " + world::join_path(opt.dir, kLayerNames[0]) +
                               " holds no map (its size is " + std::to_string(wx) + " x " + std::to_string(wy) + ")");
    const std::string world_size = std::to_string(wx) + " x " + std::to_string(wy);
    if (opt.region) {
        const CellRegion& r = *opt.region;
        if (r.x < 1 || r.y < 1 || r.w < 1 || r.h < 1 || r.x > wx || r.y > wy || r.w > wx || r.h > wy ||
            r.x + r.w - 1 > wx || r.y + r.h - 1 > wy)
            throw world::ToolError("the region " + region_text(r) + " reaches outside the map, which is " + world_size +
                                   " cells (columns 1 to " + std::to_string(wx) + ", rows 1 to " + std::to_string(wy) +
                                   ")");
        if (r.w * r.h > kMaxWholeExportCells)
            throw world::ToolError("the region " + region_text(r) + " has " + std::to_string(r.w * r.h) +
                                   " cells, more than Tiled opens comfortably (" +
                                   std::to_string(kMaxWholeExportCells) + "); export a smaller one");
    } else if (wx * wy > kMaxWholeExportCells) {
        throw world::ToolError("the map is " + world_size + " cells, more than Tiled opens comfortably (" +
                               std::to_string(kMaxWholeExportCells) +
                               "); export a part of it with --region X,Y,W,H, e.g. " + "--region " +
                               region_text(suggested_region(*s, wx, wy)) + " around the player's start");
    }
    const CellRegion reg = opt.region.value_or(CellRegion{1, 1, wx, wy});
    result.region = opt.region;
    result.w = static_cast<int32_t>(reg.w);
    result.h = static_cast<int32_t>(reg.h);
    const world::LayerReader creatures(world::join_path(opt.dir, kLayerNames[1])),
        structures(world::join_path(opt.dir, kLayerNames[2]));
    const world::LayerReader* files[3] = {&ground, &creatures, &structures};

    // All five files are written as temporaries and renamed into place
    // together at the end: a failure or a stop leaves none of them behind.
    world::StagedFiles staged;
    for (const bool is_ground : {true, false}) {
        check_stop();
        const char* set = is_ground ? kGroundTileset : kObjectsTileset;
        const Atlas atlas = is_ground ? ground_atlas(*s, result.warnings) : objects_atlas(*s, result.warnings);
        // The PNG writer replaces the set's temporary file whole (through a
        // temporary of its own); the set then puts it in place with the rest.
        write_atlas(atlas, staged.add(beside(atlas_file(stem, set))).temp_path());
        staged.add_bytes(beside(tileset_file(stem, set)),
                         tileset_json(set, atlas_file(stem, set), tile_properties(*s, !is_ground)));
        result.written.push_back(beside(atlas_file(stem, set)));
        result.written.push_back(beside(tileset_file(stem, set)));
    }
    world::ToolFile out = staged.add(opt.out);
    const std::string w = std::to_string(result.w), h = std::to_string(result.h);
    out.write("{\"compressionlevel\":-1,\"height\":" + h + ",\"infinite\":false,\n\"layers\":[\n");
    Progress progress(opt.progress, "exporting", int64_t{3} * result.h);
    for (int i = 0; i < 3; ++i) {
        const LayerSpec& layer = kLayers[i];
        out.write(std::string("{") + (opt.csv ? "" : "\"compression\":\"zlib\",\"encoding\":\"base64\",") +
                  "\"data\":");
        write_layer_data(out, *files[layer.file], layer, result.world_w, reg, opt.csv, progress);
        out.write(",\"height\":" + h + ",\"id\":" + std::to_string(i + 1) + ",\"name\":\"" + layer.name +
                  "\",\"opacity\":1,\"type\":\"tilelayer\",\"visible\":true,\"width\":" + w + ",\"x\":0,\"y\":0}" +
                  (i < 2 ? ",\n" : "\n"));
    }
    const json tilesets =
        json::array({{{"firstgid", kGroundFirstGid}, {"source", tileset_file(stem, kGroundTileset)}},
                     {{"firstgid", kObjectsFirstGid}, {"source", tileset_file(stem, kObjectsTileset)}}});
    out.write(
        "],\n\"nextlayerid\":4,\"nextobjectid\":1,\"orientation\":\"orthogonal\",\"renderorder\":\"right-down\"," +
        (opt.region ? origin_properties(reg) : std::string()) +
        "\"tiledversion\":\"1.8.2\",\"tileheight\":" + std::to_string(kTile) + ",\n\"tilesets\":" + tilesets.dump() +
        ",\n\"tilewidth\":" + std::to_string(kTile) + ",\"type\":\"map\",\"version\":\"1.8\",\"width\":" + w + "}\n");
    staged.commit();
    result.written.push_back(opt.out);
    return result;
}

}  // namespace tlvx::tools::tiled
