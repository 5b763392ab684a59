#pragma once
// Drawing a world's map (or a part of it) into a PNG at 24 pixels a cell,
// with the game's own picture loading and blitting, so that every cell looks
// exactly as it does in the game's view.
#include <cstdint>
#include <optional>
#include <string>

namespace tlvx::tools {

// A rectangle of map cells: first column and row (1-based), width and height.
struct CellRegion {
    int64_t x = 1, y = 1, w = 0, h = 0;
};

// "X,Y,W,H" -> region; nullopt when the text is not four whole numbers 1 to 65535.
std::optional<CellRegion> parse_region(const std::string& text);

// Pictures larger than this are refused: a side of more than 16384 pixels or
// more than 100 million pixels in all.
constexpr int64_t kMaxRenderSide = 16384;
constexpr int64_t kMaxRenderPixels = 100'000'000;

struct RenderOptions {
    std::string dir;                   // the world folder
    std::string out;                   // the PNG to write
    std::optional<CellRegion> region;  // the whole map when absent
    int32_t frame = 1;                 // animation frame 1 to 4
    bool progress = false;             // draw a progress bar on standard error
};

// Throws ToolError with a message for the user when the world cannot be
// loaded, the region does not fit the map or the limits, or a cell cannot be
// drawn.
void render_world(const RenderOptions& options);

}  // namespace tlvx::tools
