// The shared random generator and the clock with its two ticks.
#include <gtest/gtest.h>

#include <set>

#include "support/test_support.hpp"
#include "sim/sim.hpp"

namespace tlvx::test {
namespace {

TEST(Random, FirstValuesFromStateZero) {
    // s1 = (0 * 16598013 + 12820163) mod 2^24 = 12820163 (0xC39EC3).
    // s2 = 12820163 * 16598013 + 12820163 = 212789244956282
    //    = 12683227 * 16777216 + 6000250, so s2 = 6000250 (0x5B8E7A).
    // s3 = 6000250 * 16598013 + 12820163 = 99592240323413, mod 2^24 = 1792853 (0x1B5B55).
    State s;
    EXPECT_DOUBLE_EQ(rnd(s), 12820163.0 / 16777216.0);
    EXPECT_EQ(s.rnd_state, 12820163u);
    EXPECT_DOUBLE_EQ(rnd(s), 6000250.0 / 16777216.0);
    EXPECT_DOUBLE_EQ(rnd(s), 1792853.0 / 16777216.0);
    EXPECT_EQ(s.rnd_state, 1792853u);
}

TEST(Random, SeedingFromATimeReadingKeepsTheOldLowByte) {
    State s;
    // 1000.0 is 0x408F400000000000; h = 0x408F4000, h >> 16 = 0x408F,
    // XOR = 0x408F008F, AND 65535 = 0x008F, times 256 = 0x8F00; old low byte 0xAB.
    s.rnd_state = 0x1234AB;
    reseed(s, 1000.0);
    EXPECT_EQ(s.rnd_state, 0x8FABu);
    // 1.5 is 0x3FF8000000000000; h = 0x3FF80000, XOR with 0x3FF8 = 0x3FF83FF8,
    // AND 65535 = 0x3FF8, times 256 = 0x3FF800; old low byte 0xAB again.
    reseed(s, 1.5);
    EXPECT_EQ(s.rnd_state, 0x3FF8ABu);
    // First number after that: 4192427 * 16598013 + 12820163 = 69585970667714
    // = 4147647 * 16777216 + 1056962, so the state becomes 1056962 (0x1020C2).
    EXPECT_DOUBLE_EQ(rnd(s), 1056962.0 / 16777216.0);
}

struct ClockFixture : ::testing::Test {
    TempDir dir;
    FakePlatform platform;
    State s;
    void SetUp() override {
        init_state(s, dir.path(), platform);
        s.TIMD = 1;
    }
    void at(double t) {
        platform.now = t;
        clock_step(s);
    }
};

TEST_F(ClockFixture, AnimationTickRhythmWithHalvesToEven) {
    s.BR = 99;
    s.SB = 200;  // the step tick stays quiet
    at(100.2);
    EXPECT_EQ(s.GC, 2);
    EXPECT_EQ(s.BR, 100);
    at(100.25);  // the mark rounded down: the next pass ticks again
    EXPECT_EQ(s.GC, 3);
    EXPECT_EQ(s.BR, 100);
    at(100.5);  // 100.5 rounds to the even 100
    EXPECT_EQ(s.GC, 4);
    EXPECT_EQ(s.BR, 100);
    at(100.5);
    EXPECT_EQ(s.GC, 1);
    at(100.6);
    EXPECT_EQ(s.GC, 2);
    EXPECT_EQ(s.BR, 101);
    at(100.9);
    at(101.0);  // equal to the mark: no tick
    EXPECT_EQ(s.GC, 2);
    at(101.01);
    EXPECT_EQ(s.GC, 3);
    EXPECT_EQ(s.GE, 1);
    EXPECT_EQ(s.SB, 200);
}

TEST_F(ClockFixture, StepTickRunsIndependently) {
    s.BR = 500;
    s.SB = 99;
    s.GE = 4;
    at(100.2);
    EXPECT_EQ(s.GE, 1);
    EXPECT_EQ(s.SB, 100);
    at(100.7);
    EXPECT_EQ(s.GE, 2);
    EXPECT_EQ(s.SB, 101);
    at(101.0);
    EXPECT_EQ(s.GE, 2);
    EXPECT_EQ(s.GC, 1);
}

TEST_F(ClockFixture, MinutesWhilePhaseFourAndPerStep) {
    s.BR = s.SB = 2000;
    s.GC = 4;
    at(1000);
    at(1000);
    EXPECT_EQ(s.TIMM, 2);  // one per pass while the phase stays 4
    s.GC = 1;
    at(1000);
    EXPECT_EQ(s.TIMM, 2);

    // A step costs 16 to 30 minutes, every value possible.
    std::set<int32_t> seen;
    for (int i = 0; i < 600; ++i) {
        s.TIMM = 0;
        s.TIMH = 0;
        s.VX1 = 10;
        s.VX2 = 11;
        at(1000);
        EXPECT_GE(s.TIMM, 16);
        EXPECT_LE(s.TIMM, 30);
        seen.insert(s.TIMM);
    }
    EXPECT_EQ(seen.size(), 15u);
}

TEST_F(ClockFixture, RollOversAndTheFirstDay) {
    s.BR = s.SB = 2000;
    s.TIMD = 0;
    at(1000);
    EXPECT_EQ(s.TIMD, 1);  // the first pass starts day 1 with no minute added
    EXPECT_EQ(s.TIMM, 0);

    s.GC = 4;
    s.TIMM = 59;
    s.TIMH = 5;
    at(1000);
    EXPECT_EQ(s.TIMM, 0);
    EXPECT_EQ(s.TIMH, 6);

    s.TIMM = 150;  // large additions come back into range
    at(1000);
    EXPECT_EQ(s.TIMM, 31);
    EXPECT_EQ(s.TIMH, 8);

    s.TIMM = 59;
    s.TIMH = 23;
    s.TIMD = 3;
    at(1000);
    EXPECT_EQ(s.TIMM, 0);
    EXPECT_EQ(s.TIMH, 0);
    EXPECT_EQ(s.TIMD, 4);

    s.TIMH = 50;
    s.TIMM = 0;
    at(1000);
    EXPECT_EQ(s.TIMH, 2);
    EXPECT_EQ(s.TIMD, 6);
}

}  // namespace
}  // namespace tlvx::test
