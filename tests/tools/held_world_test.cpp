// One program at a time on a world: a headless game started in the background
// holds its world; tools and a second game are tried on it meanwhile.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools_helpers.hpp"
#include "world/user_world.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// The script's Escape comes in this pass; far enough on that the background
// game is stopped (SIGSTOP) long before it, however the machine is loaded.
constexpr int64_t kEndPass = 4000;

// `tlvx-tool run` in the background on `world` with the key script `keys`,
// tracing into `trace`, its output in `log`; killed if still running at the end.
struct BackgroundGame {
    std::string trace;
    pid_t pid;
    BackgroundGame(const std::string& world, const std::string& keys, const std::string& trace_, const std::string& log)
        : trace(trace_), pid(test::start_tool(
                             {"run", "--passes", "1000000", "--data", world, "--keys", keys, "--trace", trace}, log)) {}
    ~BackgroundGame() {
        if (pid > 0) ::kill(pid, SIGKILL), ::kill(pid, SIGCONT), ::waitpid(pid, nullptr, 0);
    }
    // Waits until the trace lists more than `passes` passes (the lock is
    // taken before the trace is opened); false after a minute or if the game ends.
    bool wait_past(int64_t passes) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int st = 0; test::lines_in(trace) <= passes + 1;
             std::this_thread::sleep_for(std::chrono::microseconds(200)))
            if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid, &st, WNOHANG) == pid) return false;
        return true;
    }
    int finish() {
        int st = 0;
        ::waitpid(pid, &st, 0);
        pid = -1;
        return test::status_of(st);
    }
    std::string lock_line() const { return "tlvx-tool run " + std::to_string(pid) + "\n"; }
};

}  // namespace

// While a game plays its world: every tool that would write the world, and a
// second game, is refused at once with one line naming the game, status 1,
// and changes nothing; the tools that only read work. The game's edits before
// and after all land, and its save matches its map.
TEST(WorldLockUse, WritersAreRefusedWhileAGameRunsReadersWorkAndEveryEditLands) {
    test::TempDir t;
    const std::string world = t.file("world"), other = t.file("other");
    fs::create_directory(world);
    test::FixtureWorld().write(world);
    std::string script = "1 +\n2 +\n3 *\n4 ]\n";
    const char* late[] = {"+", "h", "*", "]", "esc"};  // the last ends the game
    for (int i = 0; i < 5; ++i) script += std::to_string(kEndPass - 4 + i) + " " + late[i] + "\n";
    test::write_file(t.file("keys"), script);
    test::write_file(t.file("keys2"), "1 +\n2 esc\n");
    const auto status = [](const std::vector<std::string>& args) { return test::run_tool(args, {}).status; };
    ASSERT_EQ(status({"export-tiled", world, t.file("map.tmj")}), 0);
    fs::copy(world, other);
    ASSERT_EQ(status({"run", "--data", other, "--keys", t.file("keys2"), "--record", t.file("rec")}), 0);
    // What the script leaves in a copy, played there alone.
    fs::copy(world, t.file("expected"));
    ASSERT_EQ(status({"run", "--passes", "1000000", "--data", t.file("expected"), "--keys", t.file("keys")}), 0);
    const auto want = test::tree(t.file("expected"));
    ASSERT_NE(test::changes(test::tree(world), want), "") << "the script edits the map";

    BackgroundGame game(world, t.file("keys"), t.file("trace"), t.file("log"));
    ASSERT_TRUE(game.wait_past(4)) << test::read_file(t.file("log"));
    ::kill(game.pid, SIGSTOP);
    ASSERT_LT(test::lines_in(t.file("trace")), kEndPass - 4) << "the game ran ahead of the test";
    ASSERT_EQ(test::read_file(world + "/" + kWorldLockName), game.lock_line());

    const std::string in_use = ": the world in \"" + world + "\" is in use by tlvx-tool run (pid " +
                               std::to_string(game.pid) + "); close it first\n";
    const std::vector<std::string> programs[] = {
        {"import-tiled", t.file("map.tmj"), world},
        {"demo", "--force", world},
        {"demo", world},
        {"new", "--force", "--size", "30x20", world},
        {"run", "--data", world, "--keys", t.file("keys2"), "--trace", t.file("trace2")},
        {"run", "--replay", t.file("rec"), "--data", world},
        {"info", world},  // readers
        {"render", world, t.file("map.png")},
        {"export-tiled", world, t.file("again.tmj")},
    };
    for (const auto& args : programs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const auto before = test::tree(world);
        const test::ToolRun r = test::run_tool(args, {});
        const bool reader = args[0] == "info" || args[0] == "render" || args[0] == "export-tiled";
        EXPECT_EQ(r.status, reader ? 0 : 1) << r.output;
        EXPECT_TRUE(reader || r.output == "tlvx-tool " + args[0] + in_use) << r.output;
        EXPECT_EQ(test::changes(before, test::tree(world)), "");
        EXPECT_EQ(test::read_file(world + "/" + kWorldLockName), game.lock_line());
    }
    EXPECT_FALSE(test::file_exists(t.file("trace2"))) << "the refused game wrote nothing";

    ::kill(game.pid, SIGCONT);
    EXPECT_EQ(game.finish(), 0) << test::read_file(t.file("log"));
    EXPECT_EQ(test::lines_in(t.file("trace")), kEndPass + 1);
    EXPECT_EQ(test::changes(want, test::tree(world)), "") << "edits lost, or the save does not match the map";
}

// The player's own world folder holding nothing but a lock file (a program
// locked it and found no world) gets the demo world like an empty folder,
// unless another program holds it.
TEST(WorldLockUse, UserWorldFolderHoldingOnlyALockFileIsFilled) {
    test::TempDir t;
    const std::string dir = t.file("world");
    fs::create_directory(dir);
    {
        const WorldLock other(dir, "tlvx-tool run");
        const std::string says = test::tool_error([&] { world::prepare_user_world(dir); });
        EXPECT_NE(says.find("is in use by tlvx-tool run (pid"), std::string::npos) << says;
        EXPECT_EQ(test::names_in(dir), std::set<std::string>{});
    }
    EXPECT_TRUE(world::prepare_user_world(dir).created);
    EXPECT_TRUE(test::file_exists(dir + "/Pndx_001.sav"));
    EXPECT_TRUE(test::file_exists(test::layer_path(dir, 0)));
}

// mended: two `new` (or `demo`) on a missing world started together: the
// refused one removed the folder and the lock file the other made as if they
// were its own, so often both failed or the winner was left without its lock
// file. Now in every pair one makes the world whole, its lock file there, and
// the other is refused (in use, or the map is there already).
TEST(WorldLockUse, TwoNewOnAMissingWorldAtOnceLeaveOneWholeWorldWithItsLock) {
    test::TempDir t;
    constexpr int kPairs = 20;
    std::vector<pid_t> pids;
    for (int i = 0; i < 2 * kPairs; ++i)
        pids.push_back(test::start_tool({"new", "X" + std::to_string(i / 2), "--size", "2000x2000"},
                                        t.file("log" + std::to_string(i)), {.cwd = t.path()}));
    std::vector<int> status;
    for (pid_t pid : pids) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        status.push_back(test::status_of(st));
    }
    for (int pair = 0; pair < kPairs; ++pair) {
        SCOPED_TRACE("pair " + std::to_string(pair));
        const std::string world = t.file("X" + std::to_string(pair));
        const int won = status[2 * pair] == 0 ? 2 * pair : 2 * pair + 1, lost = won ^ 1;
        const std::string said = test::read_file(t.file("log" + std::to_string(lost)));
        EXPECT_EQ(status[won], 0) << test::read_file(t.file("log" + std::to_string(won)));
        EXPECT_EQ(status[lost], 1) << said;
        // A winner that has not yet written its name into the lock file is
        // "another program".
        EXPECT_TRUE(said.find("is in use by tlvx-tool new (pid ") != std::string::npos ||
                    said.find("is in use by another program") != std::string::npos ||
                    said.find("already has a map") != std::string::npos)
            << said;
        for (const char* name : {kWorldLockName, "Pndx_001.sav", "tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"})
            EXPECT_TRUE(fs::is_regular_file(world + "/" + name)) << name;
    }
}
