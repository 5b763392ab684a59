#include "tools/tiled_tiles.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>

#include "base/error.hpp"
#include "base/state.hpp"
#include "display/image.hpp"
#include "display/view.hpp"
#include "tools/tiled_format.hpp"

namespace tlvx::tools::tiled {

namespace {

constexpr size_t kTilePixels = size_t{kTile} * kTile;

struct Shot {
    std::array<uint8_t, kTilePixels> px{};
    std::array<Rgb, 256> palette{};
};

// One draw of a tile on a screen filled with `background`, from the world's
// palette and an empty image buffer; the cell's corner is the screen's.
Shot shoot(State& s, const std::array<Rgb, 256>& base, uint8_t background, const std::function<void()>& paint) {
    s.screen.palette = base;
    s.SCN.fill(0);
    s.screen.pixels.fill(background);
    paint();
    Shot shot;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) shot.px[static_cast<size_t>(y * kTile + x)] = s.screen.at(x, y);
    shot.palette = s.screen.palette;
    return shot;
}

// Draws tile `index` of the atlas with `paint`; a failing draw leaves it
// transparent and adds a warning.
void draw_tile(State& s, Atlas& atlas, int index, const std::string& what, const std::function<void()>& paint,
               std::vector<std::string>& warnings) {
    const std::array<Rgb, 256> base = s.screen.palette;
    Shot over0, over255;
    try {
        over0 = shoot(s, base, 0, paint);
        over255 = shoot(s, base, 255, paint);
    } catch (const RuntimeError& e) {
        s.screen.palette = base;
        warnings.push_back(what + " cannot be drawn: " + describe(e) + "; its tile is left transparent");
        return;
    }
    s.screen.palette = base;
    const int x0 = (index % kAtlasColumns) * kTile, y0 = (index / kAtlasColumns) * kTile;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            const size_t i = static_cast<size_t>(y * kTile + x);
            const uint8_t a = over0.px[i], b = over255.px[i];
            if (a == 0 && b == 255) continue;  // untouched: transparent
            uint8_t* out = &atlas.rgba[(static_cast<size_t>(y0 + y) * kAtlasSide + static_cast<size_t>(x0 + x)) * 4];
            const Rgb& c = over0.palette[a];
            out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = 255;
        }
}

// The object's offset in its cell: half the room left, rounded down.
int32_t centre_offset(int32_t cell, int32_t size) {
    const int64_t room = int64_t{cell} - size;
    const int64_t half = room >= 0 ? room / 2 : -((-room + 1) / 2);
    return static_cast<int32_t>(std::clamp<int64_t>(half, INT32_MIN, INT32_MAX));
}

}  // namespace

Atlas ground_atlas(State& s, std::vector<std::string>& warnings) {
    Atlas atlas;
    for (int v = 0; v <= 255; ++v) {
        const std::string name = s.M_S(v);
        if (name.empty()) continue;
        draw_tile(
            s, atlas, v, "ground value " + std::to_string(v),
            [&] {
                std::string grpt = name, mode = "pset";
                int32_t x = 0, y = 0;
                GRAPHICPUT(s, grpt, x, y, mode);
            },
            warnings);
    }
    return atlas;
}

Atlas objects_atlas(State& s, std::vector<std::string>& warnings) {
    Atlas atlas;
    for (int v = 1; v <= 255; ++v) {
        const std::string picture = s.OBJ_S(v, 1);
        if (picture.empty()) continue;
        const int32_t offset = centre_offset(s.SZ, s.OBJ(v));
        draw_tile(
            s, atlas, v, "object value " + std::to_string(v),
            [&] {
                std::string pic = picture, mask = mask_name(picture), and_mode = "and", or_mode = "or";
                int32_t x = offset, y = offset;
                GRAPHICPUT(s, mask, x, y, and_mode);
                GRAPHICPUT(s, pic, x, y, or_mode);
            },
            warnings);
    }
    return atlas;
}

}  // namespace tlvx::tools::tiled
