// Key dispatch: the poll, the key sets, the toggles, the redraw flag and the pause.
#include <gtest/gtest.h>

#include "display/screen.hpp"
#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

const char* const kSets[] = {" Y y 8 ", " H h 6 ", " B b 2 ", " G g 4 ", " 5 ", " 7 ", " 9 "};

TEST(KeyDispatch, NoKeyMatchesNothingAndThePassStillRuns) {
    ViewWorld w;
    w.s.D2 = 2;
    w.s.I = 1;
    w.s.O = 3;
    w.s.P = 0;
    w.s.GC = 3;
    w.platform.now = 1000.4;  // past the marks: both ticks happen with no key
    w.pass("");
    EXPECT_EQ(w.s.KEY, "");
    EXPECT_EQ(w.s.CC_S, "  ");
    for (const char* set : kSets) EXPECT_FALSE(key_in_set(w.s, set)) << set;
    EXPECT_EQ(w.s.D2, 2);
    EXPECT_EQ(w.s.VX2, 10);
    EXPECT_EQ(w.s.VY2, 8);
    EXPECT_EQ(w.s.I, 1);
    EXPECT_EQ(w.s.O, 3);
    EXPECT_EQ(w.s.P, 0);
    EXPECT_EQ(w.s.SCRNUPDT, 0);
    EXPECT_EQ(w.s.GC, 4);
    EXPECT_EQ(w.s.TIMM, 1);  // the phase reached 4 in this pass
}

TEST(KeyDispatch, LowerCaseYStepsAndFacesWhileUpperCaseAndDigitOnlyTurn) {
    {
        ViewWorld w;
        w.s.D2 = 3;
        w.pass("y");
        EXPECT_EQ(w.s.VY2, 7);
        EXPECT_EQ(w.s.D2, 1);
        EXPECT_EQ(w.s.SCRNUPDT, 1);
    }
    {
        // The facing entry fires for "y" as well: alone it turns the player up.
        ViewWorld w;
        w.s.D2 = 3;
        w.s.KEY = "y";
        w.s.CC_S = " y ";
        facing_keys(w.s);
        EXPECT_EQ(w.s.D2, 1);
        EXPECT_EQ(w.s.VY2, 8);
    }
    for (const char* key : {"Y", "8"}) {
        ViewWorld w;  // the cell above is free, yet these keys do not step
        w.s.D2 = 3;
        w.pass(key);
        EXPECT_EQ(w.s.D2, 1) << key;
        EXPECT_EQ(w.s.VX2, 10) << key;
        EXPECT_EQ(w.s.VY2, 8) << key;
        EXPECT_EQ(w.s.SCRNUPDT, 0) << key;
    }
}

TEST(KeyDispatch, ExtendedKeysCompareAsWholeTwoByteTexts) {
    {
        // A function key: character 0 then ";" matches no key and no set.
        ViewWorld w;
        w.s.D2 = 2;
        const int32_t i = w.s.I, o = w.s.O, p = w.s.P;
        w.pass(std::string("\0;", 2));
        EXPECT_EQ(w.s.KEY, std::string("\0;", 2));
        for (const char* set : kSets) EXPECT_FALSE(key_in_set(w.s, set)) << set;
        EXPECT_EQ(w.s.D2, 2);
        EXPECT_EQ(w.s.VX2, 10);
        EXPECT_EQ(w.s.VY2, 8);
        EXPECT_EQ(w.s.SCRNUPDT, 0);
        EXPECT_EQ(w.s.I, i);
        EXPECT_EQ(w.s.O, o);
        EXPECT_EQ(w.s.P, p);
    }
    {
        // The up arrow ends in "H" but is not in the " H h 6 " set: it faces up.
        ViewWorld w;
        w.put(kCreatureFile, 0, -1, 2);
        w.s.D2 = 3;
        w.pass(std::string("\0H", 2));
        EXPECT_EQ(w.s.D2, 1);
        EXPECT_EQ(w.s.VY2, 8);
    }
    {
        ViewWorld w;
        w.pass(std::string("\0K", 2));  // left arrow steps left
        EXPECT_EQ(w.s.D2, 4);
        EXPECT_EQ(w.s.VX2, 9);
    }
}

TEST(KeyDispatch, DisplayToggleOnlySwapsZeroAndOne) {
    ViewWorld w;
    w.s.I = 5;
    w.pass("i");
    EXPECT_EQ(w.s.I, -4);  // still on
    w.pass("I");
    EXPECT_EQ(w.s.I, 5);
    w.s.I = 0;
    w.pass("i");
    EXPECT_EQ(w.s.I, 1);
    w.pass("i");
    EXPECT_EQ(w.s.I, 0);
}

TEST(KeyDispatch, SettingCyclesOneToFourWithTruncatingRemainder) {
    ViewWorld w;
    w.s.O = 1;
    const int32_t expected[] = {2, 3, 4, 1, 2};
    for (int32_t e : expected) {
        w.pass("o");
        EXPECT_EQ(w.s.O, e);
    }
    w.s.O = 0;
    w.pass("O");
    EXPECT_EQ(w.s.O, 1);
    w.s.O = -5;  // -5 mod 4 is -1 when the remainder follows the dividend
    w.pass("o");
    EXPECT_EQ(w.s.O, 0);
    w.s.O = 7;
    w.pass("o");
    EXPECT_EQ(w.s.O, 4);
}

TEST(KeyDispatch, RedrawFlagAndRoadToggle) {
    ViewWorld w;
    w.s.SCRNUPDT = 3;
    redraw_reset(w.s);
    EXPECT_EQ(w.s.SCRNUPDT, 1);
    redraw_reset(w.s);
    EXPECT_EQ(w.s.SCRNUPDT, 0);
    w.s.P = 0;
    w.pass(".");
    EXPECT_EQ(w.s.P, 1);
    w.pass(".");
    EXPECT_EQ(w.s.P, 0);
    w.pass("P");  // pauses, does not toggle the flag
    EXPECT_EQ(w.s.P, 0);
}

// Delivers a key only on the third poll of the pause.
class LatePlatform : public FakePlatform {
public:
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

    s.KEY = "P";
    platform.pending.push_back("p");  // a second "p" resumes, it does not pause again
    pause_if_asked(s);
    EXPECT_EQ(platform.paused_polls, 4);
    EXPECT_EQ(KEY_POLL(s), "");

    s.KEY = "y";
    pause_if_asked(s);
    EXPECT_EQ(platform.paused_polls, 4);  // other keys do not pause
}

TEST(KeyDispatch, PositionClampKeepsThePlayerOnTheMap) {
    ViewWorld w;  // 20 by 16
    w.s.VX2 = 25;
    w.s.VY2 = -3;
    position_clamp(w.s);
    EXPECT_EQ(w.s.VX2, 20);
    EXPECT_EQ(w.s.VY2, 1);
    w.s.VX2 = 0;
    w.s.VY2 = 17;
    position_clamp(w.s);
    EXPECT_EQ(w.s.VX2, 1);
    EXPECT_EQ(w.s.VY2, 16);
}

}  // namespace
}  // namespace tlvx::test
