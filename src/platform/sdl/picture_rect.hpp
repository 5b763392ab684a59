#pragma once
// Where the 320x200 picture goes in a window: scaled by the largest whole
// factor that fits and centred (letterboxed). With the 4:3 option the picture
// is 320x240 logical pixels, each screen row 1.2 times as tall as a pixel is
// wide, as on the displays of the time. Free of SDL so it can be tested alone.
#include <algorithm>

namespace tlvx {

struct PictureRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const PictureRect&) const = default;
};

inline PictureRect picture_rect(int out_w, int out_h, bool aspect_4_3) {
    const int lw = 320, lh = aspect_4_3 ? 240 : 200;
    PictureRect r;
    int k = std::min(out_w / lw, out_h / lh);
    if (k >= 1) {
        r.w = lw * k;
        r.h = lh * k;
    } else {
        // A window smaller than one picture: shrink to fit rather than crop.
        double f = std::min(static_cast<double>(out_w) / lw, static_cast<double>(out_h) / lh);
        r.w = std::max(1, static_cast<int>(lw * f));
        r.h = std::max(1, static_cast<int>(lh * f));
    }
    r.x = (out_w - r.w) / 2;
    r.y = (out_h - r.h) / 2;
    return r;
}

// The starting window scale: 3, or less when the usable display area is
// smaller (never below 1).
inline int start_scale(int usable_w, int usable_h) {
    int k = 3;
    while (k > 1 && (320 * k > usable_w || 200 * k > usable_h)) --k;
    return k;
}

}  // namespace tlvx
