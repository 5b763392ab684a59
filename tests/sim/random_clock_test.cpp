// The clock with its two ticks.
#include <gtest/gtest.h>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

struct Clock : ::testing::Test, ViewWorld {
    void at(double t) {
        platform.now = t;
        clock_step(s);
    }
};

// A tick needs a reading strictly past the mark; the new mark is the reading rounded
// half to even, so the animation phase ticks again in the next pass at 100.25.
TEST_F(Clock, TicksRoundTheirMarksHalfToEven) {
    std::tie(s.BR, s.SB, s.GE) = std::tuple(99, 101, 4);  // the arm counter ticks only at 101.01
    const struct {
        double t;
        int32_t gc, br, ge;
    } steps[] = {
        {100.2, 2, 100, 4}, {100.25, 3, 100, 4}, {100.5, 4, 100, 4},  {100.5, 1, 100, 4},
        {100.6, 2, 101, 4}, {101.0, 2, 101, 4},  {101.01, 3, 101, 1},
    };
    for (const auto& st : steps) {
        at(st.t);
        EXPECT_EQ(std::tuple(s.GC, s.BR, s.GE), std::tuple(st.gc, st.br, st.ge)) << "at " << st.t;
    }
    EXPECT_EQ(s.SB, 101);
}

TEST_F(Clock, MinutesHoursDaysAndTheFirstDay) {
    s.BR = s.SB = 2000;  // no tick: GC stays as set
    const struct {
        int32_t gc, m, h, d, m2, h2, d2;
    } cases[] = {
        {1, 0, 0, 0, 0, 0, 1},    // the first pass starts day 1 with no minute added
        {4, 10, 5, 1, 11, 5, 1},  // a minute a pass while the phase is 4
        {4, 150, 6, 1, 31, 8, 1}, {4, 59, 23, 3, 0, 0, 4}, {4, 0, 50, 4, 1, 2, 6},
    };
    for (const auto& c : cases) {
        std::tie(s.GC, s.TIMM, s.TIMH, s.TIMD) = std::tuple(c.gc, c.m, c.h, c.d);
        at(1000);
        EXPECT_EQ(std::tuple(s.TIMM, s.TIMH, s.TIMD), std::tuple(c.m2, c.h2, c.d2)) << c.m << " " << c.h << " " << c.d;
    }
}

}  // namespace
}  // namespace tlvx::test
