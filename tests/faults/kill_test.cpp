// A run killed with SIGKILL at many different passes: whatever the moment,
// every edit and move of each pass the trace lists as completed is in the
// layer files, and the save file is the old one or the complete new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "faults/fault_helpers.hpp"

namespace tlvx::test {
namespace {

constexpr int64_t kPasses = 300;  // the script's Escape comes in this pass
constexpr int kKills = 24;

// Walking, turning and every editing key, one key a pass, then Escape.
std::string walk_and_edit_script() {
    const char* keys[] = {"h", "+", "*", "]", "b", "bksp", "-", "g", "[", "y", "f", "/", "\\", "9", "h", "F", "*", "*"};
    std::string script;
    std::mt19937 pick(7);
    for (int64_t pass = 1; pass < kPasses; ++pass)
        script += std::to_string(pass) + " " + keys[pick() % std::size(keys)] + "\n";
    return script + std::to_string(kPasses) + " esc\n";
}

// Lines in the trace file (header included), read as the run writes it; 0 before it exists.
int64_t traced(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>(), '\n');
}

TEST(Kill, EveryCompletedPassIsInTheLayerFilesAndTheSaveIsWhole) {
    FixtureWorld w;
    w.w = 40, w.h = 30, w.vx = 20, w.vy = 15;
    w.objects[1].move = 3;  // creatures (value 2) that wander and write the creature layer
    FaultRig rig(w, walk_and_edit_script());
    const std::string old_save = read_file(rig.world + "/Pndx_001.sav");
    std::string new_save;
    const auto after = rig.replay(kPasses + 1, &new_save, 0.05);
    ASSERT_EQ(after.size(), static_cast<size_t>(kPasses + 1));
    ASSERT_FALSE(new_save.empty());
    ASSERT_NE(after.back(), after.front()) << "the script changes the map";

    std::mt19937 rng(std::random_device{}());
    std::set<int64_t> killed_at;
    for (int i = 0; i < kKills; ++i) {
        const std::string run = rig.root.file("run" + std::to_string(i));
        std::filesystem::copy(rig.world, run);
        const std::string trace = run + "/trace.csv";
        // Kill targets spread over the whole run; the last two come once the
        // Escape pass is traced, while the save is being written or after it.
        const int64_t target =
            i >= kKills - 2 ? kPasses : 1 + (kPasses * i) / kKills + static_cast<int64_t>(rng() % (kPasses / kKills));
        pid_t pid = start_tool({{"--data", run, "--keys", rig.keys, "--clock", "1000:0.05", "--trace", trace}},
                               rig.root.file("err" + std::to_string(i)));
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (traced(trace) > target) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const int64_t done = traced(trace) - 1;  // passes the trace lists
        ASSERT_TRUE(done >= 0 && done <= kPasses) << done;
        killed_at.insert(done);

        // Each layer byte is as after the last completed pass, or as after the
        // next pass, which may have been under way when the kill came.
        for (const auto& [name, got] : layer_files(run)) {
            const std::string &a = after[static_cast<size_t>(done)].at(name),
                              &b = after[static_cast<size_t>(std::min(done + 1, kPasses))].at(name);
            ASSERT_TRUE(got.size() == a.size() || got.size() == b.size()) << name << " after pass " << done;
            for (size_t k = 0; k < got.size(); ++k)
                ASSERT_TRUE((k < a.size() && got[k] == a[k]) || (k < b.size() && got[k] == b[k]))
                    << name << " byte " << k << " after pass " << done;
        }
        const std::string save = read_file(run + "/Pndx_001.sav");
        // The new save only once the Escape pass is traced.
        EXPECT_TRUE(save == old_save || (save == new_save && done == kPasses)) << "kill after pass " << done;
        std::filesystem::remove_all(run);
    }
    EXPECT_GE(killed_at.size(), 12u) << "kills should land at many different passes";
}

}  // namespace
}  // namespace tlvx::test
