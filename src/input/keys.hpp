#pragma once
// The key side of a pass: the key poll, the toggles, the redraw reset, the
// start-of-pass copies, the pause, the road-following toggle and the position
// clamp.
#include <string>

#include "input/key_table.hpp"

namespace tlvx {
struct State;

// Re-seed, poll one key into KEY and CC$, copy VX1/VY1/D1/G1.
void poll_and_copy(State& s);
// True when this pass's key (KEY, CC$) is the row's (input/key_table.hpp).
bool key_is(const State& s, KeyName name);
void display_toggles(State& s);   // "i"/"I", "o"/"O"
void redraw_reset(State& s);      // SCRNUPDT: 3 -> 1, else 0
void copy_pass_values(State& s);  // VX1 = VX2 ... G1 = G2
void pause_if_asked(State& s);    // "p"/"P": poll until a key, discard it
void road_toggle(State& s);       // "."
void position_clamp(State& s);

}  // namespace tlvx
