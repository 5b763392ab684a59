#include "platform/rhythm/pass_pacer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace tlvx {

namespace {

// Roughly 1.4 times apart, so two presses about double or halve the speed.
constexpr std::array<double, 17> kSteps = {1, 2, 3, 5, 7, 10, 14, 20, 25, 35, 50, 70, 100, 140, 200, 500, 1000};

}  // namespace

double faster_speed(double speed) {
    if (speed <= 0) return 0;
    for (double step : kSteps)
        if (step > speed + 1e-9) return step;
    return 0;
}

double slower_speed(double speed) {
    if (speed <= 0) return kSteps.back();
    for (auto it = kSteps.rbegin(); it != kSteps.rend(); ++it)
        if (*it < speed - 1e-9) return *it;
    return kSteps.front();
}

std::string speed_text(double speed) {
    if (speed <= 0) return "max";
    char text[32];
    std::snprintf(text, sizeof text, "%g", speed);
    return text;
}

void PassPacer::set_speed(double speed) {
    speed_ = speed > 0 ? speed : 0;
    interval_ = speed_ > 0 ? 1.0 / speed_ : 0;
}

double PassPacer::start_time(double now) {
    if (interval_ == 0 || !started_) {
        started_ = true;
        last_start_ = now;
        return now;
    }
    double due = last_start_ + interval_;
    // Further behind than one interval (or the catch-up allowed): begin a
    // fresh rhythm now.
    if (now - due > std::max(interval_, catch_up_)) due = now;
    last_start_ = due;
    return due > now ? due : now;
}

}  // namespace tlvx
