#pragma once
// The game as the benchmarks run it: the real start-up and passes over a world
// folder, a clock that stands still (so every pass of a run does the same work:
// the animation phase stays 1 and no creature moves) and, for walking, a step
// key in every pass.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/state.hpp"
#include "platform/headless/headless_platform.hpp"

namespace tlvx::bench {

enum class Walk { Standing, Walking };

// "standing" or "walking"; throws std::invalid_argument otherwise.
Walk parse_walk(const std::string& text);

// The clock every benchmark platform reads: it never moves.
constexpr double kClock = 1000.0;

// Passes in one cycle: after a cycle the world files are as before it.
// Walking steps right in even passes and back left in odd ones (pass 1, the
// first full refresh, has no key), so a cycle is an even pass and the odd one after it.
int64_t cycle_passes(Walk walk);
// The key polled in pass `pass`, or nullptr for none.
const char* walk_key(Walk walk, int64_t pass);

// The headless backend with the walking keys pushed by the key poll.
class BenchHeadless : public HeadlessPlatform {
public:
    explicit BenchHeadless(Walk walk) : HeadlessPlatform({}, kClock, 0.0), walk_(walk) {}
    void begin_pass(int64_t pass) override;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;

private:
    Walk walk_;
    int64_t pass_ = 0, keyed_ = 0;
};

// A fresh state over `dir` after start-up, reading time and keys from `platform`.
std::unique_ptr<State> start_game(const std::string& dir, Platform& platform);

// Run `n` passes. Throws std::runtime_error when a walking pass does not step
// (the world has a wall where the walk goes) or a pass ends the game.
void run_passes(State& s, Walk walk, int64_t n);

// What the game's rules imply for the pass that just ran, from the view grids
// it left: one-byte cell reads and writes and picture loads (each an open, one
// read and a close).
struct Implied {
    int64_t reads = 0, writes = 0, loads = 0;
    int64_t calls() const { return reads + writes + 3 * loads; }
};
Implied implied_by_rules(const State& s, Walk walk);

using Clock = std::chrono::steady_clock;
inline double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

}  // namespace tlvx::bench
