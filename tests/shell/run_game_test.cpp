// The one mapping of every way the game ends to a result, which every front
// end (window, page, headless runner, recorder, replay) shows in its own way.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <tuple>

#include "base/error.hpp"
#include "base/platform.hpp"
#include "shell/run_game.hpp"
#include "support/test_support.hpp"

using namespace tlvx;
using namespace tlvx::test;

namespace {

// The fake platform with a hook that runs at every key poll, before the keys move.
struct HookPlatform : FakePlatform {
    std::function<void()> on_poll;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override {
        if (on_poll) on_poll();
        FakePlatform::poll(screen, keys, paused);
    }
};

struct GameRun {
    TempDir dir;
    HookPlatform platform;
    std::unique_ptr<State> s = std::make_unique<State>();
    GameRun() { FixtureWorld().write(dir.path()); }
    GameResult go(int64_t passes = 50) { return run_game(*s, platform, dir.path(), passes); }
};

// How a run ended, its status, its text and whether it was the game's own end.
std::tuple<GameEnd, int, std::string, bool> outcome(const GameResult& g) {
    return {g.end, g.status, g.text, g.ended()};
}

const std::string kOutOfMemoryReport = "\nAborting due to runtime error 4 (out of memory) while allocating memory\n\n";

}  // namespace

// mended: memory running out in the middle of a pass is runtime error 4 with
// its report for every front end; before, the page let it escape.
TEST(RunGame, OutOfMemoryInAPassIsRuntimeError4WithItsReport) {
    GameRun r;
    r.platform.on_poll = [] { throw std::bad_alloc(); };
    EXPECT_EQ(outcome(r.go()), std::tuple(GameEnd::Error, 4, kOutOfMemoryReport, true));
}

TEST(RunGame, EscapeQuitsWithStatus0AndTheSaveWritten) {
    GameRun r;
    const std::string before = read_file(r.dir.file("Pndx_001.sav"));
    // A step right, then Escape: the quit saves where the character stands.
    r.platform.pending = {"6"};
    int polls = 0;
    r.platform.on_poll = [&] {
        if (++polls == 40) r.platform.pending.push_back("\x1b");
    };
    EXPECT_EQ(outcome(r.go(1000)), std::tuple(GameEnd::Quit, 0, "", true));
    EXPECT_LT(r.s->pass, 1000);
    EXPECT_NE(read_file(r.dir.file("Pndx_001.sav")), before);
}

// A backend's StopRun and the pass limit end the run without a quit and
// without an error; neither counts as the game's own end.
TEST(RunGame, StopRunAndThePassLimitEndWithStatus0AndNoQuit) {
    GameRun stopped, limited;
    stopped.platform.on_poll = [] { throw StopRun{}; };
    EXPECT_EQ(outcome(stopped.go()), std::tuple(GameEnd::Stopped, 0, "", false));
    EXPECT_EQ(outcome(limited.go(3)), std::tuple(GameEnd::PassLimit, 0, "", false));
    EXPECT_EQ(limited.s->pass, 3);
}

// A quit whose save cannot be written gives the one line of a failed final save, not
// the report of a runtime error (that report: the golden case missing_picture).
TEST(RunGame, AFailedFinalSaveGivesItsLineNotTheReport) {
    GameRun unsaved;
    // The save's place taken by a folder once the game runs: nobody can
    // replace it, so the quit's save fails.
    const std::string save = unsaved.dir.file("Pndx_001.sav");
    unsaved.platform.on_poll = [&] {
        if (std::filesystem::is_directory(save)) return;
        std::filesystem::remove(save);
        std::filesystem::create_directory(save);
        std::filesystem::create_directory(save + "/kept");
        unsaved.platform.pending.push_back("\x1b");
    };
    const GameResult f = unsaved.go();
    EXPECT_EQ(std::tuple(f.end, f.status > 0, f.ended()), std::tuple(GameEnd::SaveFailed, true, true));
    EXPECT_EQ(f.text.rfind("the final save could not be written (runtime error " + std::to_string(f.status), 0), 0u)
        << f.text;
}
