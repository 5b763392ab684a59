#pragma once
// Reading a Tiled map back into a world's layer files.
#include <cstdint>
#include <optional>
#include <string>

#include "tools/render.hpp"

namespace tlvx::tools::tiled {

struct ImportOptions {
    std::string in;                                  // the map file (.tmj, JSON)
    std::string dir;                                 // the world folder
    bool progress = false;                           // a progress bar on standard error
    std::string program = "tlvx-tool import-tiled";  // the name in the world's lock file while writing
};

struct ImportResult {
    int32_t w = 0, h = 0;              // the map read
    int32_t world_w = 0, world_h = 0;  // the world's map (0 when the folder had none)
    std::optional<CellRegion> region;  // where a region map went
};

// Writes tlvx_gr1.tmp to tlvx_gr3.tmp of `dir` from the layers ground,
// creatures and structures of the map; tlvx_gr4.tmp and tlvx_gr5.tmp are not
// touched. Each file gets the map size as its header; row 0 and any bytes
// after the last cell are kept from the old file (row 0 zero where it had
// none). The map must have the world's size (any size when the folder has no
// map yet).
//
// The world's lock is held from the check of `dir` on; a world another
// program holds (a game playing it) is refused with a ToolError.
//
// Accepts CSV or base64 layer data, uncompressed or zlib or gzip compressed,
// layers in any order, tilesets embedded or in files. Refused with a
// ToolError: infinite maps, zstd, a missing layer, a layer or map whose size
// does not fit, a tile id outside the layer's tileset, a flipped or rotated
// tile (naming the cell). The three new files are written to temporary files
// in `dir` and renamed over the old ones only when all three are complete, so
// a refused, failed or interrupted import (StopRequested on SIGINT or
// SIGTERM) leaves the world as it was.
//
// A map with the origin properties that export-tiled --region writes is a
// region: its cells go into that rectangle of the world, whose layer files
// are otherwise copied as they are (holes and length included, in time of
// their data, not their length). Refused when the rectangle reaches outside
// the world, the folder has no map, or only one of the two properties is
// there or one is not a whole number.
ImportResult import_tiled(const ImportOptions& options);

}  // namespace tlvx::tools::tiled
