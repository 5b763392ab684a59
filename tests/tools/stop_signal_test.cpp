#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tools/new_map.hpp"
#include "tools/tiled_export.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

// SIGTERM at a random moment after each tool started writing (a name new in
// the folder it writes): no temporary file, no partial output; a world under
// import is as before or as a full run leaves it. Each tool is stopped up to
// three times until one stop lands before it finished (the longest wait
// shrinks each time, so a fast machine gets there too).
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
    const struct {
        std::vector<std::string> args;
        std::string out;  // watched, and compared with a full run
        int max_delay_ms;
        std::function<void()> reset;
    } cases[] = {
        {{"export-tiled", world, ex + "/m.tmj"}, ex, 150, fresh(ex)},
        // Into a copy whose cells differ, so that the import writes every cell.
        {{"import-tiled", t.file("m.tmj"), target},
         target,
         150,
         [&] { fs::remove_all(target), test::copy_with_other_cells(world, target, 2048, 2048); }},
        {{"render", world, rd + "/r.png", "--region", "1,1,150,150"}, rd, 300, fresh(rd)},
        // new makes its folder: stopped, it is gone again.
        {{"new", made + "/new", "--size", "4096x4096", "--fill", "1"}, made + "/new", 200, fresh(made)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        c.reset();
        ASSERT_EQ(test::run_tool(c.args, {}).status, 0);
        const auto full = test::tree(c.out);  // what a full run leaves
        int stopped = 0;
        for (int attempt = 0; attempt < 3 && stopped == 0; ++attempt) {
            c.reset();
            const auto before = test::tree(c.out);
            const bool existed = fs::exists(c.out);
            const std::set<std::string> names = test::names_in(c.out);
            const pid_t pid = test::start_tool(c.args, t.file("log"));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            int st = 0;
            bool ended = false;
            while (!ended && test::names_in(c.out) == names && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                ended = ::waitpid(pid, &st, WNOHANG) == pid;
            }
            if (!ended) {
                const int delay_ms = c.max_delay_ms / (1 + 4 * attempt);
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(std::uniform_int_distribution<int>(0, delay_ms)(rng)));
                if (::waitpid(pid, &st, WNOHANG) == 0) ::kill(pid, SIGTERM), ::waitpid(pid, &st, 0);
            }
            const std::string output = test::read_file(t.file("log"));
            // A signal while the finished files were being put in place
            // also ends with 128 + SIGTERM, but says the files are complete.
            const bool complete = output.find("after its files were complete") != std::string::npos;
            if (test::status_of(st) == 128 + SIGTERM && !complete) {
                ++stopped;
                EXPECT_EQ(test::changes(before, test::tree(c.out)), "");
                EXPECT_EQ(fs::exists(c.out), existed);
                EXPECT_NE(output.find("stopped by SIGTERM"), std::string::npos) << output;
                EXPECT_TRUE(test::one_short_line(output)) << output;
            } else {
                // A signal that comes after the tool has finished and put the
                // default handlers back ends it as it ends any program: its
                // files are complete then, as after a normal end.
                EXPECT_TRUE(st == 0 || test::status_of(st) == -SIGTERM || complete)
                    << test::status_of(st) << ": " << output;
                EXPECT_EQ(test::changes(full, test::tree(c.out)), "") << "finished, but not as a full run";
            }
        }
        EXPECT_EQ(stopped, 1) << "every run finished before the signal";
    }
}
