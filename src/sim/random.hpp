#pragma once
// The shared random generator.
#include <cstdint>

namespace tlvx {
struct State;

// Next random number in [0, 1) from the 24-bit generator.
double rnd(State& s);
// Seed from a time reading, keeping the old low byte.
void reseed(State& s, double t);

}  // namespace tlvx
