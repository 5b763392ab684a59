#pragma once
// The two tile atlases of an exported map, drawn with the game's own picture
// loading and blitting: 256 tiles of 24x24 pixels, 16 a row, RGBA.
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx {
struct State;
}

namespace tlvx::tools::tiled {

struct Atlas {
    // Rows of 384 pixels, top first; starts transparent black.
    std::vector<uint8_t> rgba = std::vector<uint8_t>(size_t{384} * 384 * 4);
};

// A tile is drawn on a screen filled with index 0 and again on one filled
// with 255, each time from the world's palette and an empty image buffer, as
// if it were the first cell drawn. A pixel that both draws leave as they were
// (0 and 255) is transparent; every other pixel is opaque and takes the
// colour of its index over 0, in the palette as it stands after the draw (a
// BMP's colour table replaces entries as in the game). Pixels outside the
// 24x24 cell are cut off.
//
// Ground value v: its picture put with "pset", so a picture smaller than the
// cell leaves the rest transparent. Object value v: frame 1, its mask put
// with "and" then its picture with "or", centred by its size: transparent
// where the mask is 255 and the picture 0, the picture's colour where the
// mask is 0, and for other mixes the colour of (0 AND mask) OR picture.
//
// `s` holds the world's tables, and its screen palette is the world's palette
// (as loading the palette file leaves it); both are as before on return.
// Pictures that cannot be drawn give transparent tiles and one line each in
// `warnings`.
Atlas ground_atlas(State& s, std::vector<std::string>& warnings);
Atlas objects_atlas(State& s, std::vector<std::string>& warnings);

}  // namespace tlvx::tools::tiled
