#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "tiled_helpers.hpp"
#include "tools/new_map.hpp"
#include "tools/tiled_export.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// A folder's files with the length and a hash of their bytes; empty when the
// folder is missing.
using Snapshot = std::map<std::string, std::pair<size_t, size_t>>;
Snapshot snapshot_of(const std::string& dir) {
    Snapshot files;
    if (!fs::exists(dir)) return files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string bytes = test::read_file(e.path().string());
        files[e.path().filename().string()] = {bytes.size(), std::hash<std::string>{}(bytes)};
    }
    return files;
}

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

struct Stopped {
    int status = -1;     // exit status, -1 when not a normal exit
    std::string output;  // standard output and error
    bool sent = false;   // the signal went out while the tool ran
};

// Runs tlvx-tool with `args`, waits until a name that was not there before
// shows up in `watch` (the tool started writing), waits a random moment of
// up to `max_delay_ms` more, and sends `signal`.
Stopped stop_midway(const std::vector<std::string>& args, const std::string& watch, int max_delay_ms, int signal,
                    std::mt19937& rng) {
    const std::set<std::string> before = names_in(watch);
    const std::string log = watch + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> all = {TLVX_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    Stopped result;
    if (posix_spawn(&pid, TLVX_TOOL, &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << TLVX_TOOL;
        return result;
    }
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int wstatus = 0;
    bool ended = false;
    while (!ended && names_in(watch) == before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ended = ::waitpid(pid, &wstatus, WNOHANG) == pid;
    }
    if (!ended) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, max_delay_ms)(rng)));
        result.sent = ::waitpid(pid, &wstatus, WNOHANG) == 0;
        if (result.sent) {
            ::kill(pid, signal);
            ::waitpid(pid, &wstatus, 0);
        }
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.output = test::read_file(log);
    fs::remove(log);
    return result;
}

// Stops the tool up to three times until one stop lands before it finished
// (the longest wait shrinks each time, so a fast machine gets there too):
// each time the folder `out` is as before (the run stopped) or as a full run
// leaves it, and at least one of the runs was stopped.
void expect_nothing_or_everything(const char* what, const std::vector<std::string>& args, const std::string& watch,
                                  const std::string& out, const Snapshot& full, int max_delay_ms, std::mt19937& rng,
                                  const std::function<void()>& reset, int signal = SIGTERM) {
    int stopped = 0;
    for (int attempt = 0; attempt < 3 && stopped == 0; ++attempt) {
        reset();
        const Snapshot before = snapshot_of(out);
        const Stopped r = stop_midway(args, watch, max_delay_ms / (1 + 4 * attempt), signal, rng);
        const Snapshot after = snapshot_of(out);
        if (r.status == 128 + signal) {
            ++stopped;
            EXPECT_TRUE(after == before) << what << ": files left behind or changed";
            EXPECT_NE(r.output.find("stopped by SIG"), std::string::npos) << what << ": " << r.output;
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << what << ": " << r.output;
        } else {
            EXPECT_EQ(r.status, 0) << what << ": " << r.output;
            EXPECT_TRUE(after == full) << what << ": finished, but not as a full run";
        }
        std::cout << what << ": attempt " << attempt + 1 << " ended with status " << r.status << "\n";
    }
    EXPECT_EQ(stopped, 1) << what << ": every run finished before the signal";
}

}  // namespace

// SIGTERM (and SIGINT) at a random moment after each tool started writing:
// no temporary file, no partial output; a world under import is as before
// or fully imported.
TEST(StopSignal, EachToolLeavesNothingOrEverything) {
    test::TempDir t;
    std::random_device seed_source;
    const unsigned seed = seed_source();
    std::cout << "random seed " << seed << "\n";
    std::mt19937 rng(seed);
    const std::string world = t.file("world");
    tools::new_map({.dir = world, .w = 2048, .h = 2048, .fill = 1});
    const std::string ref = t.file("ref");
    fs::create_directories(ref);
    tools::tiled::export_tiled({world, ref + "/m.tmj"});
    const Snapshot full_export = snapshot_of(ref);
    auto clear = [](const std::string& dir) {
        return [dir] {
            fs::remove_all(dir);
            fs::create_directories(dir);
        };
    };

    const std::string ex = t.file("ex");
    expect_nothing_or_everything("export-tiled", {"export-tiled", world, ex + "/m.tmj"}, ex, ex, full_export, 150, rng,
                                 clear(ex));
    expect_nothing_or_everything("export-tiled (SIGINT)", {"export-tiled", world, ex + "/m.tmj"}, ex, ex, full_export,
                                 150, rng, clear(ex), SIGINT);

    // Import into a copy whose cells differ: a full import gives the world's cells.
    const std::string target = t.file("target");
    auto fresh_target = [&] {
        fs::remove_all(target);
        test::copy_with_other_cells(world, target, 2048, 2048);
    };
    fresh_target();
    Snapshot imported = snapshot_of(target);
    const Snapshot original = snapshot_of(world);
    for (int k = 0; k < 3; ++k) imported[tools::kLayerNames[k]] = original.at(tools::kLayerNames[k]);
    expect_nothing_or_everything("import-tiled", {"import-tiled", ref + "/m.tmj", target}, target, target, imported,
                                 150, rng, fresh_target);

    const std::string rd = t.file("rd");
    ASSERT_EQ(test::run_tool("render '" + world + "' '" + ref + "/r.png' --region 1,1,150,150").status, 0);
    fs::create_directories(ref + "/render");
    fs::rename(ref + "/r.png", ref + "/render/r.png");
    const Snapshot full_render = snapshot_of(ref + "/render");
    expect_nothing_or_everything("render", {"render", world, rd + "/r.png", "--region", "1,1,150,150"}, rd, rd,
                                 full_render, 300, rng, clear(rd));

    // new and demo make their folder: stopped, it is gone again.
    const std::string made = t.file("made"), nw = made + "/new", dm = made + "/demo";
    ASSERT_EQ(test::run_tool("new '" + ref + "/new' --size 4096x4096 --fill 1").status, 0);
    expect_nothing_or_everything("new", {"new", nw, "--size", "4096x4096", "--fill", "1"}, nw, nw,
                                 snapshot_of(ref + "/new"), 200, rng, [&] {
                                     fs::remove_all(made);
                                     fs::create_directories(made);
                                 });

    tools::write_demo_world(ref + "/demo", false);
    const Snapshot full_demo = snapshot_of(ref + "/demo");
    int stopped = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(made);
        fs::create_directories(made);
        const Stopped r = stop_midway({"demo", dm}, made, 20, SIGTERM, rng);
        // The demo world is written in moments: stopped, nothing is there; finished, all of it.
        if (r.status == 143) ++stopped;
        else EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(r.status == 143 ? !fs::exists(dm) : snapshot_of(dm) == full_demo) << "demo: " << r.output;
    }
    std::cout << "demo: stopped in " << stopped << " of 3 runs\n";
}
