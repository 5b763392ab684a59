#pragma once
// The status display beside the view, and the palette it rotates.
#include <cstdint>

namespace tlvx {
struct State;
struct PAL_TYPE;

void status_display(State& s);  // the panel and the colour rotation

// Palette: the packed value handed to PALETTE_SET for an entry.
uint32_t pack_colour(const PAL_TYPE& p);
void load_palette_file(State& s);  // ".\tlvx_w05.pal" through slot 7, then the gradient
void set_gradient(State& s);
void colour_rotation(State& s);

}  // namespace tlvx
