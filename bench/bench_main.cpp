// tlvx-bench: the measurements behind bench/run. Every command prints
// `name value` lines on standard output.
//   passes DIR MODE OPS ROUNDS SECONDS  real passes against the bare replay of
//                                       the op list OPS, in alternating rounds
//   startup ROUNDS DIR_A DIR_B          start-up time of two worlds, alternating
//   count DIR MODE PASSES               PASSES passes between two getppid()
//                                       calls that mark them for strace, and
//                                       the calls the game's rules imply
//   window DIR MODE ROUNDS SECONDS      passes with the window against
//                                       headless, alternating (needs a display)
//   paced DIR SPEED SECONDS PRESSES     the real window at SPEED (or default) passes a
//                                       second: processor use standing, pass
//                                       rate, key-to-picture delays (needs a display)
//   speed DIR SPEEDS SECONDS PHASES JITTER_MS CHECK_SECONDS
//                                       game minutes a second standing at each
//                                       of the comma-separated SPEEDS, over
//                                       PHASES start-up phases (speed_bench.cpp)
//   window-clock DIR SPEED SECONDS      the same in the real window on the real
//                                       clock, and the passes' lateness (needs a display)
//   peak CMD ARGS...                    runs CMD; its peak resident memory
// MODE is standing or walking (bench_game.hpp).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_game.hpp"
#include "bench_main.hpp"
#include "ops.hpp"
#include "platform/rhythm/pass_pacer.hpp"

// Every allocation of the program is counted, to show how many a pass makes.
namespace {
uint64_t g_allocations = 0;
}
uint64_t tlvx::bench::allocations() { return g_allocations; }
void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tlvx::bench {

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

Rate measure(double seconds, int64_t passes_per_call, const std::function<void()>& call) {
    const uint64_t a0 = allocations();
    const double c0 = thread_cpu_seconds();
    const auto t0 = Clock::now();
    int64_t passes = 0;
    double elapsed = 0;
    do {
        call();
        passes += passes_per_call;
        elapsed = seconds_since(t0);
    } while (elapsed < seconds);
    const double n = static_cast<double>(passes);
    return {n / elapsed, static_cast<double>(allocations() - a0) / n, n / (thread_cpu_seconds() - c0)};
}

namespace {

int cmd_passes(const std::string& dir, Walk walk, const std::string& ops_file, int rounds, double seconds) {
    BenchHeadless platform(walk);
    auto s = start_game(dir, platform);
    run_passes(*s, walk, 1);

    std::ifstream in(ops_file);
    if (!in) throw std::runtime_error("cannot read " + ops_file);
    const OpList list = load_ops(in);
    if (list.passes != cycle_passes(walk)) throw std::runtime_error(ops_file + " was recorded for another mode");
    Replayer floor(list);
    floor.check();

    const int64_t cycle = cycle_passes(walk);
    std::vector<double> real, bare, ratio, allocs, cpu_ratio;
    for (int r = 0; r < rounds; ++r) {
        Rate a{}, b{};
        // The order alternates so that neither side always runs on a warmer machine.
        auto run_real = [&] { a = measure(seconds, cycle, [&] { run_passes(*s, walk, cycle); }); };
        auto run_floor = [&] { b = measure(seconds, list.passes, [&] { floor.run(); }); };
        if (r % 2 == 0) run_real(), run_floor();
        else run_floor(), run_real();
        real.push_back(a.passes_per_second);
        bare.push_back(b.passes_per_second);
        ratio.push_back(a.passes_per_second / b.passes_per_second);
        allocs.push_back(a.allocations_per_pass);
        cpu_ratio.push_back(a.passes_per_cpu_second / b.passes_per_cpu_second);
    }
    std::printf(
        "real_pps %.1f\nfloor_pps %.1f\nratio %.4f\nallocs_per_pass %.3f\nrounds %d\nfloor_calls_per_pass %.1f\n",
        median(real), median(bare), median(ratio), median(allocs), rounds,
        static_cast<double>(list.ops.size()) / static_cast<double>(list.passes));
    std::printf("cpu_ratio %.4f\n", median(cpu_ratio));
    return 0;
}

int cmd_startup(int rounds, const std::string& dir_a, const std::string& dir_b) {
    std::vector<double> ta, tb;
    auto once = [](const std::string& dir) {
        BenchHeadless platform(Walk::Standing);
        const auto t0 = Clock::now();
        auto s = start_game(dir, platform);
        const double t = seconds_since(t0);
        s.reset();  // closing the files is not part of start-up
        return t;
    };
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) ta.push_back(once(dir_a)), tb.push_back(once(dir_b));
        else tb.push_back(once(dir_b)), ta.push_back(once(dir_a));
    }
    std::printf("startup_a_us %.1f\nstartup_b_us %.1f\nratio %.4f\nrounds %d\n", median(ta) * 1e6, median(tb) * 1e6,
                median(tb) / median(ta), rounds);
    return 0;
}

int cmd_count(const std::string& dir, Walk walk, int64_t passes) {
    BenchHeadless platform(walk);
    auto s = start_game(dir, platform);
    run_passes(*s, walk, 1);
    passes = std::max<int64_t>(1, passes / cycle_passes(walk)) * cycle_passes(walk);
    Implied sum;
    ::getppid();  // marks the start of the counted passes in an strace log
    for (int64_t i = 0; i < passes; ++i) {
        run_passes(*s, walk, 1);
        const Implied n = implied_by_rules(*s, walk);
        sum.reads += n.reads, sum.writes += n.writes, sum.loads += n.loads;
    }
    ::getppid();  // and their end
    const double k = static_cast<double>(passes);
    std::printf("passes %lld\nimplied_reads %.1f\nimplied_writes %.1f\nimplied_loads %.1f\nimplied_calls %.1f\n",
                static_cast<long long>(passes), static_cast<double>(sum.reads) / k, static_cast<double>(sum.writes) / k,
                static_cast<double>(sum.loads) / k, static_cast<double>(sum.calls()) / k);
    return 0;
}

int cmd_peak(char** argv) {
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    rusage ru{};
    if (::wait4(pid, &status, 0, &ru) != pid) throw std::runtime_error("cannot wait for the command");
    std::printf("peak_kib %ld\nseconds %.2f\nstatus %d\n", ru.ru_maxrss, seconds_since(t0),
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}

// "10,18,25": the speeds of the `speed` command.
std::vector<double> speed_list(const std::string& text) {
    std::vector<double> speeds;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const double v = std::stod(text.substr(at, comma - at));
        if (!(v >= kMinSpeed && v <= kMaxSpeed)) throw std::invalid_argument("a speed is 1 to 1000");
        speeds.push_back(v);
        at = comma + 1;
    }
    return speeds;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tlvx-bench passes DIR MODE OPS ROUNDS SECONDS\n"
                 "       tlvx-bench startup ROUNDS DIR_A DIR_B\n"
                 "       tlvx-bench count DIR MODE PASSES\n"
                 "       tlvx-bench window DIR MODE ROUNDS SECONDS\n"
                 "       tlvx-bench paced DIR SPEED SECONDS PRESSES\n"
                 "       tlvx-bench speed DIR SPEEDS SECONDS PHASES JITTER_MS CHECK_SECONDS\n"
                 "       tlvx-bench window-clock DIR SPEED SECONDS\n"
                 "       tlvx-bench peak CMD ARGS...\n");
    return 2;
}

}  // namespace
}  // namespace tlvx::bench

int main(int argc, char** argv) {
    using namespace tlvx::bench;
    const std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() == 6 && a[0] == "passes")
            return cmd_passes(a[1], parse_walk(a[2]), a[3], std::stoi(a[4]), std::stod(a[5]));
        if (a.size() == 4 && a[0] == "startup") return cmd_startup(std::stoi(a[1]), a[2], a[3]);
        if (a.size() == 4 && a[0] == "count") return cmd_count(a[1], parse_walk(a[2]), std::stoll(a[3]));
        if (a.size() == 5 && a[0] == "window")
            return cmd_window(a[1], parse_walk(a[2]), std::stoi(a[3]), std::stod(a[4]));
        if (a.size() == 5 && a[0] == "paced")
            return cmd_paced(a[1], a[2] == "default" ? tlvx::kDefaultSpeed : std::stod(a[2]), std::stod(a[3]),
                             std::stoi(a[4]));
        if (a.size() == 7 && a[0] == "speed")
            return cmd_speed(a[1], speed_list(a[2]), std::stod(a[3]), std::stoi(a[4]), std::stod(a[5]) / 1000,
                             std::stod(a[6]));
        if (a.size() == 4 && a[0] == "window-clock")
            return cmd_window_clock(a[1], a[2] == "default" ? tlvx::kDefaultSpeed : std::stod(a[2]), std::stod(a[3]));
        if (a.size() >= 2 && a[0] == "peak") return cmd_peak(argv + 2);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tlvx-bench %s: %s\n", a.empty() ? "" : a[0].c_str(), e.what());
        return 1;
    }
    return usage();
}
