#pragma once
// The program's icon, drawn from the demo world's art: the hero standing on a
// grass tile, scaled up by whole factors so every pixel stays crisp.
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx::tools {

constexpr int kIconMinSize = 24;  // one tile
constexpr int kIconMaxSize = 1024;

// A square RGBA picture, rows top first, 4 bytes a pixel.
struct IconImage {
    int size = 0;
    int scale = 0;  // the whole factor the tile was drawn at
    std::vector<uint8_t> rgba;
    const uint8_t* pixel(int x, int y) const { return &rgba[(static_cast<size_t>(y) * size + x) * 4]; }
};

// The icon `size` pixels square (kIconMinSize to kIconMaxSize): the tile at
// the largest whole scale that fits, centred, transparent around it and in
// its four corner pixels. Throws ToolError for a size out of range.
IconImage make_icon(int size);

// Writes make_icon(size) as a PNG (through a temporary file).
void write_icon_png(const std::string& path, int size);

// The largest icon a Windows icon file's directory can name.
constexpr int kIcoMaxSize = 256;
// Writes make_icon(size) as a Windows icon file (what browsers ask a site for
// as /favicon.ico): one image, held as the PNG write_icon_png writes. Throws
// ToolError for a size above kIcoMaxSize.
void write_icon_ico(const std::string& path, int size);

}  // namespace tlvx::tools
