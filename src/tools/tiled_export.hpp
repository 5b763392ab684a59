#pragma once
// Writing a world as a Tiled map: OUT.tmj with the layers ground, structures
// and creatures, and beside it the two tilesets OUT-ground.tsj and
// OUT-objects.tsj with their PNG atlases.
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx::tools::tiled {

struct ExportOptions {
    std::string dir;        // the world folder
    std::string out;        // the map file to write, e.g. world.tmj
    bool csv = false;       // layer data as CSV instead of base64 of zlib
    bool progress = false;  // a progress bar on standard error
};

struct ExportResult {
    int32_t w = 0, h = 0;
    std::vector<std::string> written;   // the files, map last
    std::vector<std::string> warnings;  // tables that do not load, pictures that cannot be drawn
};

// Reads the layer files row by row and streams each layer into the map as it
// is read, so maps of any size need little memory. Every file goes through a
// temporary file renamed into place. Throws ToolError when the world has no
// map or a file cannot be written.
ExportResult export_tiled(const ExportOptions& options);

}  // namespace tlvx::tools::tiled
