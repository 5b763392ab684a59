// The editing keys: their limits, their writes and when the view grids see them.
#include <gtest/gtest.h>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

TEST(Editing, EveryBoundaryOfTheEditTable) {
    struct Case {
        const char* key;
        int32_t file, before, after;
    };  // after == before: no edit
    const Case cases[] = {
        {"+", kGroundFile, 63, 64},      {"+", kGroundFile, 64, 64},      {"-", kGroundFile, 2, 1},
        {"-", kGroundFile, 1, 1},        {"f", kGroundFile, 47, 63},      {"f", kGroundFile, 48, 48},
        {"F", kGroundFile, 18, 2},       {"F", kGroundFile, 17, 17},      {"\x08", kCreatureFile, 200, 0},
        {"\x08", kCreatureFile, 0, 0},   {"*", kCreatureFile, 254, 255},  {"*", kCreatureFile, 255, 255},
        {"/", kCreatureFile, 1, 0},      {"/", kCreatureFile, 0, 0},      {"\\", kStructureFile, 1, 0},
        {"]", kStructureFile, 254, 255}, {"]", kStructureFile, 255, 255}, {"[", kStructureFile, 1, 0},
        {"[", kStructureFile, 0, 0},
    };
    ViewWorld w;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("key ") + c.key + " on " + std::to_string(c.before));
        w.s.D2 = 2;
        w.put(c.file, 1, 0, c.before);
        w.pass(c.key);
        ViewGrid& grid = c.file == kGroundFile ? w.s.GR : c.file == kCreatureFile ? w.s.CR : w.s.CS;
        // Ground edits reach GR only at the refresh; the others are in their grid at once.
        EXPECT_EQ(std::tuple(cell_read(w.s, c.file, 11, 8), grid(1, 0), w.s.SCRNUPDT, w.s.VX2),
                  std::tuple(c.after, c.file == kGroundFile ? c.before : c.after, c.after != c.before ? 1 : 0, 10));
    }
    w.s.D2 = 0;  // facing nowhere: the player's own cell
    w.pass("*");
    w.pass("]");
    EXPECT_EQ(std::tuple(cell_read(w.s, kCreatureFile, 10, 8), cell_read(w.s, kStructureFile, 10, 8)),
              std::tuple(2, 1));
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
        std::tie(w.s.D2, w.s.GC) = std::tuple(1, 4);
        bool moved = false;
        for (uint32_t trial = 0; trial < 100 && !moved; ++trial) {
            w.put(kCreatureFile, 0, -1, 0);
            w.put(kStructureFile, 0, -1, 0);
            // SCRNUPDT 1: no immediate cell draws.
            std::tie(w.s.rnd_state, w.s.SCRNUPDT, w.s.KEY) = std::tuple(trial * 40503u & 0xFFFFFFu, 1, key);
            editing_keys(w.s);
            creature_sweep(w.s);
            moved = cell_read(w.s, kCreatureFile, 10, 6) == 0;
        }
        EXPECT_EQ(moved, key.empty()) << key;  // without an edit it does step down
    }
}

}  // namespace
}  // namespace tlvx::test
