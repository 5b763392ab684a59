#pragma once
// Shared by the commands of tlvx-bench.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench_game.hpp"

namespace tlvx::bench {

// Allocations made by the program so far (operator new is counted).
uint64_t allocations();

double median(std::vector<double> v);

struct Rate {
    double passes_per_second = 0;
    double allocations_per_pass = 0;
    double passes_per_cpu_second = 0;  // on the measuring thread's own clock
};
// Calls `call` (which runs `passes_per_call` passes) until `seconds` have passed.
Rate measure(double seconds, int64_t passes_per_call, const std::function<void()>& call);

// The `window` command: bench_window.cpp, or a refusal when built without SDL.
int cmd_window(const std::string& dir, Walk walk, int rounds, double seconds);
// The `paced` command: the real window at SPEED passes a second on the real
// clock: processor use and pass rate standing for SECONDS, then the delay from
// each of PRESSES key presses to the first presented picture showing it.
int cmd_paced(const std::string& dir, double speed, double seconds, int presses);

// Game minutes since start-up, from the day, hour and minute counters (the
// day counter becomes 1 in the first pass).
int64_t game_minutes(const State& s);
// "18", "12.5".
std::string speed_label(double speed);
// The `speed` command (speed_bench.cpp): game minutes a real second for a
// player standing still at each of `speeds`, over `phases` start-up phases of
// the clock, steady and with up to `jitter` seconds of noise a pass; every
// eighth phase is run again for `check_seconds` with whole passes, which must
// count the same minutes as the clock step alone.
int cmd_speed(const std::string& dir, const std::vector<double>& speeds, double seconds, int phases, double jitter,
              double check_seconds);
// The `window-clock` command: the real window at `speed` on the real clock for
// `seconds`, standing: game minutes a second, and how far the clock readings
// of the passes stray from an even rhythm.
int cmd_window_clock(const std::string& dir, double speed, double seconds);

}  // namespace tlvx::bench
