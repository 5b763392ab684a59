// Key dispatch: which keys step, turn, toggle or pause.
#include <gtest/gtest.h>

#include <climits>
#include <deque>

#include "display/screen.hpp"
#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

TEST(KeyDispatch, StepAndFacingKeys) {
    struct Case {
        std::string key;
        int32_t d2, vx, vy, scrnupdt;
    };
    const Case cases[] = {
        {"", 3, 10, 8, 0},
        {std::string("\0;", 2), 3, 10, 8, 0},  // no key, a function key: nothing
        {"y", 1, 10, 7, 1},
        {"Y", 1, 10, 8, 0},
        {"5", 0, 10, 8, 0},
        {std::string("\0H", 2), 1, 10, 7, 1},
        {std::string("\0K", 2), 4, 9, 8, 1},  // not the "H" of " H h 6 "
    };
    for (const Case& c : cases) {
        ViewWorld w;
        w.s.D2 = 3;
        w.s.GC = 3;
        w.platform.now = 1000.4;  // the pass runs on whatever the key: the animation phase ticks
        w.pass(c.key);
        EXPECT_EQ(std::tuple(w.s.D2, w.s.VX2, w.s.VY2, w.s.SCRNUPDT), std::tuple(c.d2, c.vx, c.vy, c.scrnupdt))
            << c.key;
        EXPECT_EQ(std::tuple(w.s.I, w.s.O, w.s.P, w.s.GC), std::tuple(0, 0, 0, 4)) << c.key;
    }
    State s;  // "y" also fires the facing entry: alone, it turns the player up
    s.D2 = 3;
    s.CC_S = " y ";
    facing_keys(s);
    EXPECT_EQ(s.D2, 1);
}

TEST(KeyDispatch, TogglesAndCycles) {
    struct Case {
        const char* key;
        int32_t State::*field;
        int32_t before, after;
    };
    const Case cases[] = {
        {"i", &State::I, 5, -4},  // kept: 1 - I
        {"I", &State::I, -4, 5},
        {"i", &State::I, 1, 0},
        {"o", &State::O, 3, 4},
        {"O", &State::O, 4, 1},
        {"o", &State::O, -5, 0},
        {"o", &State::O, 7, 4},
        {".", &State::P, 0, 1},
        {".", &State::P, 1, 0},
        {"P", &State::P, 0, 0},
        // mended: 1 - I wraps in 32 bits instead of overflowing on the lowest value.
        {"i", &State::I, INT32_MIN, -INT32_MAX},
    };
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
    EXPECT_EQ(platform.paused_polls, 3);
    EXPECT_EQ(KEY_POLL(s), "");  // the key that ended the pause is gone
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
