#include "display/status.hpp"

#include <string>

#include "base/platform.hpp"
#include "base/rounding.hpp"
#include "base/state.hpp"
#include "data/palette_file.hpp"
#include "display/screen.hpp"

namespace tlvx {

namespace {

constexpr int32_t kCol = 33;  // the status display's column

// The last n characters of the decimal text of v (zero-padded fields are made
// by adding 1000 or 1001 first).
std::string last_digits(int64_t v, size_t n) {
    std::string t = std::to_string(v);
    return t.size() > n ? t.substr(t.size() - n) : t;
}

void row_text(State& s, int32_t row, const std::string& text) {
    TEXT_LOCATE(s, row, kCol);
    TEXT_PRINT(s, text);
}

}  // namespace

uint32_t pack_colour(const PAL_TYPE& p) {
    return (255u << 24) | (static_cast<uint32_t>(p.R) & 255u) << 16 | (static_cast<uint32_t>(p.G) & 255u) << 8 |
           (static_cast<uint32_t>(p.B) & 255u);
}

void load_palette_file(State& s) {
    read_palette_file(s);
    for (int32_t index = kPaletteFileFirst; index <= 255; ++index) PALETTE_SET(s, index, pack_colour(s.PAL(index)));
    set_gradient(s);
}

void set_gradient(State& s) {
    for (int32_t k = 1; k <= 16; ++k) {
        PAL_TYPE& e = s.PAL(222 + k);
        e.R = 0;
        e.G = (15 * 32 + 63 * k) / 32;  // floor(15 + 31.5 * k / 16)
        e.B = 63 * k / 16;
        PALETTE_SET(s, 222 + k, pack_colour(e));
    }
}

void colour_rotation(State& s) {
    const double t = s.platform ? s.platform->time() : 0.0;
    const int32_t p = ((round_half_even(t * 4) % 4) + 4) % 4;
    for (int32_t k = 0; k <= 3; ++k) {
        const int32_t index = 239 + (p + k) % 4;
        PAL_TYPE& e = s.PAL(index);
        e.R = 63;
        e.G = 16 * k;
        e.B = 8 * k;
        PALETTE_SET(s, index, pack_colour(e));
    }
}

void status_display(State& s) {
    TEXT_COLOR(s, 5);
    TEXT_LOCATE(s, 2, kCol);
    if (s.GC == 1 || s.GC == 3) {
        TEXT_COLOR(s, 13);
        TEXT_PRINT(s, "TaLoVeX");
    }
    if (s.GC == 2 || s.GC == 4) {
        TEXT_COLOR(s, 5);
        TEXT_PRINT(s, "tAlOvEx");
        TEXT_COLOR(s, 15);
    }
    TEXT_COLOR(s, 11);
    row_text(s, 3, s.P2_S);
    TEXT_COLOR(s, 15);
    row_text(s, 5, s.NM_S);

    row_text(s, 6, "Aim:");
    TEXT_COLOR(s, s.P == 1 ? 1 : 9);
    TEXT_PRINT(s, s.A_S(s.D2));
    TEXT_COLOR(s, 15);

    row_text(s, 7, "Arm:");
    TEXT_COLOR(s, s.GE >= 4 ? 15 : 8);
    NUMBER_PRINT(s, s.GE);
    TEXT_COLOR(s, 15);

    row_text(s, 9, "Day " + last_digits(int64_t{s.TIMD % 365} + 1001, 3));
    // kept: the hour shows 01 to 12, hour 0 as 01 (not 12).
    row_text(s, 10, last_digits(int64_t{s.TIMH % 12} + 1001, 2));
    TEXT_PRINT(s, ":");
    TEXT_PRINT(s, last_digits(int64_t{s.TIMM % 60} + 1000, 2));
    TEXT_PRINT(s, s.TIMH < 12 ? "am" : "pm", true);

    colour_rotation(s);

    const D_TYPE& ahead = s.D(s.D2);
    row_text(s, 12, "gr:" + last_digits(int64_t{s.GR(ahead.X, ahead.Y)} + 1000, 3));
    row_text(s, 13, "cr:" + last_digits(int64_t{s.CR(ahead.X, ahead.Y)} + 1000, 3));
    row_text(s, 14, "cs:" + last_digits(int64_t{s.CS(ahead.X, ahead.Y)} + 1000, 3));

    row_text(s, 16, "x:");
    NUMBER_PRINT(s, s.VX2);
    row_text(s, 17, "y:");
    NUMBER_PRINT(s, s.VY2);
}

}  // namespace tlvx
