// The `window` command: the same passes with the SDL window and headless.
#include <SDL.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include "bench_main.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"

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
    explicit BenchWindow(Walk walk) : SdlPlatform(back_to_back()), walk_(walk) {}
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
    static WindowSettings back_to_back() {
        WindowSettings w;
        w.speed = 0;  // the passes as fast as they go, as in the headless runs
        return w;
    }
    Walk walk_;
    int64_t pass_ = 0, keyed_ = 0;
};

double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The real window at a chosen speed, on the real clock, that notes which
// frame first shows the pass that took a key.
class PacedWindow : public SdlPlatform {
public:
    explicit PacedWindow(double speed) : SdlPlatform(settings(speed)) {}
    void begin_pass(int64_t pass) override {
        const uint64_t before = frames_handed();
        // Hands over the frame of the pass before, then waits for this pass's turn.
        SdlPlatform::begin_pass(pass);
        if (took_key_in_ != 0 && took_key_in_ == pass - 1) {
            took_key_in_ = 0;
            if (frames_handed() > before) effect_frame.store(before + 1);
        }
        pass_ = pass;
    }
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override {
        const size_t had = keys.size();
        SdlPlatform::poll(screen, keys, paused);
        if (keys.size() > had) took_key_in_ = pass_;
    }
    std::atomic<uint64_t> effect_frame{0};  // 0 until known

private:
    static WindowSettings settings(double speed) {
        WindowSettings w;
        w.speed = speed;
        return w;
    }
    int64_t pass_ = 0, took_key_in_ = 0;
};

// The real window at a chosen speed that notes each pass's clock reading: the
// first reading of a pass is the one its clock step takes.
class ClockWatch : public SdlPlatform {
public:
    explicit ClockWatch(double speed) : SdlPlatform(settings(speed)) {}
    void begin_pass(int64_t pass) override {
        SdlPlatform::begin_pass(pass);
        fresh_ = true;
    }
    double time() override {
        const double t = SdlPlatform::time();
        if (fresh_) readings.push_back(t), fresh_ = false;
        return t;
    }
    std::vector<double> readings;

private:
    static WindowSettings settings(double speed) {
        WindowSettings w;
        w.speed = speed;
        return w;
    }
    bool fresh_ = false;
};

}  // namespace

int cmd_window_clock(const std::string& dir, double speed, double seconds) {
    ClockWatch window(speed);
    auto s = start_game(dir, window);
    window.readings.reserve(static_cast<size_t>(seconds * speed * 2) + 16);
    const double t0 = now_seconds();
    while (now_seconds() - t0 < seconds)
        if (run_pass(*s)) throw std::runtime_error("a pass ended the game");
    const double wall = now_seconds() - t0;
    // Each reading against the even rhythm through the earliest one so far:
    // how late it comes. A pass more than an interval late starts a new rhythm
    // (the pacer does not run missed passes in a burst).
    const std::vector<double>& r = window.readings;
    if (r.empty()) throw std::runtime_error("no pass ran");
    std::vector<double> late;
    double base = r.front();
    int64_t restarts = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        const double offset = r[i] - static_cast<double>(i) / speed;
        if (offset - base > 1.0 / speed) ++restarts, base = offset;
        base = std::min(base, offset);
        late.push_back(offset - base);
    }
    std::sort(late.begin(), late.end());
    std::printf("speed %.3f\nseconds %.2f\npasses %zu\nminutes %lld\nminutes_per_second %.3f\n", speed, wall, r.size(),
                static_cast<long long>(game_minutes(*s)), static_cast<double>(game_minutes(*s)) / wall);
    std::printf("late_p95_ms %.3f\n", 1000 * late[late.size() * 95 / 100]);
    std::printf("late_median_ms %.3f\nlate_p99_ms %.3f\nlate_max_ms %.3f\nrestarts %lld\nphase %.4f\n",
                1000 * median(late), 1000 * late[late.size() * 99 / 100], 1000 * late.back(),
                static_cast<long long>(restarts), r.front() - std::floor(r.front()));
    return 0;
}

int cmd_paced(const std::string& dir, double speed, double seconds, int presses) {
    PacedWindow window(speed);
    auto s = start_game(dir, window);
    auto passes = [&](double secs) {
        const double t_end = now_seconds() + secs;
        int64_t n = 0;
        while (now_seconds() < t_end) {
            if (run_pass(*s)) throw std::runtime_error("a pass ended the game");
            ++n;
        }
        return n;
    };
    passes(1.0);  // settle

    // Standing: the whole process's processor time, window threads included.
    const double c0 = process_cpu_seconds(), t0 = now_seconds();
    const int64_t n = passes(seconds);
    const double wall = now_seconds() - t0, cpu = process_cpu_seconds() - c0;

    // Key to picture: right and left arrows at random moments, each from its
    // arrival at the window to the first presented frame of the pass that took it.
    std::vector<double> delays;
    std::atomic<bool> done{false};
    std::thread typist([&] {
        std::mt19937 rng(13);
        std::uniform_real_distribution<double> pause(0.15, 0.35);
        for (int i = 0; i < presses; ++i) {
            std::this_thread::sleep_for(std::chrono::duration<double>(pause(rng)));
            window.effect_frame.store(0);
            SDL_Event down{}, up{};
            down.type = SDL_KEYDOWN;
            down.key.keysym.scancode = i % 2 ? SDL_SCANCODE_LEFT : SDL_SCANCODE_RIGHT;
            up = down;
            up.type = SDL_KEYUP;
            const double sent = now_seconds();
            window.inject_event(down);
            window.inject_event(up);
            uint64_t frame = 0;
            while (now_seconds() - sent < 2.0) {
                frame = window.effect_frame.load();
                if (frame != 0 && window.frames_presented() >= frame) break;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            if (frame != 0 && window.frames_presented() >= frame) delays.push_back(window.last_present_time() - sent);
        }
        done.store(true);
    });
    while (!done.load()) passes(0.05);
    typist.join();
    std::sort(delays.begin(), delays.end());
    std::printf("speed %.3f\npasses_per_second %.3f\nrate_ratio %.4f\ncpu_percent %.2f\n", speed,
                static_cast<double>(n) / wall, static_cast<double>(n) / wall / speed, 100.0 * cpu / wall);
    std::printf("presses %d\nmeasured %zu\nlatency_median_ms %.2f\nlatency_worst_ms %.2f\nlatency_goal_ms %.2f\n",
                presses, delays.size(), delays.empty() ? 0.0 : 1000 * median(delays),
                delays.empty() ? 0.0 : 1000 * delays.back(), 1000 * (1.0 / speed + 1.0 / 60));
    return 0;
}

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
