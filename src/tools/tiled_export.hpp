#pragma once
// Writing a world as a Tiled map: OUT.tmj with the layers ground, structures
// and creatures, and beside it the two tilesets OUT-ground.tsj and
// OUT-objects.tsj with their PNG atlases.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/render.hpp"

namespace tlvx::tools::tiled {

// Whole maps of more cells than this are refused (a part can be exported
// with a region): Tiled reads and saves a 2048 x 2048 map in a few seconds
// and about 120 MB, a 4096 x 4096 one takes minutes.
constexpr int64_t kMaxWholeExportCells = int64_t{2048} * 2048;
// The side of the region suggested when a whole map is refused.
constexpr int64_t kSuggestedRegionSide = 200;

// Names of the map properties that hold a region's first column and row.
inline constexpr const char* kOriginXProperty = "tlvx-origin-x";
inline constexpr const char* kOriginYProperty = "tlvx-origin-y";

struct ExportOptions {
    std::string dir;        // the world folder
    std::string out;        // the map file to write, e.g. world.tmj
    bool csv = false;       // layer data as CSV instead of base64 of zlib
    bool progress = false;  // a progress bar on standard error
    bool force = false;     // replace a map or tileset file that exists already
    // Only these cells, as a map of the region's size whose properties hold
    // its first column and row.
    std::optional<CellRegion> region = std::nullopt;
};

struct ExportResult {
    int32_t w = 0, h = 0;              // the map written
    int32_t world_w = 0, world_h = 0;  // the world's map
    std::optional<CellRegion> region = std::nullopt;
    std::vector<std::string> written;   // the files, map last
    std::vector<std::string> warnings;  // tables that do not load, pictures that cannot be drawn
};

// Reads the layer files row by row and streams each layer into the map as it
// is read, so maps of any size need little memory. The files are written to
// temporary files and renamed into place together when all are complete.
// Throws ToolError, before writing anything, when one of the files exists
// already and `force` is not set, when the world has no map, the
// region reaches outside it, or the whole map is over kMaxWholeExportCells
// (suggesting a region around the player's start); and when a file cannot be
// written. Throws StopRequested on SIGINT or SIGTERM (see stop_signal.hpp).
ExportResult export_tiled(const ExportOptions& options);

}  // namespace tlvx::tools::tiled
