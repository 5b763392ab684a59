// The `speed` command: how fast game time runs for a player standing still at
// each window speed, over many start-up phases of the clock.
//
// The animation tick comes in the first pass whose clock reading is past the
// mark, and the new mark is the reading rounded half to even. A reading in the
// first half of a second leaves the mark behind it, so the next pass ticks
// again; a reading in the second half puts the mark ahead. With passes at a
// steady rate the pattern of ticks in every second, and so the game minutes a
// second, depend on where in a second the passes fall: on the clock's phase at
// start-up. A player starts at a random phase, so the figures are taken over
// many phases, on a steady clock and on one with noise per pass like the
// window's (a pass starts at its due time plus the sleep's overshoot and the
// work before its clock reading).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_main.hpp"
#include "platform/rhythm/pass_pacer.hpp"
#include "shell/game.hpp"
#include "sim/clock.hpp"

namespace tlvx::bench {

namespace {

// How late the window's passes read the clock (tlvx-bench window-clock under
// Xvfb on a loaded machine): half within a tenth of a millisecond, one in
// twenty 5 ms or more, one in a hundred 7 to 15 ms, the worst about 30 ms.
constexpr double kSmallLate = 0.0002;
constexpr double kLateShare = 0.1;

// The headless clock with the window's rhythm: pass n reads
// start + n / speed, plus noise drawn once per pass.
class PhaseClock : public HeadlessPlatform {
public:
    PhaseClock(double start, double speed, double jitter, uint32_t seed)
        : HeadlessPlatform({}, start, 0.0), start_(start), speed_(speed), jitter_(jitter), rng_(seed) {}
    void begin_pass(int64_t pass) override {
        HeadlessPlatform::begin_pass(pass);
        // As in the window under load: every pass a little late, one in ten
        // up to `jitter` late (a busy processor, a slow present).
        double noise = 0;
        if (jitter_ > 0) {
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            noise = unit(rng_) < kLateShare ? unit(rng_) * jitter_ : unit(rng_) * kSmallLate;
        }
        reading_ = start_ + static_cast<double>(pass) / speed_ + noise;
    }
    double time() override { return reading_; }

private:
    double start_, speed_, jitter_;
    std::mt19937 rng_;
    double reading_ = start_;
};

enum class Passes { Whole, ClockOnly };

// Game minutes after `seconds` of passes at `speed` from start-up at `start`.
// Standing still, only the clock step moves the game's time, so ClockOnly runs
// just that step of each pass; Whole runs the entire pass, creatures and
// drawing included, to show that the shortcut counts the same minutes.
int64_t minutes_after(const std::string& dir, double start, double speed, double jitter, uint32_t seed, double seconds,
                      Passes passes) {
    PhaseClock clock(start, speed, jitter, seed);
    auto s = start_game(dir, clock);
    const auto n = static_cast<int64_t>(std::llround(seconds * speed));
    if (passes == Passes::Whole) {
        run_passes(*s, Walk::Standing, n);
    } else {
        for (int64_t i = 0; i < n; ++i) {
            ++s->pass;
            clock.begin_pass(s->pass);
            clock_step(*s);
        }
    }
    return game_minutes(*s);
}

struct Spread {
    double min = 0, median = 0, max = 0, mean = 0;
    std::string modes;  // "2.50x70,6.50x26": each rate and how many phases gave it
};

Spread spread(const std::vector<double>& rates) {
    Spread r;
    r.min = *std::min_element(rates.begin(), rates.end());
    r.max = *std::max_element(rates.begin(), rates.end());
    r.median = median(rates);
    double sum = 0;
    std::map<long long, int> counts;  // rates in hundredths
    for (double v : rates) sum += v, ++counts[std::llround(v * 100)];
    r.mean = sum / static_cast<double>(rates.size());
    for (const auto& [hundredths, count] : counts) {
        char item[48];
        std::snprintf(item, sizeof item, "%s%.2fx%d", r.modes.empty() ? "" : ",", static_cast<double>(hundredths) / 100,
                      count);
        r.modes += item;
    }
    return r;
}

}  // namespace

int64_t game_minutes(const State& s) {
    const int64_t day = std::max<int64_t>(s.TIMD, 1) - 1;
    return (day * 24 + s.TIMH) * 60 + s.TIMM;
}

int cmd_speed(const std::string& dir, const std::vector<double>& speeds, double seconds, int phases, double jitter,
              double check_seconds) {
    if (phases < 1 || seconds <= 0) throw std::invalid_argument("phases and seconds must be positive");
    int64_t checked = 0, mismatched = 0;
    for (double speed : speeds) {
        const std::string name = "s" + speed_label(speed);
        for (const bool noisy : {false, true}) {
            std::vector<double> rates;
            for (int k = 0; k < phases; ++k) {
                // Start-up phases spread over a second; 97 is prime, so no
                // phase repeats the pass pattern of another in a small cycle.
                const double start = 1000.0 + static_cast<double>(k) / phases;
                const double j = noisy ? jitter : 0.0;
                const auto seed = static_cast<uint32_t>(k * 7919 + static_cast<int>(speed));
                const int64_t minutes = minutes_after(dir, start, speed, j, seed, seconds, Passes::ClockOnly);
                rates.push_back(static_cast<double>(minutes) / seconds);
                // Every eighth phase again with whole passes: the count must agree.
                if (check_seconds > 0 && k % 8 == 0) {
                    ++checked;
                    if (minutes_after(dir, start, speed, j, seed, check_seconds, Passes::Whole) !=
                        minutes_after(dir, start, speed, j, seed, check_seconds, Passes::ClockOnly))
                        ++mismatched;
                }
            }
            const Spread r = spread(rates);
            const std::string key = name + (noisy ? "_jitter" : "_steady");
            std::printf("%s_min %.3f\n%s_median %.3f\n%s_max %.3f\n%s_mean %.3f\n%s_modes %s\n", key.c_str(), r.min,
                        key.c_str(), r.median, key.c_str(), r.max, key.c_str(), r.mean, key.c_str(), r.modes.c_str());
        }
    }
    std::printf("default_speed %s\n", speed_label(kDefaultSpeed).c_str());
    std::printf("phases %d\nseconds %.1f\njitter_ms %.2f\nchecked %lld\nmismatched %lld\n", phases, seconds,
                jitter * 1000, static_cast<long long>(checked), static_cast<long long>(mismatched));
    return 0;
}

std::string speed_label(double speed) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", speed);
    return text;
}

}  // namespace tlvx::bench
