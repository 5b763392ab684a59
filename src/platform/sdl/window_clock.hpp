#pragma once
// Shared by the files of the window platform: the clock they all read, and
// how long a passing word stays in the title.
#include <time.h>

namespace tlvx::window_clock {

inline double monotonic_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr double kTitleSeconds = 2.0;
constexpr double kScreenshotTitleSeconds = 5.0;

}  // namespace tlvx::window_clock
