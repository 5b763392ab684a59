#include "tools/tiled_import.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "tools/demo_world.hpp"
#include "tools/picture_files.hpp"
#include "tools/tiled_import_data.hpp"
#include "tools/world_load.hpp"

namespace tlvx::tools::tiled {

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// The map without the "data" of its layers: that is read in a second pass,
// once the layers and tilesets are known, so that it never has to be held.
json parse_without_data(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    try {
        return json::parse(f.get(), [](int, json::parse_event_t event, json& parsed) {
            return !(event == json::parse_event_t::key && parsed == "data");
        });
    } catch (const json::exception& e) {
        throw ToolError(path + " is not a JSON map: " + e.what());
    }
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

enum class Kind { Other, Ground, Objects };

Kind kind_of(const std::string& name) {
    for (const Kind k : {Kind::Ground, Kind::Objects}) {
        const std::string set = k == Kind::Ground ? kGroundTileset : kObjectsTileset;
        if (name == set || ends_with(name, "-" + set)) return k;
    }
    return Kind::Other;
}

// Which of the two tilesets a map's tileset entry is: by its name (embedded,
// or read from its file), else by its file name (OUT-ground.tsj...).
Kind tileset_kind(const json& ts, const fs::path& map_dir) {
    if (!ts.contains("source")) return kind_of(ts.value("name", std::string()));
    const std::string source = ts["source"].is_string() ? ts["source"].get<std::string>() : std::string();
    std::unique_ptr<FILE, FileCloser> f(std::fopen((map_dir / source).string().c_str(), "rb"));
    if (f) {
        const json set = json::parse(f.get(), nullptr, false);
        if (set.is_object() && set.contains("name") && set["name"].is_string()) {
            const Kind k = kind_of(set["name"].get<std::string>());
            if (k != Kind::Other) return k;
        }
    }
    return kind_of(fs::path(source).stem().string());
}

int64_t whole_number(const json& j, const char* key, const std::string& where) {
    if (!j.contains(key) || !j[key].is_number_integer())
        throw ToolError(where + " has no whole number \"" + key + "\"");
    return j[key].get<int64_t>();
}

void read_tilesets(const json& map, MapPlan& plan) {
    if (!map.contains("tilesets") || !map["tilesets"].is_array())
        throw ToolError(plan.in + " has no tilesets");
    const fs::path map_dir = fs::path(plan.in).parent_path();
    std::vector<uint32_t> firsts;
    uint32_t ground = 0, objects = 0;
    for (const json& ts : map["tilesets"]) {
        const int64_t first = whole_number(ts, "firstgid", "a tileset of " + plan.in);
        if (first < 1 || first > int64_t{0x0FFFFFFF})
            throw ToolError(plan.in + " has a tileset with first id " + std::to_string(first));
        firsts.push_back(static_cast<uint32_t>(first));
        const Kind kind = tileset_kind(ts, map_dir);
        if (kind == Kind::Other) continue;
        uint32_t& slot = kind == Kind::Ground ? ground : objects;
        const std::string name = kind == Kind::Ground ? kGroundTileset : kObjectsTileset;
        if (slot != 0) throw ToolError(plan.in + " has two " + name + " tilesets");
        slot = static_cast<uint32_t>(first);
    }
    for (const Kind k : {Kind::Ground, Kind::Objects}) {
        const std::string name = k == Kind::Ground ? kGroundTileset : kObjectsTileset;
        if ((k == Kind::Ground ? ground : objects) == 0)
            throw ToolError(plan.in + " has no " + name + " tileset (the tileset named \"" + name +
                            "\" or its file ending in -" + name + ".tsj, as export-tiled writes them)");
    }
    // A tileset's ids end where the next tileset's begin.
    auto range = [&](uint32_t first) {
        GidRange r{first, first + 256};
        for (uint32_t f : firsts)
            if (f > first) r.end = std::min(r.end, f);
        return r;
    };
    plan.ground = range(ground);
    plan.objects = range(objects);
}

void read_layers(const json& map, MapPlan& plan) {
    if (!map.contains("layers") || !map["layers"].is_array()) throw ToolError(plan.in + " has no layers");
    const json& layers = map["layers"];
    for (size_t i = 0; i < layers.size(); ++i) {
        const json& l = layers[i];
        const std::string name = l.is_object() ? l.value("name", std::string()) : std::string();
        for (size_t k = 0; k < 3; ++k) {
            if (name != kLayers[k].name) continue;
            LayerPlan& lp = plan.layers[k];
            const std::string where = "layer " + name + " of " + plan.in;
            if (lp.kind) throw ToolError(plan.in + " has two layers named " + name);
            if (l.value("type", std::string()) != "tilelayer") throw ToolError(where + " is not a tile layer");
            if (l.contains("chunks"))
                throw ToolError(where + " is stored in chunks, as in an infinite map; tlvx maps have a fixed size");
            const int64_t w = whole_number(l, "width", where), h = whole_number(l, "height", where);
            if (w != plan.w || h != plan.h)
                throw ToolError(where + " is " + std::to_string(w) + " x " + std::to_string(h) + " tiles, the map " +
                                std::to_string(plan.w) + " x " + std::to_string(plan.h));
            const std::string encoding = l.value("encoding", std::string("csv"));
            const std::string compression = l.value("compression", std::string());
            if (encoding != "csv" && encoding != "base64")
                throw ToolError(where + " has data encoded as \"" + encoding + "\"; CSV and base64 are read");
            if (encoding == "base64" && compression == "zstd")
                throw ToolError(where + " is compressed with zstd, which import does not read; in Tiled set the map's "
                                        "tile layer format to Base64 (zlib compressed) or CSV and save again");
            if (encoding == "base64" && !compression.empty() && compression != "zlib" && compression != "gzip")
                throw ToolError(where + " is compressed as \"" + compression + "\"; zlib and gzip are read");
            lp.kind = &kLayers[k];
            lp.index = static_cast<int64_t>(i);
            lp.base64 = encoding == "base64";
            lp.compressed = lp.base64 && !compression.empty();
        }
    }
    for (size_t k = 0; k < 3; ++k)
        if (!plan.layers[k].kind)
            throw ToolError(plan.in + " has no tile layer named " + kLayers[k].name +
                            " (the map needs the layers ground, structures and creatures)");
}

void read_map_fields(const json& map, MapPlan& plan) {
    const std::string& in = plan.in;
    if (!map.is_object() || map.value("type", std::string("map")) != "map")
        throw ToolError(in + " is not a Tiled map");
    if (map.value("infinite", false))
        throw ToolError(in + " is an infinite map; tlvx maps have a fixed size: untick Infinite in the map's "
                             "properties in Tiled and save again");
    const int64_t w = whole_number(map, "width", in), h = whole_number(map, "height", in);
    if (w < 1 || w > 65535 || h < 1 || h > 65535)
        throw ToolError(in + " is " + std::to_string(w) + " x " + std::to_string(h) +
                        " tiles; a map is 1 to 65535 cells each way");
    plan.w = static_cast<int32_t>(w);
    plan.h = static_cast<int32_t>(h);
    read_tilesets(map, plan);
    read_layers(map, plan);
}

}  // namespace

MapPlan read_map_plan(const std::string& in) {
    MapPlan plan;
    plan.in = in;
    const json map = parse_without_data(in);
    try {
        read_map_fields(map, plan);
    } catch (const json::exception& e) {
        // A field of an unexpected type, e.g. a text where a number belongs.
        throw ToolError(in + " is not a map as Tiled writes it: " + e.what());
    }
    return plan;
}

ImportResult import_tiled(const ImportOptions& opt) {
    const MapPlan plan = read_map_plan(opt.in);
    std::error_code ec;
    if (!fs::is_directory(opt.dir, ec)) throw ToolError(opt.dir + " is not a folder");
    {
        const LayerReader ground(join_path(opt.dir, kLayerNames[0]));
        int32_t ow = 0, oh = 0;
        ground.header(ow, oh);
        if ((ow != 0 || oh != 0) && (ow != plan.w || oh != plan.h))
            throw ToolError("the map in " + opt.in + " is " + std::to_string(plan.w) + " x " + std::to_string(plan.h) +
                            " cells, the world in " + opt.dir + " " + std::to_string(ow) + " x " + std::to_string(oh));
        for (const LayerSpec& l : kLayers) {
            const std::string path = join_path(opt.dir, kLayerNames[l.file]);
            if (!path_exists(path)) continue;
            // The new file is renamed into place: a link or a folder would be
            // replaced rather than written through, so they are refused.
            if (!fs::is_regular_file(fs::symlink_status(path, ec)))
                throw ToolError(path + " is not a plain file (a link or a folder); the world is left as it was");
            if (::access(path.c_str(), W_OK) != 0)
                throw ToolError(path + " cannot be written; the world is left as it was");
        }
    }
    std::array<std::unique_ptr<LayerOut>, 3> outs;
    std::array<LayerOut*, 3> ptrs{};
    for (size_t k = 0; k < 3; ++k) {
        outs[k] = std::make_unique<LayerOut>(opt.dir, kLayerNames[kLayers[k].file], plan.w, plan.h);
        ptrs[k] = outs[k].get();
    }
    Progress progress(opt.progress, "importing", int64_t{3} * plan.h);
    stream_layer_data(plan, ptrs, progress);
    for (auto& o : outs) o->finish();
    for (auto& o : outs) o->commit();
    return ImportResult{plan.w, plan.h};
}

}  // namespace tlvx::tools::tiled
