#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "tools/new_map.hpp"
#include "tools/tiled_export.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// Runs tlvx-tool with `args` (quoted for the shell), waits until a name
// that was not there before shows up in `watch` (the tool started writing),
// waits a random moment of up to `max_delay_ms` more and sends SIGTERM.
test::ToolRun stop_midway(const std::string& args, const std::string& watch, int max_delay_ms, std::mt19937& rng) {
    const std::set<std::string> before = test::names_in(watch);
    const std::string log = watch + ".log", command = "exec '" TLVX_TOOL "' " + args + " >'" + log + "' 2>&1";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int wstatus = 0;
    bool ended = false;
    while (!ended && test::names_in(watch) == before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ended = ::waitpid(pid, &wstatus, WNOHANG) == pid;
    }
    if (!ended) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, max_delay_ms)(rng)));
        if (::waitpid(pid, &wstatus, WNOHANG) == 0) ::kill(pid, SIGTERM), ::waitpid(pid, &wstatus, 0);
    }
    // A death by a signal reads as minus its number.
    test::ToolRun result{WIFEXITED(wstatus)     ? WEXITSTATUS(wstatus)
                         : WIFSIGNALED(wstatus) ? -WTERMSIG(wstatus)
                                                : -1000,
                         test::read_file(log)};
    fs::remove(log);
    return result;
}

}  // namespace

// SIGTERM at a random moment after each tool started writing: no temporary
// file, no partial output; a world under import is as before or as a full
// run leaves it. Each tool is stopped up to three times until one stop lands
// before it finished (the longest wait shrinks each time, so a fast machine
// gets there too).
TEST(StopSignal, EachToolLeavesNothingOrEverything) {
    test::TempDir t;
    const unsigned seed = std::random_device{}();
    std::cout << "random seed " << seed << "\n";
    std::mt19937 rng(seed);
    const std::string world = t.file("world"), made = t.file("made");
    const std::string ex = t.file("ex"), target = t.file("target"), rd = t.file("rd");
    tools::new_map({.dir = world, .w = 2048, .h = 2048, .fill = 1});
    tools::tiled::export_tiled({world, t.file("m.tmj")});
    auto fresh = [](const std::string& dir) { return [dir] { fs::remove_all(dir), fs::create_directories(dir); }; };
    auto q = [](const std::string& path) { return " '" + path + "'"; };
    const struct {
        std::string args, watch, out;
        int max_delay_ms;
        std::function<void()> reset;
    } cases[] = {
        {"export-tiled" + q(world) + q(ex + "/m.tmj"), ex, ex, 150, fresh(ex)},
        // Into a copy whose cells differ, so that the import writes every cell.
        {"import-tiled" + q(t.file("m.tmj")) + q(target), target, target, 150,
         [&] { fs::remove_all(target), test::copy_with_other_cells(world, target, 2048, 2048); }},
        {"render" + q(world) + q(rd + "/r.png") + " --region 1,1,150,150", rd, rd, 300, fresh(rd)},
        // new makes its folder: stopped, it is gone again.
        {"new" + q(made + "/new") + " --size 4096x4096 --fill 1", made + "/new", made + "/new", 200, fresh(made)},
    };
    for (const auto& c : cases) {
        const std::string what = c.args.substr(0, c.args.find(' '));
        c.reset();
        ASSERT_EQ(test::run_tool(c.args).status, 0) << what;
        const auto full = test::tree(c.out);  // what a full run leaves
        int stopped = 0;
        for (int attempt = 0; attempt < 3 && stopped == 0; ++attempt) {
            c.reset();
            const auto before = test::tree(c.out);
            const bool existed = fs::exists(c.out);
            const test::ToolRun r = stop_midway(c.args, c.watch, c.max_delay_ms / (1 + 4 * attempt), rng);
            if (r.status == 128 + SIGTERM) {
                ++stopped;
                EXPECT_EQ(test::changes(before, test::tree(c.out)), "") << what;
                EXPECT_EQ(fs::exists(c.out), existed) << what;
                EXPECT_NE(r.output.find("stopped by SIGTERM"), std::string::npos) << what << ": " << r.output;
                EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << what << ": " << r.output;
            } else {
                // A signal that comes after the tool has finished and put the
                // default handlers back ends it as it ends any program: its
                // files are complete then, as after a normal end.
                EXPECT_TRUE(r.status == 0 || r.status == -SIGTERM)
                    << what << ": status " << r.status << ": " << r.output;
                EXPECT_EQ(test::changes(full, test::tree(c.out)), "") << what << ": finished, but not as a full run";
            }
        }
        EXPECT_EQ(stopped, 1) << what << ": every run finished before the signal";
    }
}
