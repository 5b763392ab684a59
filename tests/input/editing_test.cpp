// The editing keys: their conditions, their writes and when the view grids see them.
#include <gtest/gtest.h>

#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

struct EditCase {
    const char* key;
    int32_t file;
    int32_t before;
    int32_t after;  // equal to `before` when the key must do nothing
};

const EditCase kEdits[] = {
    {"+", kGroundFile, 63, 64},       {"+", kGroundFile, 64, 64},       {"+", kGroundFile, 0, 1},
    {"-", kGroundFile, 2, 1},         {"-", kGroundFile, 1, 1},         {"f", kGroundFile, 47, 63},
    {"f", kGroundFile, 48, 48},       {"f", kGroundFile, 0, 16},        {"F", kGroundFile, 18, 2},
    {"F", kGroundFile, 17, 17},       {"\x08", kCreatureFile, 1, 0},    {"\x08", kCreatureFile, 200, 0},
    {"\x08", kCreatureFile, 0, 0},    {"*", kCreatureFile, 254, 255},   {"*", kCreatureFile, 255, 255},
    {"/", kCreatureFile, 1, 0},       {"/", kCreatureFile, 0, 0},       {"\\", kStructureFile, 1, 0},
    {"\\", kStructureFile, 0, 0},     {"]", kStructureFile, 254, 255},  {"]", kStructureFile, 255, 255},
    {"[", kStructureFile, 1, 0},      {"[", kStructureFile, 0, 0},
};

ViewGrid& grid(State& s, int32_t file) {
    return file == kGroundFile ? s.GR : file == kCreatureFile ? s.CR : s.CS;
}

TEST(Editing, EveryBoundaryOfTheEditTable) {
    ViewWorld w;
    for (const EditCase& e : kEdits) {
        SCOPED_TRACE(std::string("key ") + e.key + " on " + std::to_string(e.before));
        w.s.D2 = 2;
        w.put(e.file, 1, 0, e.before);
        w.pass(e.key);
        EXPECT_EQ(cell_read(w.s, e.file, 11, 8), e.after);
        EXPECT_EQ(w.s.SCRNUPDT, e.after != e.before ? 1 : 0);
        // Ground edits show in GR only after the refresh; creature and structure
        // edits are in their grid for the rest of the pass.
        const int32_t in_grid = e.file == kGroundFile ? e.before : e.after;
        EXPECT_EQ(grid(w.s, e.file)(1, 0), in_grid);
        EXPECT_EQ(w.s.VX2, 10);
    }
}

TEST(Editing, FacingNowhereEditsThePlayersOwnCell) {
    ViewWorld w;
    w.s.D2 = 0;
    w.pass("*");
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 2);
    w.pass("]");
    EXPECT_EQ(cell_read(w.s, kStructureFile, 10, 8), 1);
    w.pass("\x08");
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 0);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 7), 0);
}

TEST(Editing, TwoPlusKeysInTwoPassesAddTwo) {
    ViewWorld w;
    w.s.D2 = 1;
    w.pass("+");
    w.read_view();  // the refresh of the first pass
    w.pass("+");
    EXPECT_EQ(cell_read(w.s, kGroundFile, 10, 7), 3);
}

TEST(Editing, CreatureSweepOfThePassCannotOverwriteAnEdit) {
    // A creature boxed in by objects on three sides; only the front cell below it
    // is open, and that cell is given a creature or an object in the same pass.
    for (const char* key : {"*", "]", ""}) {
        SCOPED_TRACE(std::string("key ") + key);
        ViewWorld w;
        w.s.OBJ_M(1) = 1;
        w.s.OBJ_M(4) = 1;
        w.s.OBJS(2) = 1000;
        w.put(kCreatureFile, 0, -2, 2);
        for (auto [x, y] : {std::pair{-1, -2}, {1, -2}, {0, -3}}) w.put(kStructureFile, x, y, 4);
        w.s.D2 = 1;
        w.s.GC = 4;
        bool moved = false;
        for (uint32_t trial = 0; trial < 100 && !moved; ++trial) {
            w.put(kCreatureFile, 0, -1, 0);
            w.put(kStructureFile, 0, -1, 0);
            w.s.rnd_state = trial * 40503u & 0xFFFFFFu;
            w.s.SCRNUPDT = 1;
            w.s.KEY = key;
            editing_keys(w.s);
            creature_sweep(w.s);
            moved = cell_read(w.s, kCreatureFile, 10, 6) == 0;
        }
        // Without an edit the creature does step down in some trial; with one it never does.
        EXPECT_EQ(moved, std::string(key).empty());
    }
}

TEST(Editing, PlayerMarkerOfThePassCannotOverwriteAnEdit) {
    // Road-following would step onto the front cell that "*" just filled.
    ViewWorld w;
    w.s.RD_S = " 5 ";
    w.put(kGroundFile, 0, 0, 5);
    w.put(kGroundFile, 0, -1, 5);
    w.put(kCreatureFile, 0, 0, 7);
    w.s.G1 = w.s.G2 = 5;
    w.s.G2_S = " 5 ";
    w.s.P = 1;
    w.s.GE = 4;
    w.s.D2 = 1;
    w.pass("*");
    EXPECT_EQ(w.s.VY2, 8);  // the new creature blocks the road step
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 7), 1);
    EXPECT_EQ(cell_read(w.s, kCreatureFile, 10, 8), 7);
}

}  // namespace
}  // namespace tlvx::test
