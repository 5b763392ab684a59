#include "bench_game.hpp"

#include <stdexcept>

#include "shell/game.hpp"

namespace tlvx::bench {

Walk parse_walk(const std::string& text) {
    if (text == "standing") return Walk::Standing;
    if (text == "walking") return Walk::Walking;
    throw std::invalid_argument("the mode is standing or walking, not \"" + text + "\"");
}

int64_t cycle_passes(Walk walk) { return walk == Walk::Walking ? 2 : 1; }

const char* walk_key(Walk walk, int64_t pass) {
    if (walk == Walk::Standing || pass < 2) return nullptr;
    return pass % 2 == 0 ? "h" : "g";
}

void BenchHeadless::begin_pass(int64_t pass) {
    HeadlessPlatform::begin_pass(pass);
    pass_ = pass;
}

void BenchHeadless::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    // The first poll of a pass is its key poll.
    if (pass_ != keyed_) {
        keyed_ = pass_;
        if (const char* key = walk_key(walk_, pass_)) keys.push(key);
    }
    HeadlessPlatform::poll(screen, keys, paused);
}

std::unique_ptr<State> start_game(const std::string& dir, Platform& platform) {
    auto s = std::make_unique<State>();
    s->data_dir = dir;
    s->platform = &platform;
    startup(*s);
    return s;
}

void run_passes(State& s, Walk walk, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        if (run_pass(s)) throw std::runtime_error("a pass ended the game");
        if (walk == Walk::Walking && s.pass >= 2 && s.SCRNUPDT != 1)
            throw std::runtime_error("the walk is blocked at (" + std::to_string(s.VX2) + ", " + std::to_string(s.VY2) +
                                     "): the benchmark needs the cell to the right of the start free");
    }
}

Implied implied_by_rules(const State& s, Walk walk) {
    Implied n;
    n.reads = 4 * 49;  // three layers per view cell, then the ground re-read
    auto ground = [&](int32_t z) { return s.M_S(z).empty() ? 0 : 1; };
    auto object = [&](int32_t v) { return s.OBJ_S(v, s.GC).empty() ? 0 : 2; };  // mask and picture
    for (int32_t y = -3; y <= 3; ++y) {
        for (int32_t x = -3; x <= 3; ++x) {
            const int32_t z = s.GR(x, y), b = s.CS(x, y), c = s.CR(x, y);
            if (walk == Walk::Walking) {
                n.loads += ground(z);
                if (b > 0 && s.OBJ_M(b) < 2) n.loads += object(b);
                if (c > 0) n.loads += object(c);
                if (b > 0 && s.OBJ_M(b) == 2) n.loads += object(b);
            } else if (c > 0 && s.OBJ_M(b) < 2) {
                n.loads += ground(z) + (b > 0 ? object(b) : 0) + object(c);
            }
        }
    }
    if (walk == Walk::Walking) n.writes = 2;  // the player marker leaves one cell and enters the next
    return n;
}

}  // namespace tlvx::bench
