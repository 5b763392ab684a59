// Numbered placeholder pictures for the values the demo set has no art for:
// a map maker who places such a value sees its number instead of whatever the
// cell showed before.
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"

namespace tlvx::world {

namespace {

// Digits 0 to 9, 3 by 5 pixels: row y of digit d is bits 2 (left) to 0 (right).
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// The value's decimal digits centred on a square picture of `side` pixels,
// each pixel of a digit a `scale` by `scale` block.
template <typename Put>
void draw_number(int value, int side, int scale, Put put) {
    const std::string digits = std::to_string(value);
    const int n = static_cast<int>(digits.size());
    const int step = 4 * scale, width = n * step - scale;
    const int x0 = (side - width) / 2, y0 = (side - 5 * scale) / 2;
    for (int k = 0; k < n; ++k)
        for (int y = 0; y < 5 * scale; ++y)
            for (int x = 0; x < 3 * scale; ++x)
                if (kDigits[digits[static_cast<size_t>(k)] - '0'][y / scale] & (4 >> (x / scale)))
                    put(x0 + k * step + x, y0 + y);
}

}  // namespace

Picture art_placeholder_ground(int value) {
    Picture p(kTile, kTile, col::StoneDark);
    for (int i = 0; i < kTile; ++i) {
        p.at(i, 0) = p.at(i, kTile - 1) = col::Magenta;
        p.at(0, i) = p.at(kTile - 1, i) = col::Magenta;
    }
    draw_number(value, kTile, 2, [&](int x, int y) { p.at(x, y) = col::White; });
    return p;
}

Picture art_placeholder_object(int value) {
    Picture p(kPlaceholderObjectSide, kPlaceholderObjectSide, col::Magenta);
    for (int i = 0; i < kPlaceholderObjectSide; ++i) {
        p.at(i, 0) = p.at(i, kPlaceholderObjectSide - 1) = col::Outline;
        p.at(0, i) = p.at(kPlaceholderObjectSide - 1, i) = col::Outline;
    }
    draw_number(value, kPlaceholderObjectSide, 1, [&](int x, int y) { p.at(x, y) = col::White; });
    return p;
}

}  // namespace tlvx::world
