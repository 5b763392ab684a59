// The `window` command: the same passes with the SDL window and headless.
#include <sys/resource.h>

#include <cstdio>

#include "bench_main.hpp"
#include "platform/sdl/sdl_platform.hpp"

namespace tlvx::bench {

namespace {

double process_cpu_seconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return s(ru.ru_utime) + s(ru.ru_stime);
}

// The window with the benchmark's still clock and walking keys, so that its
// passes do exactly the work of the headless ones; presenting and the event
// pump run on the real time as they do in the game.
class BenchWindow : public SdlPlatform {
public:
    explicit BenchWindow(Walk walk) : walk_(walk) {}
    double time() override { return kClock; }
    void begin_pass(int64_t pass) override { pass_ = pass; }
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override {
        if (pass_ != keyed_) {
            keyed_ = pass_;
            if (const char* key = walk_key(walk_, pass_)) keys.push(key);
        }
        SdlPlatform::poll(screen, keys, paused);
    }

private:
    Walk walk_;
    int64_t pass_ = 0, keyed_ = 0;
};

}  // namespace

int cmd_window(const std::string& dir, Walk walk, int rounds, double seconds) {
    BenchHeadless headless(walk);
    BenchWindow window(walk);
    auto h = start_game(dir, headless);
    auto w = start_game(dir, window);
    run_passes(*h, walk, 1);
    run_passes(*w, walk, 1);

    const int64_t cycle = cycle_passes(walk);
    std::vector<double> on_h, on_w, ratio, others;
    for (int r = 0; r < rounds; ++r) {
        Rate a{}, b{};
        auto run_h = [&] { a = measure(seconds, cycle, [&] { run_passes(*h, walk, cycle); }); };
        auto run_w = [&] {
            // What the window's own threads use meanwhile: the process's
            // processor time less the game thread's.
            const double p0 = process_cpu_seconds();
            const auto t0 = Clock::now();
            b = measure(seconds, cycle, [&] { run_passes(*w, walk, cycle); });
            const double wall = seconds_since(t0), game = wall * b.passes_per_second / b.passes_per_cpu_second;
            others.push_back((process_cpu_seconds() - p0 - game) / wall);
        };
        if (r % 2 == 0) run_h(), run_w();
        else run_w(), run_h();
        on_h.push_back(a.passes_per_second);
        on_w.push_back(b.passes_per_second);
        ratio.push_back(b.passes_per_second / a.passes_per_second);
    }
    std::printf("headless_pps %.1f\nwindow_pps %.1f\nratio %.4f\nrounds %d\nwindow_threads_cpu %.3f\n", median(on_h),
                median(on_w), median(ratio), rounds, median(others));
    return 0;
}

}  // namespace tlvx::bench
