#pragma once
// Internals of import: what the map holds (read without its layer data), the
// layer files being written, and the second read that streams the data.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/render.hpp"
#include "tools/tiled_format.hpp"
#include "world/picture_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::world {
class StagedFiles;
}

namespace tlvx::tools::tiled {

// Where one of the three layers sits in the map and how its data is coded.
struct LayerPlan {
    const LayerSpec* kind = nullptr;
    int64_t index = -1;       // position in the map's top-level "layers"
    bool base64 = false;      // otherwise CSV: an array of numbers
    bool compressed = false;  // zlib or gzip
};

// The global ids a layer accepts: [first, end) of its tileset.
struct GidRange {
    uint32_t first = 0, end = 0;
};

struct MapPlan {
    std::string in;    // the map file as named in messages (control characters escaped)
    std::string path;  // the map file as opened
    int32_t w = 0, h = 0;
    // A part of a world: where the map's first cell goes (from the map's
    // origin properties), the map's size as width and height.
    std::optional<CellRegion> region;
    GidRange ground, objects;
    std::array<LayerPlan, 3> layers;  // in the order of kLayers
};

// Reads the map without its layer data and checks everything that can be
// checked without it. Throws ToolError.
MapPlan read_map_plan(const std::string& in);

// The JSON reader's number for a number too large for a double.
inline constexpr int kNumberTooLarge = 406;

// One line for a fault the JSON reader reported at byte `byte` with the
// number `id`: a number too large, or the JSON breaking there.
std::string json_fault_message(const std::string& path, size_t byte, int id);

// One new layer file, written to a temporary file of `staged` in the world
// folder, cell by cell in the map's order.
class LayerOut {
public:
    // The whole map: header, row 0 and bytes after the map kept as described
    // in import_tiled, the cells written in between.
    LayerOut(world::StagedFiles& staged, const std::string& dir, const char* name, int32_t w, int32_t h);
    // A region of a map `world_w` wide: a copy of the old file with its holes
    // whose cells inside `region` are replaced. Bytes that do not change are
    // not written, so holes stay holes unless a cell in them changes.
    LayerOut(world::StagedFiles& staged, const std::string& dir, const char* name, int32_t world_w,
             const CellRegion& region);

    void cell(uint8_t v);
    int64_t cells() const { return cells_; }
    // Writes what follows the cells and flushes the file to disk; the staged
    // set renames it into place.
    void finish();

private:
    void flush();
    void put_region_row();
    std::string path_;
    world::ToolFile out_;
    std::unique_ptr<world::LayerReader> old_file_;  // region: the file the copy was made of
    int32_t w_ = 0, h_ = 0;
    std::optional<CellRegion> region_;
    int64_t cells_ = 0;
    int64_t pos_ = 0;  // file position of buf_[0]
    std::vector<uint8_t> buf_, old_;
};

// Second read of the map: streams every layer's data, checks each tile id and
// hands the values to `outs` (in the order of kLayers), a step of `progress`
// for every row. Throws ToolError.
void stream_layer_data(const MapPlan& plan, const std::array<LayerOut*, 3>& outs, Progress& progress);

}  // namespace tlvx::tools::tiled
