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

}  // namespace tlvx::bench
