// Key dispatch: which keys step, turn, toggle or pause.
#include <gtest/gtest.h>

#include <climits>
#include <deque>

#include "display/screen.hpp"
#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

TEST(KeyDispatch, StepAndFacingKeys) {
    struct Case {
        std::string key;
        int32_t d2, vx, vy, scrnupdt;
    };
    // No key and a function key do nothing; "\0K" (left) is not the "H" of " H h 6 ".
    const Case cases[] = {{"", 3, 10, 8, 0},  {"\0;"s, 3, 10, 8, 0}, {"y", 1, 10, 7, 1},  {"Y", 1, 10, 8, 0},
                          {"5", 0, 10, 8, 0}, {"\0H"s, 1, 10, 7, 1}, {"\0K"s, 4, 9, 8, 1}};
    for (const Case& c : cases) {
        ViewWorld w;
        // The pass runs on whatever the key: the animation phase ticks.
        std::tie(w.s.D2, w.s.GC, w.platform.now) = std::tuple(3, 3, 1000.4);
        w.pass(c.key);
        EXPECT_EQ(std::tuple(w.s.D2, w.s.VX2, w.s.VY2, w.s.SCRNUPDT, w.s.I + w.s.O + w.s.P, w.s.GC),
                  std::tuple(c.d2, c.vx, c.vy, c.scrnupdt, 0, 4))
            << c.key;
    }
}

TEST(KeyDispatch, TogglesAndCycles) {
    struct Case {
        const char* key;
        int32_t State::*field;
        int32_t before, after;
    };
    // kept: "i" gives 1 - I. mended: 1 - I wraps in 32 bits instead of overflowing on the lowest value.
    const Case cases[] = {{"i", &State::I, 5, -4}, {"I", &State::I, -4, 5}, {"i", &State::I, INT32_MIN, -INT32_MAX},
                          {"O", &State::O, 4, 1},  {"o", &State::O, -5, 0}, {"o", &State::O, 7, 4},
                          {".", &State::P, 0, 1},  {".", &State::P, 1, 0},  {"P", &State::P, 0, 0}};
    ViewWorld w;
    for (const Case& c : cases) {
        w.s.*c.field = c.before;
        w.pass(c.key);
        EXPECT_EQ(w.s.*c.field, c.after) << c.key << " on " << c.before;
    }
}

// Delivers a key only on the third poll of a pause.
struct LatePlatform : FakePlatform {
    int paused_polls = 0;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override {
        if (paused && ++paused_polls == 3) pending.push_back("y");
        FakePlatform::poll(screen, keys, paused);
    }
};

TEST(KeyDispatch, PauseWaitsForAKeyAndSwallowsIt) {
    TempDir dir;
    LatePlatform platform;
    State s;
    init_state(s, dir.path(), platform);
    s.KEY = "p";
    pause_if_asked(s);
    // The key that ended the pause is gone.
    EXPECT_EQ(std::pair(platform.paused_polls, KEY_POLL(s)), std::pair(3, std::string()));
}

// The queue keeps the newest fifteen keys: a sixteenth drops the oldest,
// also after the ring has wrapped many times.
TEST(KeyQueue, KeepsTheNewestFifteenInOrderAcrossWraps) {
    KeyQueue q;
    std::deque<std::string> model;
    for (int i = 0; i < 2000; ++i) {
        if (i % 7 != 3) {
            const std::string key(1, static_cast<char>('a' + i % 26));
            q.push(key);
            if (model.size() == KeyQueue::kMax) model.pop_front();
            model.push_back(key);
        } else {
            ASSERT_EQ(q.pop(), model.empty() ? "" : model.front()) << i;
            if (!model.empty()) model.pop_front();
        }
        ASSERT_EQ(q.size(), model.size()) << i;
    }
}

}  // namespace
}  // namespace tlvx::test
