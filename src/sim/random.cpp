// The shared random generator: a 24-bit linear congruential state.
#include <cstdint>
#include <cstring>

#include "base/state.hpp"
#include "sim/random.hpp"

namespace tlvx {

namespace {
constexpr uint64_t kMultiplier = 16598013;
constexpr uint64_t kIncrement = 12820163;
constexpr uint64_t kMask24 = 0xFFFFFF;
}  // namespace

double rnd(State& s) {
    uint64_t next = (static_cast<uint64_t>(s.rnd_state) * kMultiplier + kIncrement) & kMask24;
    s.rnd_state = static_cast<uint32_t>(next);
    return static_cast<double>(next) / 16777216.0;
}

void reseed(State& s, double t) {
    // The bits of the double, copied: the browser build's library has no std::bit_cast.
    uint64_t bits = 0;
    std::memcpy(&bits, &t, sizeof bits);
    const uint32_t h = static_cast<uint32_t>(bits >> 32);
    const uint32_t mixed = ((h >> 16) ^ h) & 0xFFFFu;
    // The low byte of the old state survives a re-seed.
    s.rnd_state = (mixed << 8) | (s.rnd_state & 0xFFu);
}

}  // namespace tlvx
