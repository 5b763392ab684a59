#pragma once
// The two real-time ticks and the game clock.

namespace tlvx {
struct State;

void clock_step(State& s);  // ticks, game clock and roll-over

}  // namespace tlvx
