#pragma once
// The pace of the passes in a window: a steady number of passes a second, or
// none at all (the passes back to back). Pure arithmetic on clock readings,
// free of any window system, so it can be tested with made-up times.
#include <string>

namespace tlvx {

// Passes a second when none is asked for: 20 gives a game day of about five
// minutes whatever the clock's phase at start-up (at a speed that is a multiple
// of 4 the clock's ticks fall alike in every second; at 18 the day lasts 3.7 or
// 9.6 minutes depending on that phase), creatures that step a few times a
// second and road-following that can be watched.
constexpr double kDefaultSpeed = 20.0;
// The bounds of a chosen speed; 0 stands for "max", no pacing.
constexpr double kMinSpeed = 1.0;
constexpr double kMaxSpeed = 1000.0;

// The next speed up or down the ladder of the window's speed keys. Above the
// top step comes 0 ("max"); "max" goes down to the top step. A speed between
// two steps moves to the nearer step in the asked direction.
double faster_speed(double speed);
double slower_speed(double speed);
// "20", "18.2", "max".
std::string speed_text(double speed);

class PassPacer {
public:
    explicit PassPacer(double speed = kDefaultSpeed) { set_speed(speed); }
    // Passes a second, or 0 for back to back. Takes effect from the next pass.
    void set_speed(double speed);
    double speed() const { return speed_; }
    // The time the pass asked for at `now` may begin: `now` or later. Passes
    // keep an even rhythm: a pass begun a little late does not move the ones
    // after it; after a long stall (the pause, a busy machine) the rhythm starts
    // again from `now` instead of running the missed passes in a burst.
    double start_time(double now);
    // Passes up to `seconds` behind their rhythm run back to back until they
    // have caught up, instead of the rhythm starting again (0, the default:
    // up to one interval). A page, whose browser takes its turns of several
    // milliseconds between passes, keeps high speeds so.
    void set_catch_up(double seconds) { catch_up_ = seconds; }

private:
    double speed_ = 0;
    double interval_ = 0;
    double last_start_ = 0;
    double catch_up_ = 0;
    bool started_ = false;
};

}  // namespace tlvx
