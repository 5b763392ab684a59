#pragma once
// Rounding of time readings and real numbers to the game's 32-bit integers.
#include <cstdint>

namespace tlvx {

// Round to the nearest integer, halves to the even neighbour, saturating to 32
// bits; NaN gives 0.
int32_t round_half_even(double v);

}  // namespace tlvx
