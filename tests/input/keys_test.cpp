// Key dispatch (which keys step, turn, toggle or pause), the editing keys (their limits, their
// writes and when the view grids see them), turning and road-following. The blocking rules of a step
// are the golden case walk_with_blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <tuple>

#include "display/screen.hpp"
#include "input/editing.hpp"
#include "input/keys.hpp"
#include "input/movement.hpp"
#include "sim/creatures.hpp"
#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

// Where a pass left the player.
struct Place {
    int32_t d2, vx, vy, scrnupdt;
    bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Place& p) {
    return o << "{d2 " << p.d2 << ", at " << p.vx << "," << p.vy << ", scrnupdt " << p.scrnupdt << "}";
}

// No key and a function key do nothing; "\0K" (left) is not the "H" of " H h 6 ". "7" and "9" turn from
// each facing (0: none) without stepping.
TEST(KeyDispatch, StepAndFacingKeys) {
    // Where a pass with `key` leaves the player facing `from`; the pass runs on whatever the
    // key: the animation phase ticks.
    const auto after = [](const std::string& key, int32_t from) {
        SCOPED_TRACE(key + " from " + std::to_string(from));
        ViewWorld w;
        w.s.D2 = from;
        w.s.GC = 3;
        w.platform.now = 1000.4;
        w.pass(key);
        EXPECT_EQ(w.s.I + w.s.O + w.s.P, 0) << "no toggle";
        EXPECT_EQ(w.s.GC, 4) << "the animation phase";
        return Place{w.s.D2, w.s.VX2, w.s.VY2, w.s.SCRNUPDT};
    };
    const struct {
        std::string key;
        Place after;  // from facing down (3)
    } cases[] = {
        {"", {.d2 = 3, .vx = 10, .vy = 8, .scrnupdt = 0}},    {"\0;"s, {.d2 = 3, .vx = 10, .vy = 8, .scrnupdt = 0}},
        {"y", {.d2 = 1, .vx = 10, .vy = 7, .scrnupdt = 1}},   {"Y", {.d2 = 1, .vx = 10, .vy = 8, .scrnupdt = 0}},
        {"5", {.d2 = 0, .vx = 10, .vy = 8, .scrnupdt = 0}},   {"\0H"s, {.d2 = 1, .vx = 10, .vy = 7, .scrnupdt = 1}},
        {"\0K"s, {.d2 = 4, .vx = 9, .vy = 8, .scrnupdt = 1}},
    };
    for (const auto& c : cases) EXPECT_EQ(after(c.key, 3), c.after) << c.key;
    const int32_t left[] = {3, 4, 1, 2, 3}, right[] = {1, 2, 3, 4, 1};  // the facing after "7" and "9"
    for (int32_t from = 0; from <= 4; ++from) {
        EXPECT_EQ(after("7", from), (Place{left[from], 10, 8, 0})) << from;
        EXPECT_EQ(after("9", from), (Place{right[from], 10, 8, 0})) << from;
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
    EXPECT_EQ(platform.paused_polls, 3);
    EXPECT_EQ(KEY_POLL(s), "") << "the key that ended the pause is gone";
}

// The queue keeps the newest fifteen keys: more drop the oldest, also after the ring has wrapped many times.
TEST(KeyQueue, KeepsTheNewestFifteenInOrderAcrossWraps) {
    KeyQueue q;
    for (int round = 0; round < 50; ++round) {  // 14 to 20 keys a round: the ring's start moves on
        const int n = 14 + round % 7;
        for (int i = 0; i < n; ++i) q.push(std::string(1, char('a' + i)));
        ASSERT_EQ(q.size(), size_t(std::min(n, 15))) << round;
        for (int i = std::max(0, n - 15); i < n; ++i) ASSERT_EQ(q.pop(), std::string(1, char('a' + i))) << round;
        ASSERT_EQ(q.pop(), "") << round;
    }
}

TEST(Editing, EveryBoundaryOfTheEditTable) {
    struct Case {
        const char* key;
        int32_t layer, before, after;
    };  // after == before: no edit
    // kept: "*" or "]" on an empty cell makes value 1, the player's own picture.
    const Case cases[] = {
        {"+", kGroundFile, 63, 64},    {"+", kGroundFile, 64, 64},      {"-", kGroundFile, 2, 1},
        {"-", kGroundFile, 1, 1},      {"f", kGroundFile, 47, 63},      {"f", kGroundFile, 48, 48},
        {"F", kGroundFile, 18, 2},     {"F", kGroundFile, 17, 17},      {"\x08", kCreatureFile, 200, 0},
        {"\x08", kCreatureFile, 0, 0}, {"*", kCreatureFile, 254, 255},  {"*", kCreatureFile, 255, 255},
        {"/", kCreatureFile, 1, 0},    {"/", kCreatureFile, 0, 0},      {"\\", kStructureFile, 1, 0},
        {"\\", kStructureFile, 0, 0},  {"]", kStructureFile, 254, 255}, {"]", kStructureFile, 255, 255},
        {"[", kStructureFile, 1, 0},   {"[", kStructureFile, 0, 0},     {"*", kCreatureFile, 0, 1},
        {"]", kStructureFile, 0, 1},
    };
    ViewWorld w;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("key ") + c.key + " on " + std::to_string(c.before));
        w.s.D2 = 2;
        w.put(c.layer, 1, 0, c.before);
        w.pass(c.key);
        ViewGrid& grid = c.layer == kGroundFile ? w.s.GR : c.layer == kCreatureFile ? w.s.CR : w.s.CS;
        // The layer's file, its view grid and the redraw flag: ground edits reach GR only at the
        // refresh; the others are in their grid at once.
        EXPECT_EQ(std::tuple(cell_read(w.s, c.layer, 11, 8), grid(1, 0), w.s.SCRNUPDT),
                  std::tuple(c.after, c.layer == kGroundFile ? c.before : c.after, c.after != c.before ? 1 : 0));
        EXPECT_EQ(w.s.VX2, 10) << "an edit is no step";
    }
    w.s.D2 = 0;  // facing nowhere: the player's own cell
    w.pass("*");
    w.pass("]");
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 2);
    EXPECT_EQ(cell_read(w.s, kStructureFile, 10, 8), 1);
}

// The creature sweep of the same pass may not write an old grid value back over an
// edit. A creature boxed in by objects can only step down into the cell in front of
// the player, which the key fills.
TEST(Editing, CreatureSweepOfThePassCannotOverwriteAnEdit) {
    for (const std::string key : {"*", "]", ""}) {
        ViewWorld w;
        w.s.OBJS(2) = 1000;
        w.put(kCreatureFile, 0, -2, 2);
        for (auto [x, y] : {std::pair{-1, -2}, {1, -2}, {0, -3}}) w.put(kStructureFile, x, y, 4);
        w.s.D2 = 1;
        w.s.GC = 4;
        bool moved = false;
        for (uint32_t trial = 0; trial < 100 && !moved; ++trial) {
            w.put(kCreatureFile, 0, -1, 0);
            w.put(kStructureFile, 0, -1, 0);
            // SCRNUPDT 1: no immediate cell draws.
            w.s.rnd_state = trial * 40503u & 0xFFFFFFu;
            w.s.SCRNUPDT = 1;
            w.s.KEY = key;
            editing_keys(w.s);
            creature_sweep(w.s);
            moved = cell_read(w.s, kCreatureFile, 10, 6) == 0;
        }
        EXPECT_EQ(moved, key.empty()) << key;  // without an edit it does step down
    }
}

// Readies road-following (P 1) from the player's cell on road 5 with the arm counter GE at 4, facing `d2`.
void on_road(ViewWorld& w, int32_t d2) {
    w.read_view();
    w.s.RD_S = w.s.G2_S = " 5 ";
    w.s.G1 = w.s.G2 = 5;
    w.s.P = 1;
    w.s.GE = 4;
    w.s.D2 = d2;
}

// From (10, 8) on road 5 with the arm counter at 4. `around` is the 3 by 3 block around
// the player, row by row: r road, t road under a tree (OBJ_M 0), c road under a creature,
// k road that blocks moving left.
TEST(RoadFollowing, SearchOrderAndWhatStopsIt) {
    struct Case {
        int32_t d2;
        const char* around;
        int32_t f2, d2_after, dx, dy;
    };
    const Case cases[] = {
        {1, " r rrr r ", 1, 4, -1, 0}, {1, " r  rr r ", 2, 1, 0, -1},  // left, then straight on,
        {1, "    rr r ", 3, 2, 1, 0},  {1, "    r  r ", 4, 3, 0, 1},   // then right, then back
        {0, "   rr  r ", 1, 3, 0, 1},  {0, "   rr    ", 2, 0, 0, 0},   // facing nowhere: below, then the own cell
        {2, "    r    ", 5, 2, 0, 0},                                  // dead end: place and facing restored
        {1, "   tr    ", 1, 4, -1, 0},                                 // into a tree, unlike a step key
        {1, " r cr    ", 1, 4, 0, 0},  {1, " r kr    ", 1, 4, 0, 0},   // creature, blocked ground: a turn only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.around) + " facing " + std::to_string(c.d2));
        ViewWorld w;
        for (int i = 0; i < 9; ++i) {
            const int32_t x = 10 + i % 3 - 1, y = 8 + i / 3 - 1;
            if (c.around[i] != ' ') cell_write(w.s, kGroundFile, x, y, 5);
            if (c.around[i] == 't') cell_write(w.s, kStructureFile, x, y, 3);
            if (c.around[i] == 'c') cell_write(w.s, kCreatureFile, x, y, 2);
            if (c.around[i] == 'k') w.s.CK_S(4) = " 5 ";
        }
        on_road(w, c.d2);
        w.pass("");
        // The candidates tried, the facing, the step, the arm counter GE (any step taken resets it,
        // even one undone) and the marker, which follows the player.
        EXPECT_EQ(std::tuple(w.s.F2, w.s.D2, w.s.VX2 - 10, w.s.VY2 - 8, w.s.GE,
                             cell_read(w.s, kCreatureFile, w.s.VX2, w.s.VY2)),
                  std::tuple(c.f2, c.d2_after, c.dx, c.dy, c.d2_after == 0 ? 4 : 1, 1));
        EXPECT_EQ(w.s.SCRNUPDT, 1);
        EXPECT_EQ(w.s.TIMM == 0, c.dx == 0 && c.dy == 0) << "the step tick counts only a step";
    }
}

// The player marker may not write an old grid value back over an edit of the same
// pass: road-following would step onto the cell that "*" fills.
TEST(RoadFollowing, MarkerCannotOverwriteAnEditOfThePass) {
    ViewWorld w;
    for (int32_t y : {7, 8}) cell_write(w.s, kGroundFile, 10, y, 5);
    cell_write(w.s, kCreatureFile, 10, 8, 7);
    on_road(w, 1);
    w.pass("*");
    EXPECT_EQ(w.s.VY2, 8) << "the new creature blocks the road";
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 7), 1) << "the edit";
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 7) << "the cell the player stands on";
}

}  // namespace
}  // namespace tlvx::test
