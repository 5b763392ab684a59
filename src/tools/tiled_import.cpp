#include "tools/tiled_import.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/input_file.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_import_data.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/staged_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::tools::tiled {

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The map file, open for reading when it is a regular file (a FIFO or a
// terminal would make the reading wait for ever); null with `why` otherwise.
FilePtr open_map_file(const std::string& path, std::string* why = nullptr) {
    InputFile in = open_input_file(path, InputLinks::Follow);
    if (!in) {
        if (why) *why = in.why;
        return nullptr;
    }
    FilePtr f(::fdopen(in.fd, "rb"));
    if (f) in.release();
    else if (why) *why = std::string("cannot be read: ") + std::strerror(errno);
    return f;
}

// How deep a map's lists and objects may nest, and how many values outside
// the layer data the map plan may hold. Tiled writes maps a few levels deep
// with some thousands of values besides the cells; the bounds stop a file of
// nested brackets or of millions of empty objects before it fills memory.
constexpr int kMostNesting = 256;
constexpr int64_t kMostPlanValues = int64_t{1} << 18;

// Where byte `byte` of a file is (counted from 1, as the JSON reader reports
// it): its line and column, whether the file ends there, and whether the
// file is empty.
struct JsonPosition {
    int64_t line = 1, column = 0;
    bool ended = true, empty = false;
};

JsonPosition json_position(const std::string& path, size_t byte) {
    const FilePtr f = open_map_file(path);
    JsonPosition p;
    int64_t read = 0;
    for (int c; f && read < static_cast<int64_t>(byte);) {
        if ((c = std::fgetc(f.get())) == EOF) break;
        ++read;
        if (c == '\n') ++p.line, p.column = 0;
        else ++p.column;
    }
    if (f) p.ended = std::fgetc(f.get()) == EOF;
    p.empty = read == 0 && p.ended;
    p.column = std::max<int64_t>(p.column, 1);
    return p;
}

// One line for a map file whose JSON stops being valid at byte `byte`:
// where, as line and column, and whether the file simply ends there.
std::string broken_json_message(const std::string& path, size_t byte) {
    const JsonPosition p = json_position(path, byte);
    if (p.empty) return printable(path) + " is empty, not a map";
    return printable(path) + " is not a complete map: its JSON breaks at line " + std::to_string(p.line) + ", column " +
           std::to_string(p.column) + (p.ended ? " (the file ends there)" : "");
}

// Keys whose values the map plan never looks at: the cells ("data", read in
// a second pass so that they never have to be held), and the objects, tiles
// and terrain sets, which can be many.
bool skipped_key(const std::string& key) {
    return key == "data" || key == "objects" || key == "tiles" || key == "wangsets";
}

// mended: the map is read into memory without the values it skips, and it is
// refused while it is read when it nests deeper than any map Tiled writes or
// holds more values than a plan could need; a 10 MB file of brackets took
// hundreds of megabytes before it was refused.
class PlanReader : public json::json_sax_t {
public:
    explicit PlanReader(const std::string& path) : path_(path) {}

    json root;
    // Where the JSON breaks (counted from 1) and the reader's fault number,
    // once sax_parse has returned false.
    size_t fault_at = 0;
    int fault_id = 0;

    bool null() override { return scalar(nullptr); }
    bool boolean(bool v) override { return scalar(v); }
    bool number_integer(number_integer_t v) override { return scalar(v); }
    bool number_unsigned(number_unsigned_t v) override { return scalar(v); }
    bool number_float(number_float_t v, const string_t&) override { return scalar(v); }
    bool string(string_t& v) override { return scalar(std::move(v)); }
    bool binary(binary_t& v) override { return scalar(json::binary(std::move(v))); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& k) override {
        if (skip_depth_ == 0) {
            skip_next_ = skipped_key(k);
            key_ = std::move(k);
        }
        return true;
    }
    bool parse_error(std::size_t pos, const std::string&, const nlohmann::detail::exception& e) override {
        fault_at = pos;
        fault_id = e.id;
        return false;
    }

private:
    std::string path_;
    std::vector<json*> open_;  // the lists and objects being filled, innermost last
    std::string key_;
    bool skip_next_ = false;
    int depth_ = 0, skip_depth_ = 0;  // skip_depth_: the depth of the value skipped, 0 for none
    int64_t values_ = 0;

    // Puts `v` where the next value goes; null when it is skipped.
    json* place(json&& v) {
        if (skip_depth_ != 0) return nullptr;
        if (skip_next_) {
            skip_next_ = false;
            return nullptr;
        }
        if (++values_ > kMostPlanValues)
            throw world::ToolError(
                printable(path_) + " holds more than " + std::to_string(kMostPlanValues) +
                " values besides its layers' cells, objects and tiles; a map Tiled writes holds far fewer");
        if (open_.empty()) return &(root = std::move(v));
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(v));
            return &parent.back();
        }
        return &(parent[key_] = std::move(v));
    }
    bool scalar(json&& v) {
        place(std::move(v));
        return true;
    }
    bool open(json&& v) {
        if (++depth_ > kMostNesting)
            throw world::ToolError(printable(path_) + " nests lists and objects more than " +
                                   std::to_string(kMostNesting) + " deep; a map Tiled writes is a few levels deep");
        const bool skipping = skip_depth_ != 0 || skip_next_;
        json* placed = place(std::move(v));
        if (placed) open_.push_back(placed);
        else if (skipping && skip_depth_ == 0) skip_depth_ = depth_;
        return true;
    }
    bool close() {
        if (skip_depth_ == 0) open_.pop_back();
        else if (skip_depth_ == depth_) skip_depth_ = 0;
        --depth_;
        return true;
    }
};

// The map without the "data" of its layers: that is read in a second pass,
// once the layers and tilesets are known, so that it never has to be held.
json parse_without_data(const std::string& path) {
    std::string why;
    const FilePtr f = open_map_file(path, &why);
    if (!f) throw world::ToolError(printable(path) + " " + why);
    PlanReader reader(path);
    if (!json::sax_parse(f.get(), &reader))
        throw world::ToolError(json_fault_message(path, reader.fault_at, reader.fault_id));
    return std::move(reader.root);
}

// A text from the map file as a message shows it: on one line, and cut
// short when it is long.
std::string shown(const std::string& text) {
    constexpr size_t kMost = 40;
    if (text.size() <= kMost) return printable(text);
    return printable(text.substr(0, kMost)) + "...";
}

// How a value of the wrong type is called in a message.
std::string type_words(const json& v) {
    if (v.is_string()) return "a text";
    if (v.is_number()) return "a number";
    if (v.is_boolean()) return "true or false";
    if (v.is_array()) return "a list";
    if (v.is_object()) return "an object";
    return "null";
}

// The text field `key` of `j`, `fallback` when it is absent; a value of
// another type is refused naming the field.
std::string text_field(const json& j, const char* key, const std::string& fallback, const std::string& where) {
    if (!j.is_object() || !j.contains(key)) return fallback;
    const json& v = j[key];
    if (!v.is_string())
        throw world::ToolError(where + " has " + type_words(v) + " as its \"" + key + "\", where a text belongs");
    return v.get<std::string>();
}

bool flag_field(const json& j, const char* key, const std::string& where) {
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    if (!v.is_boolean())
        throw world::ToolError(where + " has " + type_words(v) + " as its \"" + key +
                               "\", where true or false belongs");
    return v.get<bool>();
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

// The "name" of a tileset file, read without keeping anything else; empty
// when the file has none or is no JSON.
class TilesetName : public json::json_sax_t {
public:
    std::string name;

    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t) override { return scalar(); }
    bool number_unsigned(number_unsigned_t) override { return scalar(); }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool string(string_t& v) override {
        if (depth_ == 1 && name_next_) name = v;
        return scalar();
    }
    bool binary(binary_t&) override { return scalar(); }
    bool start_object(std::size_t) override { return open(); }
    bool key(string_t& k) override {
        name_next_ = depth_ == 1 && k == "name";
        return true;
    }
    bool end_object() override { return --depth_, true; }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return --depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        name.clear();
        return false;
    }

private:
    int depth_ = 0;
    bool name_next_ = false;
    bool scalar() { return name_next_ = false, true; }
    bool open() {
        name_next_ = false;
        return ++depth_ <= kMostNesting;
    }
};

// The largest tileset file whose name is read; Tiled's tilesets of 256
// tiles are some kilobytes.
constexpr int64_t kMostTilesetBytes = int64_t{64} << 20;

// Which of the two tilesets a map's tileset entry is: by its name (embedded,
// or read from its file), else by its file name (OUT-ground.tsj...).
Kind tileset_kind(const json& ts, const fs::path& map_dir, const std::string& where) {
    if (!ts.contains("source")) return kind_of(text_field(ts, "name", "", where));
    const std::string source = text_field(ts, "source", "", where);
    // mended: the file is read only when it is a regular file, and not
    // through a link; a FIFO or a terminal named here made the import wait
    // for ever, deaf to Ctrl+C. A missing file still falls back to its name.
    const std::string path = (map_dir / source).string();
    InputFile in = open_input_file(path, InputLinks::Refuse);
    if (!in && !in.missing) throw world::ToolError(where + " names the file " + printable(path) + ", which " + in.why);
    if (in) {
        struct stat st {};
        if (::fstat(in.fd, &st) == 0 && st.st_size > kMostTilesetBytes)
            throw world::ToolError(where + " names the file " + printable(path) + " of " + std::to_string(st.st_size) +
                                   " bytes, more than a tileset holds (at most " + std::to_string(kMostTilesetBytes) +
                                   ")");
        FilePtr f(::fdopen(in.fd, "rb"));
        if (f) {
            in.release();
            TilesetName reader;
            json::sax_parse(f.get(), &reader);
            const Kind k = kind_of(reader.name);
            if (k != Kind::Other) return k;
        }
    }
    return kind_of(fs::path(source).stem().string());
}

int64_t whole_number(const json& j, const char* key, const std::string& where) {
    if (!j.contains(key) || !j[key].is_number_integer())
        throw world::ToolError(where + " has no whole number \"" + key + "\"" +
                               (j.is_object() && j.contains(key) ? " (it is " + type_words(j[key]) + ")" : ""));
    return j[key].get<int64_t>();
}

void read_tilesets(const json& map, MapPlan& plan) {
    if (!map.contains("tilesets") || !map["tilesets"].is_array()) throw world::ToolError(plan.in + " has no tilesets");
    const fs::path map_dir = fs::path(plan.path).parent_path();
    std::vector<uint32_t> firsts;
    uint32_t ground = 0, objects = 0;
    for (const json& ts : map["tilesets"]) {
        const int64_t first = whole_number(ts, "firstgid", "a tileset of " + plan.in);
        if (first < 1 || first > int64_t{0x0FFFFFFF})
            throw world::ToolError(plan.in + " has a tileset with first id " + std::to_string(first));
        firsts.push_back(static_cast<uint32_t>(first));
        const Kind kind = tileset_kind(ts, map_dir, "a tileset of " + plan.in);
        if (kind == Kind::Other) continue;
        uint32_t& slot = kind == Kind::Ground ? ground : objects;
        const std::string name = kind == Kind::Ground ? kGroundTileset : kObjectsTileset;
        if (slot != 0) throw world::ToolError(plan.in + " has two " + name + " tilesets");
        slot = static_cast<uint32_t>(first);
    }
    for (const Kind k : {Kind::Ground, Kind::Objects}) {
        const std::string name = k == Kind::Ground ? kGroundTileset : kObjectsTileset;
        if ((k == Kind::Ground ? ground : objects) == 0)
            throw world::ToolError(plan.in + " has no " + name + " tileset (the tileset named \"" + name +
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
    if (!map.contains("layers") || !map["layers"].is_array()) throw world::ToolError(plan.in + " has no layers");
    const json& layers = map["layers"];
    for (size_t i = 0; i < layers.size(); ++i) {
        const json& l = layers[i];
        const std::string name = text_field(l, "name", "", "layer " + std::to_string(i + 1) + " of " + plan.in);
        for (size_t k = 0; k < 3; ++k) {
            if (name != kLayers[k].name) continue;
            LayerPlan& lp = plan.layers[k];
            const std::string where = "layer " + name + " of " + plan.in;
            if (lp.kind) throw world::ToolError(plan.in + " has two layers named " + name);
            if (text_field(l, "type", "", where) != "tilelayer") throw world::ToolError(where + " is not a tile layer");
            if (l.contains("chunks"))
                throw world::ToolError(where +
                                       " is stored in chunks, as in an infinite map; tlvx maps have a fixed size");
            const int64_t w = whole_number(l, "width", where), h = whole_number(l, "height", where);
            if (w != plan.w || h != plan.h)
                throw world::ToolError(where + " is " + std::to_string(w) + " x " + std::to_string(h) +
                                       " tiles, the map " + std::to_string(plan.w) + " x " + std::to_string(plan.h));
            const std::string encoding = text_field(l, "encoding", "csv", where);
            const std::string compression = text_field(l, "compression", "", where);
            if (encoding != "csv" && encoding != "base64")
                throw world::ToolError(where + " has data encoded as \"" + shown(encoding) +
                                       "\"; CSV and base64 are read");
            if (encoding == "base64" && compression == "zstd")
                throw world::ToolError(where +
                                       " is compressed with zstd, which import does not read; in Tiled set the map's "
                                       "tile layer format to Base64 (zlib compressed) or CSV and save again");
            if (encoding == "base64" && !compression.empty() && compression != "zlib" && compression != "gzip")
                throw world::ToolError(where + " is compressed as \"" + shown(compression) +
                                       "\"; zlib and gzip are read");
            lp.kind = &kLayers[k];
            lp.index = static_cast<int64_t>(i);
            lp.base64 = encoding == "base64";
            lp.compressed = lp.base64 && !compression.empty();
        }
    }
    for (size_t k = 0; k < 3; ++k)
        if (!plan.layers[k].kind)
            throw world::ToolError(plan.in + " has no tile layer named " + kLayers[k].name +
                                   " (the map needs the layers ground, structures and creatures)");
}

// The value of a region's origin property; nullopt when the map has no
// property of that name.
std::optional<int64_t> origin_property(const json& map, const char* name, const std::string& in) {
    if (!map.contains("properties")) return std::nullopt;
    const json& props = map["properties"];
    if (!props.is_array()) throw world::ToolError(in + " has map properties that are not a list, as Tiled writes them");
    for (const json& p : props) {
        if (!p.is_object() || p.value("name", std::string()) != name) continue;
        const std::string type = p.value("type", std::string("int"));
        if (type != "int" || !p.contains("value") || !p["value"].is_number_integer())
            throw world::ToolError(in + " has the map property " + name + " of type " + shown(type) + " (" +
                                   (p.contains("value")
                                        ? shown(p["value"].dump(-1, ' ', false, json::error_handler_t::replace))
                                        : std::string("no value")) +
                                   "); it must be a whole number (int), the first " +
                                   (name == std::string(kOriginXProperty) ? "column" : "row") +
                                   " of the region as export-tiled --region wrote it");
        return p["value"].get<int64_t>();
    }
    return std::nullopt;
}

void read_origin(const json& map, MapPlan& plan) {
    const std::optional<int64_t> x = origin_property(map, kOriginXProperty, plan.in);
    const std::optional<int64_t> y = origin_property(map, kOriginYProperty, plan.in);
    if (!x && !y) return;
    if (!x || !y)
        throw world::ToolError(plan.in + " has the map property " + (x ? kOriginXProperty : kOriginYProperty) +
                               " but not " + (x ? kOriginYProperty : kOriginXProperty) +
                               "; a region map needs both to know where it goes (export the region again, or add the "
                               "missing one in Tiled's map properties as an int)");
    plan.region = CellRegion{*x, *y, plan.w, plan.h};
}

void read_map_fields(const json& map, MapPlan& plan) {
    const std::string& in = plan.in;
    if (!map.is_object() || text_field(map, "type", "map", in) != "map")
        throw world::ToolError(in + " is not a Tiled map");
    if (flag_field(map, "infinite", in))
        throw world::ToolError(in +
                               " is an infinite map; tlvx maps have a fixed size: untick Infinite in the map's "
                               "properties in Tiled and save again");
    const int64_t w = whole_number(map, "width", in), h = whole_number(map, "height", in);
    if (w < 1 || w > 65535 || h < 1 || h > 65535)
        throw world::ToolError(in + " is " + std::to_string(w) + " x " + std::to_string(h) +
                               " tiles; a map is 1 to 65535 cells each way");
    plan.w = static_cast<int32_t>(w);
    plan.h = static_cast<int32_t>(h);
    read_origin(map, plan);
    read_tilesets(map, plan);
    read_layers(map, plan);
}

}  // namespace

std::string json_fault_message(const std::string& path, size_t byte, int id) {
    if (id != kNumberTooLarge) return broken_json_message(path, byte);
    const JsonPosition p = json_position(path, byte);
    return printable(path) + " holds a number too large to read at line " + std::to_string(p.line) + ", column " +
           std::to_string(p.column);
}

MapPlan read_map_plan(const std::string& in) {
    MapPlan plan;
    plan.in = printable(in);
    plan.path = in;
    const json map = parse_without_data(in);
    try {
        read_map_fields(map, plan);
    } catch (const json::exception&) {
        // A field of a type the checks above do not name.
        throw world::ToolError(plan.in + " is not a map as Tiled writes it: a field has a value of the wrong type");
    }
    return plan;
}

ImportResult import_tiled(const ImportOptions& opt) {
    const MapPlan plan = read_map_plan(opt.in);
    std::error_code ec;
    world::require_folder(opt.dir);
    // mended: the import holds the world's lock, so it is refused while a game
    // plays the world; the game writes each edit into its open layer files, and
    // new files renamed over them would lose every later edit with the old ones.
    const WorldLock lock = world::lock_world(opt.dir, opt.program);
    int32_t ow = 0, oh = 0;
    {
        const world::LayerReader ground(world::join_path(opt.dir, kLayerNames[0]));
        ground.header(ow, oh);
        const std::string map_size = std::to_string(plan.w) + " x " + std::to_string(plan.h);
        const std::string world_size = std::to_string(ow) + " x " + std::to_string(oh);
        if (plan.region) {
            const CellRegion& r = *plan.region;
            const std::string where =
                std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
            if (ow == 0 || oh == 0)
                throw world::ToolError(opt.in + " is the region " + where + " of a world, but " + opt.dir +
                                       " holds no map to put it into");
            if (r.x < 1 || r.y < 1 || r.x > ow || r.y > oh || r.x + r.w - 1 > ow || r.y + r.h - 1 > oh)
                throw world::ToolError("the region " + where + " of " + opt.in + " (its origin properties " +
                                       kOriginXProperty + ", " + kOriginYProperty +
                                       " and its size) reaches outside the " + "world in " + opt.dir + ", which is " +
                                       world_size + " cells");
        } else if ((ow != 0 || oh != 0) && (ow != plan.w || oh != plan.h)) {
            throw world::ToolError("the map in " + opt.in + " is " + map_size + " cells, the world in " + opt.dir +
                                   " " + world_size + "; a map of a region needs its properties " + kOriginXProperty +
                                   " and " + kOriginYProperty + ", as export-tiled --region writes them");
        }
        for (const LayerSpec& l : kLayers) {
            const std::string path = world::join_path(opt.dir, kLayerNames[l.file]);
            if (!world::path_exists(path)) continue;
            // The new file is renamed into place: a link or a folder would be
            // replaced rather than written through, so they are refused.
            if (!fs::is_regular_file(fs::symlink_status(path, ec)))
                throw world::ToolError(path + " is not a plain file (a link or a folder); the world is left as it was");
            if (::access(path.c_str(), W_OK) != 0)
                throw world::ToolError(path + " cannot be written; the world is left as it was");
        }
    }
    // All three layers go to temporary files first; they replace the old
    // ones together, or not at all.
    world::StagedFiles staged;
    std::array<std::unique_ptr<LayerOut>, 3> outs;
    std::array<LayerOut*, 3> ptrs{};
    for (size_t k = 0; k < 3; ++k) {
        const char* name = kLayerNames[kLayers[k].file];
        outs[k] = plan.region ? std::make_unique<LayerOut>(staged, opt.dir, name, ow, *plan.region)
                              : std::make_unique<LayerOut>(staged, opt.dir, name, plan.w, plan.h);
        ptrs[k] = outs[k].get();
    }
    Progress progress(opt.progress, "importing", int64_t{3} * plan.h);
    stream_layer_data(plan, ptrs, progress);
    for (auto& o : outs) o->finish();
    staged.commit();
    ImportResult result{plan.w, plan.h, ow, oh, plan.region};
    return result;
}

}  // namespace tlvx::tools::tiled
