#pragma once
// Where the 320x200 picture goes in a window, centred (letterboxed). With
// square pixels it is scaled by the largest whole factor that fits, so every
// pixel is the same size. With the 4:3 option the picture is 320x240 logical
// pixels, each row 1.2 times as tall as a pixel is wide, as on the displays of
// the time, and it fills the window as far as that aspect allows. Free of SDL
// so it can be tested alone.
#include <algorithm>
#include <cmath>

namespace tlvx {

struct PictureRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const PictureRect&) const = default;
};

inline PictureRect picture_rect(int out_w, int out_h, bool aspect_4_3) {
    const int lw = 320, lh = aspect_4_3 ? 240 : 200;
    PictureRect r;
    const int k = std::min(out_w / lw, out_h / lh);
    if (k >= 1 && !aspect_4_3) {
        r.w = lw * k;
        r.h = lh * k;
    } else {
        // 4:3, or a window smaller than one picture: as large as fits, never cropped.
        const double f = std::min(static_cast<double>(out_w) / lw, static_cast<double>(out_h) / lh);
        r.w = std::clamp(static_cast<int>(std::lround(lw * f)), 1, std::max(out_w, 1));
        r.h = std::clamp(static_cast<int>(std::lround(lh * f)), 1, std::max(out_h, 1));
    }
    r.x = (out_w - r.w) / 2;
    r.y = (out_h - r.h) / 2;
    return r;
}

// The whole factor of the sharp intermediate picture for a 4:3 picture of
// `w` x `h`: the smallest one whose 320k x 200k covers it, so the last step,
// with linear filtering, only ever shrinks and every row stays equally tall.
inline int sharp_factor(int w, int h) { return std::max({1, (w + 319) / 320, (h + 199) / 200}); }

// The starting window scale: 3, or less when the usable display area is
// smaller (never below 1).
inline int start_scale(int usable_w, int usable_h) {
    int k = 3;
    while (k > 1 && (320 * k > usable_w || 200 * k > usable_h)) --k;
    return k;
}

}  // namespace tlvx
