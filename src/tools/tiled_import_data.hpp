#pragma once
// Internals of import: what the map holds (read without its layer data), the
// layer files being written, and the second read that streams the data.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/picture_files.hpp"
#include "tools/tiled_format.hpp"

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
    std::string in;
    int32_t w = 0, h = 0;
    GidRange ground, objects;
    std::array<LayerPlan, 3> layers;  // in the order of kLayers
};

// Reads the map without its layer data and checks everything that can be
// checked without it. Throws ToolError.
MapPlan read_map_plan(const std::string& in);

// One new layer file, written to a temporary file in the world folder:
// header, row 0 and bytes after the map kept as described in import_tiled,
// cells appended one by one.
class LayerOut {
public:
    // The temporary file is removed unless committed.
    LayerOut(const std::string& dir, const char* name, int32_t w, int32_t h);

    void cell(uint8_t v);
    int64_t cells() const { return cells_; }
    // Writes what follows the cells and flushes the file to disk.
    void finish();
    // Renames the finished file over the old one.
    void commit();

private:
    void flush();
    std::string path_;
    ToolFile out_;
    int32_t w_ = 0, h_ = 0;
    int64_t cells_ = 0;
    int64_t pos_ = 0;  // file position of buf_[0]
    std::vector<uint8_t> buf_;
};

// Second read of the map: streams every layer's data, checks each tile id and
// hands the values to `outs` (in the order of kLayers), a step of `progress`
// for every row. Throws ToolError.
void stream_layer_data(const MapPlan& plan, const std::array<LayerOut*, 3>& outs, Progress& progress);

}  // namespace tlvx::tools::tiled
