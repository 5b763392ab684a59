// One program at a time on a world: a headless game started in the background
// holds its world; tools and a second game are tried on it meanwhile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "tools/user_world.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

// The script's Escape comes in this pass; far enough on that the background
// game is stopped (SIGSTOP) long before it, however the machine is loaded.
constexpr int64_t kEndPass = 4000;

std::string q(const std::string& path) { return " '" + path + "'"; }

// Lines of a file as it is being written; 0 before it exists.
int64_t lines_in(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>(), '\n');
}

// `tlvx-tool run` in the background on `world` with the key script `keys`,
// tracing into `trace`; its output goes to `log`. Killed if still running at
// the end of the test.
class BackgroundGame {
public:
    BackgroundGame(const std::string& world, const std::string& keys, const std::string& trace, const std::string& log)
        : trace_(trace) {
        const std::string command = "exec '" TLVX_TOOL "' run --passes 1000000 --data" + q(world) + " --keys" +
                                    q(keys) + " --trace" + q(trace) + " >" + q(log) + " 2>&1";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
    }
    ~BackgroundGame() {
        if (pid_ > 0) ::kill(pid_, SIGKILL), ::kill(pid_, SIGCONT), ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    // Waits until the trace lists more than `passes` passes (the lock is
    // taken before the trace is opened); false after a minute or if the game ends.
    bool wait_past(int64_t passes) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (lines_in(trace_) <= passes + 1) {
            int status = 0;
            if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid_, &status, WNOHANG) == pid_) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    void signal(int sig) const { ::kill(pid_, sig); }
    // The exit status, or minus the signal that ended it.
    int finish() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    std::string trace_;
};

// The three map layers and the save file.
std::map<std::string, std::string> world_state(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (int k = 0; k < 3; ++k) out[tools::kLayerNames[k]] = test::read_file(test::layer_path(dir, k));
    out["save"] = test::read_file(dir + "/Pndx_001.sav");
    return out;
}

// What the game leaves in a copy of `world` after `script`, run here in the
// same way as tlvx-tool run with its default clock.
std::map<std::string, std::string> expected_after(const std::string& world, const std::string& copy,
                                                  const std::string& script) {
    fs::create_directory(copy);
    for (const auto& e : fs::directory_iterator(world))
        if (e.path().filename() != kWorldLockName) fs::copy_file(e.path(), fs::path(copy) / e.path().filename());
    HeadlessPlatform platform(parse_key_script(script), 1000, 0.01);
    auto s = std::make_unique<State>();
    s->data_dir = copy;
    s->platform = &platform;
    startup(*s);
    EXPECT_EQ(run_loop(*s, kEndPass + 1), RunEnd::Quit);
    return world_state(copy);
}

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
    const std::string end = std::to_string(kEndPass);
    const std::string script = "1 +\n2 +\n3 *\n4 ]\n" + std::to_string(kEndPass - 4) + " +\n" +
                               std::to_string(kEndPass - 3) + " h\n" + std::to_string(kEndPass - 2) + " *\n" +
                               std::to_string(kEndPass - 1) + " ]\n" + end + " esc\n";
    test::write_file(t.file("keys"), script);
    test::write_file(t.file("keys2"), "1 +\n2 esc\n");
    ASSERT_EQ(test::run_tool("export-tiled" + q(world) + q(t.file("map.tmj"))).status, 0);
    fs::copy(world, other);
    ASSERT_EQ(test::run_tool("run --data" + q(other) + " --keys" + q(t.file("keys2")) + " --record" + q(t.file("rec")))
                  .status,
              0);
    const auto want = expected_after(world, t.file("expected"), script);
    ASSERT_NE(want, world_state(world)) << "the script edits the map";

    BackgroundGame game(world, t.file("keys"), t.file("trace"), t.file("log"));
    ASSERT_TRUE(game.wait_past(4)) << test::read_file(t.file("log"));
    game.signal(SIGSTOP);
    ASSERT_LT(lines_in(t.file("trace")), kEndPass - 4) << "the game ran ahead of the test";
    const std::string holder = "tlvx-tool run " + std::to_string(game.pid()) + "\n";
    ASSERT_EQ(test::read_file(world + "/" + kWorldLockName), holder);

    const std::string in_use = ": the world in \"" + world + "\" is in use by tlvx-tool run (pid " +
                               std::to_string(game.pid()) + "); close it first\n";
    const struct {
        std::string args;
        int status;
        std::string says;  // refused: the whole output after "tlvx-tool"
    } cases[] = {
        {"import-tiled" + q(t.file("map.tmj")) + q(world), 1, "import-tiled" + in_use},
        {"demo --force" + q(world), 1, "demo" + in_use},
        {"demo" + q(world), 1, "demo" + in_use},
        {"new --force --size 30x20" + q(world), 1, "new" + in_use},
        {"run --data" + q(world) + " --keys" + q(t.file("keys2")) + " --trace" + q(t.file("trace2")), 1,
         "run" + in_use},
        {"run --replay" + q(t.file("rec")) + " --data" + q(world), 1, "run" + in_use},
        {"info" + q(world), 0, ""},
        {"render" + q(world) + q(t.file("map.png")), 0, ""},
        {"export-tiled" + q(world) + q(t.file("again.tmj")), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto before = test::tree(world);
        const test::ToolRun r = test::run_tool(c.args);
        EXPECT_EQ(r.status, c.status) << r.output;
        if (c.status != 0) {
            EXPECT_EQ(r.output, "tlvx-tool " + c.says);
        }
        EXPECT_EQ(test::changes(before, test::tree(world)), "");
        EXPECT_EQ(test::read_file(world + "/" + kWorldLockName), holder);
    }
    EXPECT_FALSE(test::file_exists(t.file("trace2"))) << "the refused game wrote nothing";

    game.signal(SIGCONT);
    EXPECT_EQ(game.finish(), 0) << test::read_file(t.file("log"));
    EXPECT_EQ(lines_in(t.file("trace")), kEndPass + 1);
    for (const auto& [name, bytes] : world_state(world))
        EXPECT_TRUE(bytes == want.at(name)) << name << ": edits lost, or the save does not match the map";
}

// A game killed while it holds its world leaves no lock behind: the next game
// starts, plays and saves, and names itself in the lock file.
TEST(WorldLockUse, AGameKilledHoldingItsWorldDoesNotBlockTheNext) {
    test::TempDir t;
    const std::string world = t.file("world");
    fs::create_directory(world);
    test::FixtureWorld().write(world);
    test::write_file(t.file("keys"), "1 +\n" + std::to_string(kEndPass) + " esc\n");
    test::write_file(t.file("keys2"), "1 h\n2 esc\n");
    const std::string old_save = test::read_file(world + "/Pndx_001.sav");
    {
        BackgroundGame game(world, t.file("keys"), t.file("trace"), t.file("log"));
        ASSERT_TRUE(game.wait_past(1)) << test::read_file(t.file("log"));
        ASSERT_EQ(test::read_file(world + "/" + kWorldLockName), "tlvx-tool run " + std::to_string(game.pid()) + "\n");
        game.signal(SIGKILL);
        EXPECT_EQ(game.finish(), -SIGKILL);
    }
    const test::ToolRun next = test::run_tool("run --data" + q(world) + " --keys" + q(t.file("keys2")));
    EXPECT_EQ(next.status, 0) << next.output;
    EXPECT_EQ(next.output, "");
    EXPECT_NE(test::read_file(world + "/Pndx_001.sav"), old_save) << "the next game saved";
    const std::string line = test::read_file(world + "/" + kWorldLockName);
    EXPECT_EQ(line.rfind("tlvx-tool run ", 0), 0u) << line;
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
        try {
            tools::prepare_user_world(dir);
            ADD_FAILURE() << "not refused";
        } catch (const tools::ToolError& e) {
            EXPECT_NE(std::string(e.what()).find("is in use by tlvx-tool run (pid"), std::string::npos) << e.what();
        }
        EXPECT_EQ(test::names_in(dir), std::set<std::string>{});
    }
    const tools::UserWorld w = tools::prepare_user_world(dir);
    EXPECT_TRUE(w.created);
    EXPECT_TRUE(test::file_exists(dir + "/Pndx_001.sav"));
    EXPECT_TRUE(test::file_exists(test::layer_path(dir, 0)));
}
