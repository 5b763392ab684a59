// The two real-time ticks (animation phase and arm counter) and the game clock.
#include <cmath>

#include "base/platform.hpp"
#include "base/rounding.hpp"
#include "base/state.hpp"
#include "sim/clock.hpp"
#include "sim/random.hpp"

namespace tlvx {

namespace {

// kept: a tick happens in the first pass whose reading is strictly past the mark; the
// new mark is a second reading rounded half to even, so a reading in the first
// half of a second leaves the mark behind it and the next pass ticks again.
void tick(State& s, int32_t& mark, int32_t threshold, int32_t& counter) {
    double reading = s.platform->time();
    if (reading - mark > threshold) {
        mark = round_half_even(s.platform->time());
        counter = (counter % 4) + 1;
    }
}

}  // namespace

void clock_step(State& s) {
    tick(s, s.BR, s.BT, s.GC);
    tick(s, s.SB, s.SA, s.GE);

    if (s.GC == 4) s.TIMM += 1;
    if (s.VX2 != s.VX1 || s.VY2 != s.VY1) s.TIMM += static_cast<int32_t>(std::floor(rnd(s) * 15)) + 16;
    if (s.TIMD == 0) s.TIMD = 1;

    while (s.TIMM >= 60) {
        s.TIMM -= 60;
        s.TIMH += 1;
    }
    while (s.TIMH >= 24) {
        s.TIMH -= 24;
        s.TIMD += 1;
    }
}

}  // namespace tlvx
