#pragma once
// World simulation: the shared random generator, the creatures and the clock.
#include <cstdint>

namespace tlvx {
struct State;

// Next random number in [0, 1) from the 24-bit generator.
double rnd(State& s);
// Seed from a time reading, keeping the old low byte.
void reseed(State& s, double t);

void creature_sweep(State& s);  // clears LC; sweeps when GC = 4
void clock_step(State& s);      // ticks, game clock and roll-over

}  // namespace tlvx
