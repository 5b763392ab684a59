#include <gtest/gtest.h>

#include "platform/headless/headless_platform.hpp"

using namespace tlvx;

namespace {
// Everything waiting in the queue, oldest first, as one string.
std::string drain(KeyQueue& q) {
    std::string all;
    while (!q.empty()) all += q.pop();
    return all;
}
}  // namespace

TEST(Headless, ClockReadsStartThenStepsPerPass) {
    HeadlessPlatform p({}, 1000.0, 0.01);
    EXPECT_EQ(p.time(), 1000.0);
    EXPECT_EQ(p.time(), 1000.0);  // every reading of start-up is the same
    p.begin_pass(1);
    EXPECT_DOUBLE_EQ(p.time(), 1000.01);
    p.begin_pass(250);
    EXPECT_DOUBLE_EQ(p.time(), 1002.5);
    EXPECT_DOUBLE_EQ(p.time(), 1002.5);

    HeadlessPlatform slow({}, 5.5, 0.25);
    slow.begin_pass(3);
    EXPECT_DOUBLE_EQ(slow.time(), 6.25);
}

TEST(Headless, KeysArriveForTheirPassInScriptOrder) {
    Screen screen;
    KeyQueue q;
    // Passes out of order in the script: keys of one pass keep their order.
    HeadlessPlatform p({{3, "b"}, {1, "a"}, {3, "c"}, {6, "e"}, {5, "d"}}, 0, 1);
    p.poll(screen, q, false);  // start-up: nothing is due
    EXPECT_TRUE(q.empty());
    p.begin_pass(1);
    p.poll(screen, q, false);
    p.poll(screen, q, false);  // a second poll in the pass hands nothing twice
    EXPECT_EQ(drain(q), "a");
    p.begin_pass(2);
    p.poll(screen, q, false);
    EXPECT_TRUE(q.empty());
    p.begin_pass(3);
    p.poll(screen, q, false);
    EXPECT_EQ(drain(q), "bc");
    // Passes skipped over: every key due by now arrives.
    p.begin_pass(7);
    p.poll(screen, q, false);
    EXPECT_EQ(drain(q), "de");
    EXPECT_EQ(p.keys_left(), 0u);
}

TEST(Headless, PauseTakesTheNextKeyAtOnceThenStops) {
    Screen screen;
    KeyQueue q;
    HeadlessPlatform p({{1, "p"}, {1, "y"}, {9, "x"}, {12, "z"}}, 0, 1);
    p.begin_pass(1);
    p.poll(screen, q, false);
    EXPECT_EQ(q.pop(), "p");
    // A key already waiting ends the pause; nothing more is handed over.
    p.poll(screen, q, true);
    EXPECT_EQ(drain(q), "y");
    // None waiting: the next scripted key comes at once, whatever its pass.
    p.poll(screen, q, true);
    EXPECT_EQ(drain(q), "x");
    EXPECT_EQ(p.keys_left(), 1u);
    // A key handed over early is not handed over again when its pass comes.
    p.begin_pass(9);
    p.poll(screen, q, false);
    EXPECT_TRUE(q.empty());
    p.poll(screen, q, true);
    EXPECT_EQ(drain(q), "z");
    EXPECT_THROW(p.poll(screen, q, true), StopRun);
    // Outside the pause an empty script just reads no key.
    EXPECT_NO_THROW(p.poll(screen, q, false));
    EXPECT_TRUE(q.empty());
}
