// Recordings: how large a recording grows per minute of play, and how long an
// hour-long recording takes to replay headless.
//   tlvx-bench-recording WORLD WORLD_START SPEED MINUTES FILE
// plays MINUTES of simulated time at SPEED passes a second over WORLD (which
// it changes), recorded into FILE, then replays FILE on WORLD_START (a copy of
// WORLD as it was at the start) and prints
//   passes N / bytes B / bytes_per_minute X / replay_s T / replay_pps P
// The clock reads like a real one: each reading a few microseconds after the
// one before, with uneven low bits, and every pass 1/SPEED seconds after the
// last. A key every 1.7 seconds walks the character about and edits now and then.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/error.hpp"
#include "base/platform.hpp"
#include "base/state.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/record/world_hash.hpp"
#include "shell/game.hpp"

using namespace tlvx;

namespace {

class PlayedClock : public Platform {
public:
    explicit PlayedClock(double speed) : speed_(speed) {}
    void open_screen() override {}
    void close_screen() override {}
    void set_mouse(int, int, bool) override {}
    void begin_pass(int64_t p) override {
        pass_ = p;
        t_ = 5000.0 + static_cast<double>(p) / speed_;
    }
    double time() override {
        rnd_ = rnd_ * 6364136223846793005ull + 1442695040888963407ull;
        t_ += 2e-6 + static_cast<double>(rnd_ >> 44) * 1e-12;
        return t_;
    }
    void poll(const Screen&, KeyQueue& keys, bool paused) override {
        if (paused) {
            keys.push("x");
            return;
        }
        const int64_t every = static_cast<int64_t>(speed_ * 1.7);
        if (pass_ % every != 0) return;
        static const char* const kKeys[] = {"y", "h", "b", "g", "y", "+", "h", "b", "-", "g", "i", "i"};
        keys.push(kKeys[(pass_ / every) % 12]);
    }

private:
    double speed_, t_ = 5000.0;
    int64_t pass_ = 0;
    uint64_t rnd_ = 1;
};

double cpu_now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: tlvx-bench-recording WORLD WORLD_START SPEED MINUTES FILE\n");
        return 2;
    }
    const std::string world = argv[1], start = argv[2], file = argv[5];
    const double speed = std::atof(argv[3]), minutes = std::atof(argv[4]);
    const int64_t passes = static_cast<int64_t>(speed * 60 * minutes);
    try {
        {
            auto writer = start_recording(file, world);
            PlayedClock clock(speed);
            RecordingPlatform rec(clock, *writer);
            auto s = std::make_unique<State>();
            s->data_dir = world;
            s->platform = &rec;
            startup(*s);
            run_loop(*s, passes);
            writer->flush();
            std::printf("passes %lld\nbytes %lld\nbytes_per_minute %.0f\n", static_cast<long long>(passes),
                        static_cast<long long>(writer->bytes_written()),
                        static_cast<double>(writer->bytes_written()) / minutes);
        }
        RecordingReader reader(file);
        const std::string diff = first_world_difference(reader.header().files, start);
        if (!diff.empty()) throw RecordingError("the start copy differs: " + diff);
        ReplayPlatform replay(reader);
        auto s = std::make_unique<State>();
        s->data_dir = start;
        s->platform = &replay;
        const double t0 = now(), c0 = cpu_now();
        startup(*s);
        run_loop(*s, passes);
        const double took = now() - t0, cpu = cpu_now() - c0;
        std::printf("replay_s %.3f\nreplay_pps %.0f\nreplay_cpu_s %.3f\n", took, static_cast<double>(passes) / took,
                    cpu);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tlvx-bench-recording: %s\n", e.what());
        return 1;
    }
    return 0;
}
