// The window's rhythms on made-up clock readings: pass pacing, the speed
// ladder and the key repeat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/rounding.hpp"
#include "base/state.hpp"
#include "input/touch_table.hpp"
#include "platform/rhythm/key_repeat.hpp"
#include "platform/rhythm/pass_pacer.hpp"
#include "sim/clock.hpp"
#include "support/test_support.hpp"

using namespace tlvx;
using namespace std::string_literals;

namespace {

using Kind = KeyEvent::Kind;

KeyEvent press(int id, const std::string& text, double t) { return {Kind::Press, id, text, t}; }
KeyEvent release(int id, double t) { return {Kind::Release, id, {}, t}; }

// A game at `speed` passes a second, polling once a pass and taking one key,
// from time 0 to `until`, while the window reports `events`. Returns the keys
// the passes took, in order ("" for none).
std::vector<std::string> play(double speed, double until, std::vector<KeyEvent> events) {
    KeyRepeat repeat;
    KeyQueue queue;
    std::vector<std::string> taken;
    size_t next = 0;
    for (double t = 0; t <= until + 1e-9; t += 1.0 / speed) {
        std::vector<KeyEvent> due;
        while (next < events.size() && events[next].time <= t) due.push_back(events[next++]);
        repeat.deliver(due, t, queue);
        taken.push_back(queue.pop());
    }
    return taken;
}

}  // namespace

// An even rhythm (a pass started late keeps the next one's place), and no
// burst of missed passes after a stall.
TEST(PassPacer, KeepsAnEvenRhythmAndStartsAgainAfterAStall) {
    PassPacer p(10);
    EXPECT_DOUBLE_EQ(p.start_time(100.0), 100.0);    // the first pass at once
    EXPECT_DOUBLE_EQ(p.start_time(100.02), 100.1);   // early: wait for its turn
    EXPECT_DOUBLE_EQ(p.start_time(100.23), 100.23);  // a little late: at once ...
    EXPECT_NEAR(p.start_time(100.24), 100.3, 1e-9);  // ... and the rhythm is kept
    EXPECT_DOUBLE_EQ(p.start_time(105.0), 105.0);    // a long stall: no burst of missed passes
    EXPECT_DOUBLE_EQ(p.start_time(105.0), 105.1);
    p.set_speed(0);  // max: never waits
    EXPECT_DOUBLE_EQ(p.start_time(105.0), 105.0);
    EXPECT_DOUBLE_EQ(p.start_time(105.0), 105.0);
}

// A page's passes held up by the browser's turn are caught up on within the
// allowance, at once; beyond it the rhythm starts again. (The rates the page
// reaches with it: bench/web.mjs.)
TEST(PassPacer, CatchesUpOnPassesHeldUpWithinItsAllowance) {
    PassPacer p(500);
    p.set_catch_up(0.05);
    EXPECT_DOUBLE_EQ(p.start_time(10.0), 10.0);
    // 31 ms later: the 15 passes due by then run at once, and the next keeps its place.
    int at_once = 0;
    while (at_once < 100 && p.start_time(10.031) == 10.031) ++at_once;
    EXPECT_EQ(at_once, 15);
    EXPECT_DOUBLE_EQ(p.start_time(10.2), 10.2);  // further behind: a fresh rhythm
    EXPECT_NEAR(p.start_time(10.2), 10.202, 1e-9);
}

TEST(SpeedLadder, StepsUpToMaxAndDown) {
    // A speed, the next step up and down (between steps: the next one in that direction); 0 is max.
    const double rows[][3] = {{18, 20, 14}, {20, 25, 14}, {1000, 0, 500}, {0, 0, 1000}, {1, 2, 1}};
    for (const auto& [speed, up, down] : rows)
        EXPECT_EQ(std::pair(faster_speed(speed), slower_speed(speed)), std::pair(up, down)) << speed;
    EXPECT_EQ(speed_text(0) + " " + speed_text(18.2), "max 18.2");
}

// Game minutes after `seconds` of passes paced at `speed`, the game started at
// clock reading `start` and standing still (only the clock step moves time).
int64_t paced_minutes(double speed, double start, double seconds) {
    tlvx::test::FakePlatform clock;
    auto s = std::make_unique<State>();
    s->platform = &clock;
    s->BR = s->SB = round_half_even(start);
    s->GC = s->GE = 1;
    PassPacer pacer(speed);
    double now = start;
    for (int64_t n = std::llround(seconds * speed); n > 0; --n) {
        now = pacer.start_time(now);  // each pass begins the moment the pacer allows
        clock.now = now;
        clock_step(*s);
    }
    return (int64_t{s->TIMD} - 1) * 1440 + s->TIMH * 60 + s->TIMM;
}

// The default speed is chosen so that game time runs at one rate whatever the
// clock's phase at start-up: at a multiple of 4 passes a second the clock's
// ticks fall alike in every second, a quarter of the passes add a minute. At
// other speeds the rate locks to the phase the game started at.
TEST(DefaultSpeed, GameTimeRunsAlikeWhateverTheClocksPhaseAtStartUp) {
    const struct {
        double speed;
        bool alike;
    } rows[] = {{kDefaultSpeed, true}, {24, true}, {100, true}, {18, false}, {25, false}};
    for (const auto& [speed, alike] : rows) {
        std::vector<int64_t> minutes;
        for (int k = 0; k < 97; ++k) minutes.push_back(paced_minutes(speed, 1000 + k / 97.0, 60));
        const auto [lo, hi] = std::minmax_element(minutes.begin(), minutes.end());
        if (alike) {
            EXPECT_NEAR(static_cast<double>(*lo), speed * 15, 1) << speed;  // speed / 4 minutes a second
            EXPECT_NEAR(static_cast<double>(*hi), speed * 15, 1) << speed;
        } else {
            EXPECT_GT(*hi, 2 * *lo) << speed;
        }
    }
}

// A held key repeats after half a second, then eleven times a second (seen at 1000 polls a
// second); a slow game gets no backlog: every pass after the delay takes a repeat while the key is
// held, never more, and at most one after the release.
TEST(KeyRepeat, HeldKeyRepeatsAtItsOwnRhythmWithNoBacklog) {
    const auto keys = play(1000, 2.0, {press(1, "y", 0.0), release(1, 1.45)});
    std::vector<int> at;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == "y") at.push_back(static_cast<int>(i));
    ASSERT_EQ(at.size(), 12u);  // 0 s, then 0.5 s and every 1/11 s until the release at 1.45 s
    EXPECT_EQ(std::pair(at[0], at[1]), std::pair(0, 500));
    EXPECT_NEAR(at[2] - at[1], 91, 1);
    for (double speed : {2.0, 18.0}) {
        SCOPED_TRACE(speed);
        const auto slow = play(speed, 6.0, {press(7, "h", 0.0), release(7, 4.0)});
        const int held_passes = static_cast<int>(std::floor(4.0 * speed));
        const auto taken = std::count(slow.begin(), slow.end(), "h");
        EXPECT_LE(taken, held_passes + 1);
        EXPECT_GE(taken, std::min(held_passes, 44) - static_cast<int>(speed));      // 11 repeats a second at most
        EXPECT_LE(std::count(slow.begin() + held_passes + 1, slow.end(), "h"), 1);  // after the release
    }
}

TEST(KeyRepeat, EverySeparatePressIsQueuedExactlyOnceAtAnyPace) {
    // Twelve quick taps of different keys within a tenth of a second, then a
    // few more later, polled at several paces: all arrive once, in order.
    std::vector<KeyEvent> events;
    std::string typed;
    for (int i = 0; i < 12; ++i) {
        const std::string k(1, static_cast<char>('a' + i));
        events.push_back(press(i, k, 0.008 * i));
        events.push_back(release(i, 0.008 * i + 0.004));
        typed += k;
    }
    for (int i = 0; i < 3; ++i) {
        events.push_back(press(20, "+", 1.0 + 0.3 * i));  // the same key, pressed again and again
        events.push_back(release(20, 1.1 + 0.3 * i));
        typed += "+";
    }
    for (double speed : {1.0, 18.0, 1000.0}) {
        SCOPED_TRACE(speed);
        std::string got;
        for (const auto& k : play(speed, 30.0, events)) got += k;
        EXPECT_EQ(got, typed);
    }
}

// Only the last pressed key repeats, focus loss stops it, text that must not repeat does not.
TEST(KeyRepeat, OnlyTheLastPressedKeyRepeatsAndFocusLossStopsIt) {
    KeyRepeat repeat;
    KeyQueue q;
    auto deliver = [&](const std::vector<KeyEvent>& events, double now) {
        repeat.deliver(events, now, q);
        std::string keys;
        while (!q.empty()) keys += q.pop() + ",";
        return keys;
    };
    EXPECT_EQ(deliver({press(1, "y", 0.0), press(2, "h", 0.1)}, 0.1), "y,h,");
    EXPECT_EQ(deliver({}, 0.65), "h,");               // h repeats ...
    EXPECT_EQ(deliver({release(2, 0.68)}, 1.5), "");  // ... and after its release y does not come back
    EXPECT_EQ(deliver({press(3, "\0H"s, 2.0), {Kind::ReleaseAll, 0, {}, 2.1}}, 3.0), "\0H,"s);
    EXPECT_FALSE(repeat.holding());
    EXPECT_EQ(deliver({press(KeyRepeat::kNoRepeat, "x", 4.0)}, 4.0), "x,");
    EXPECT_EQ(deliver({}, 5.0), "") << "text that must not repeat";
}

// A control of the page's touch screen held for 1.5 s, as the page reports it: the pad
// repeats like a held key, while a toggle gives one key, so a long press of pause
// does not end the pause it began.
TEST(KeyRepeat, HeldPadRepeatsAndHeldPauseDoesNot) {
    const auto held = [](std::string_view id) {
        for (int n = 0; touch_key(n); ++n)
            if (kTouchControls[n].id == id) {
                const TouchKey k = *touch_key(n);
                const std::vector<std::string> taken =
                    play(20, 2.0, {press(k.id, std::string(k.text), 0.0), release(k.id, 1.5)});
                return std::count(taken.begin(), taken.end(), std::string(k.text));
            }
        ADD_FAILURE() << "no control " << id;
        return std::ptrdiff_t{0};
    };
    EXPECT_GE(held("step-up"), 10);
    EXPECT_EQ(held("pause"), 1);
    EXPECT_EQ(held("leave"), 1);
}
