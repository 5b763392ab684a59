#pragma once
// Screen operations: the 320x200 surface, the palette, the 40x25 text overlay
// and the key poll. All go through the program state; the platform only shows
// the surface and supplies keys.
#include <cstdint>
#include <string>

#include "base/screen_types.hpp"

namespace tlvx {
struct State;

// The standard VGA default palette (8-bit components as shown) and the 8x8
// code page 437 glyphs (8 bytes per character, top row first, bit 7 leftmost).
extern const std::array<Rgb, 256> kVgaDefaultPalette;
extern const uint8_t kFont8x8[256][8];

// A 6-bit level as an 8-bit component: v * 255 / 63, fraction dropped.
uint8_t level_to_8bit(uint32_t level);

void SCREEN_OPEN(State& s, int32_t mode);
void TEXT_COLOR(State& s, int32_t fg);
void SCREEN_CLEAR(State& s);
void MOUSE_SET(State& s, int32_t x, int32_t y, int32_t show);
void PALETTE_SET(State& s, int32_t index, uint32_t packed);
void TEXT_GRID(State& s, int32_t cols, int32_t rows);
void BOX_FILL(State& s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
void TEXT_LOCATE(State& s, int32_t row, int32_t col);
void TEXT_PRINT(State& s, const std::string& text, bool line_end = false);
void NUMBER_PRINT(State& s, int32_t v);
std::string KEY_POLL(State& s, bool paused = false);
void SCREEN_CLOSE(State& s);

}  // namespace tlvx
