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

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

// Runs tlvx-tool with `args`, waits until a name that was not there before
// shows up in `watch` (the tool started writing), waits a random moment of
// up to `max_delay_ms` more and sends SIGTERM: the exit status (-1 when not a
// normal exit) and the output.
test::ToolRun stop_midway(std::vector<std::string> args, const std::string& watch, int max_delay_ms,
                          std::mt19937& rng) {
    const std::set<std::string> before = names_in(watch);
    const std::string log = watch + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    args.insert(args.begin(), TLVX_TOOL);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, TLVX_TOOL, &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << TLVX_TOOL;
        return {};
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
        if (::waitpid(pid, &wstatus, WNOHANG) == 0) ::kill(pid, SIGTERM), ::waitpid(pid, &wstatus, 0);
    }
    test::ToolRun result{WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, test::read_file(log)};
    fs::remove(log);
    return result;
}

}  // namespace

// SIGTERM at a random moment after each tool started writing: no temporary
// file, no partial output; a world under import is as before or fully
// imported. Each tool is stopped up to three times until one stop lands
// before it finished (the longest wait shrinks each time, so a fast machine
// gets there too); the demo world is written in moments and need not be.
TEST(StopSignal, EachToolLeavesNothingOrEverything) {
    test::TempDir t;
    const unsigned seed = std::random_device{}();
    std::cout << "random seed " << seed << "\n";
    std::mt19937 rng(seed);
    const std::string world = t.file("world"), ref = t.file("ref"), made = t.file("made");
    const std::string ex = t.file("ex"), target = t.file("target"), rd = t.file("rd");
    tools::new_map({.dir = world, .w = 2048, .h = 2048, .fill = 1});
    // What full runs leave.
    fs::create_directories(ref + "/render");
    fs::create_directories(ref + "/export");
    tools::tiled::export_tiled({world, ref + "/export/m.tmj"});
    ASSERT_EQ(test::run_tool("render '" + world + "' '" + ref + "/render/r.png' --region 1,1,150,150").status, 0);
    ASSERT_EQ(test::run_tool("new '" + ref + "/new' --size 4096x4096 --fill 1").status, 0);
    tools::write_demo_world(ref + "/demo", false);
    // Import into a copy whose cells differ: a full import gives the world's cells.
    auto fresh_target = [&] {
        fs::remove_all(target);
        test::copy_with_other_cells(world, target, 2048, 2048);
    };
    fresh_target();
    auto imported = test::snapshot(target);
    for (const auto original = test::snapshot(world); int k : {0, 1, 2})
        imported[tools::kLayerNames[k]] = original.at(tools::kLayerNames[k]);
    auto fresh = [](const std::string& dir) { return [dir] { fs::remove_all(dir), fs::create_directories(dir); }; };

    const struct {
        std::vector<std::string> args;
        std::string watch, out;
        std::map<std::string, size_t> full;
        int max_delay_ms;
        std::function<void()> reset;
    } cases[] = {
        {{"export-tiled", world, ex + "/m.tmj"}, ex, ex, test::snapshot(ref + "/export"), 150, fresh(ex)},
        {{"import-tiled", ref + "/export/m.tmj", target}, target, target, imported, 150, fresh_target},
        {{"render", world, rd + "/r.png", "--region", "1,1,150,150"},
         rd,
         rd,
         test::snapshot(ref + "/render"),
         300,
         fresh(rd)},
        // new and demo make their folder: stopped, it is gone again.
        {{"new", made + "/new", "--size", "4096x4096", "--fill", "1"},
         made + "/new",
         made + "/new",
         test::snapshot(ref + "/new"),
         200,
         fresh(made)},
        {{"demo", made + "/demo"}, made, made + "/demo", test::snapshot(ref + "/demo"), 20, fresh(made)},
    };
    for (const auto& c : cases) {
        const bool demo = c.args[0] == "demo";
        int stopped = 0;
        for (int attempt = 0; attempt < 3 && (demo || stopped == 0); ++attempt) {
            c.reset();
            const auto before = test::snapshot(c.out);
            const bool existed = fs::exists(c.out);
            const test::ToolRun r = stop_midway(c.args, c.watch, c.max_delay_ms / (1 + 4 * attempt), rng);
            std::cout << c.args[0] << ": attempt " << attempt + 1 << " ended with status " << r.status << "\n";
            if (r.status == 128 + SIGTERM) {
                ++stopped;
                EXPECT_TRUE(test::snapshot(c.out) == before && fs::exists(c.out) == existed)
                    << c.args[0] << ": files left behind or changed";
                EXPECT_NE(r.output.find("stopped by SIGTERM"), std::string::npos) << c.args[0] << ": " << r.output;
                EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << c.args[0] << ": " << r.output;
            } else {
                EXPECT_EQ(r.status, 0) << c.args[0] << ": " << r.output;
                EXPECT_TRUE(test::snapshot(c.out) == c.full) << c.args[0] << ": finished, but not as a full run";
            }
        }
        EXPECT_TRUE(demo || stopped == 1) << c.args[0] << ": every run finished before the signal";
    }
}
