// The keyboard side of a pass: the one poll, the key sets, the display toggles,
// the redraw flag, the start- and end-of-pass copies and the pause.
#include <cstdint>
#include <string>

#include "base/platform.hpp"
#include "base/state.hpp"
#include "display/screen.hpp"
#include "input/keys.hpp"
#include "sim/random.hpp"

namespace tlvx {

namespace {
// mended: 1 - v in 32-bit arithmetic, wrapping instead of overflowing for the lowest value.
int32_t one_minus(int32_t v) { return static_cast<int32_t>(1 - static_cast<int64_t>(v)); }
}  // namespace

void poll_and_copy(State& s) {
    reseed(s, s.platform->time());
    s.KEY = KEY_POLL(s);
    s.CC_S = " " + s.KEY + " ";
    copy_pass_values(s);
}

bool key_is(const State& s, KeyName name) { return key_matches(key_row(name), s.KEY, s.CC_S); }

void display_toggles(State& s) {
    if (key_is(s, KeyName::StatusPanel)) s.I = one_minus(s.I);
    // C++ % truncates like the cycle wants: a negative O gives (O mod 4) + 1 <= 1.
    if (key_is(s, KeyName::StoredSetting)) s.O = (s.O % 4) + 1;
}

void redraw_reset(State& s) { s.SCRNUPDT = s.SCRNUPDT == 3 ? 1 : 0; }

void copy_pass_values(State& s) {
    s.VX1 = s.VX2;
    s.VY1 = s.VY2;
    s.D1 = s.D2;
    s.G1 = s.G2;
}

void pause_if_asked(State& s) {
    if (!key_is(s, KeyName::Pause)) return;
    // The key that ends the pause is discarded, not treated as a command.
    while (KEY_POLL(s, true).empty()) {}
}

void road_toggle(State& s) {
    if (key_is(s, KeyName::RoadFollowing)) s.P = one_minus(s.P);
}

void position_clamp(State& s) {
    if (s.VX2 > s.WX) s.VX2 = s.WX;
    else if (s.VX2 < 1) s.VX2 = 1;
    if (s.VY2 > s.WY) s.VY2 = s.WY;
    else if (s.VY2 < 1) s.VY2 = 1;
}

}  // namespace tlvx
