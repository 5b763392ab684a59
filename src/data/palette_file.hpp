#pragma once
// The palette file: red, green and blue levels (0 to 63) of the palette
// entries 175 to 255, read into PAL.
#include <cstdint>

namespace tlvx {
struct State;

constexpr int32_t kPaletteFileFirst = 175;  // the first entry the file gives

// ".\tlvx_w05.pal" through slot 7 into PAL(175) to PAL(255); missing items
// read as 0. Runtime error 2 when the file cannot be opened.
void read_palette_file(State& s);

}  // namespace tlvx
