#pragma once
// A small map whose layer files are open and whose view grids are filled around
// the player, for tests that run single blocks of a pass by hand.
#include <cstdint>

#include "data/layer.hpp"
#include "data/world_names.hpp"
#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

struct ViewWorld {
    TempDir dir;
    FakePlatform platform;
    State s;

    // A w by h map of ground 1, the player at (vx, vy) with marker 1 under it.
    explicit ViewWorld(int w = 20, int h = 16, int vx = 10, int vy = 8) {
        init_state(s, dir.path(), platform);
        const int32_t dx[] = {0, 0, 1, 0, -1}, dy[] = {0, -1, 0, 1, 0};
        for (int d = 0; d <= 4; ++d) s.D(d) = D_TYPE{dx[d], dy[d]};
        const int32_t m[] = {3, 0, 1, 2};  // road-following tries left, straight on, right, back
        for (int d = 1; d <= 4; ++d) s.M(d) = m[d - 1];
        s.OBJ_M(0) = 1;
        write_file(dir.file(kLayerNames[0]), layer_bytes(w, h, [](int, int) { return uint8_t{1}; }));
        write_file(dir.file(kLayerNames[1]), layer_bytes(w, h, [vx, vy](int c, int r) {
                       return static_cast<uint8_t>(c == vx && r == vy ? 1 : 0);
                   }));
        for (const char* name : {kLayerNames[2], kLayerNames[3], kLayerNames[4]})
            write_file(dir.file(name), layer_bytes(w, h, nullptr));
        open_layer_files(s);
        s.VX1 = s.VX2 = vx;
        s.VY1 = s.VY2 = vy;
        read_view();
        s.G1 = s.G2 = s.GR(0, 0);
        s.G2_S = " 1 ";
        // Marks equal to the clock reading: no tick until the test moves the clock.
        s.BR = s.SB = static_cast<int32_t>(platform.now);
    }

    // The grids as a full refresh leaves them: the three layers around (VX2, VY2).
    void read_view() {
        for (int32_t y = -3; y <= 3; ++y)
            for (int32_t x = -3; x <= 3; ++x) {
                s.GR(x, y) = cell_read(s, kGroundFile, s.VX2 + x, s.VY2 + y);
                s.CS(x, y) = cell_read(s, kStructureFile, s.VX2 + x, s.VY2 + y);
                s.CR(x, y) = cell_read(s, kCreatureFile, s.VX2 + x, s.VY2 + y);
            }
    }

    // Write a layer value at view offset (x, y) of the player and re-read the view.
    void put(int32_t file, int32_t x, int32_t y, int32_t v) {
        cell_write(s, file, s.VX2 + x, s.VY2 + y, v);
        read_view();
    }
    // The layer file's value at view offset (x, y) of the start-of-pass position.
    int32_t at(int32_t file, int32_t x, int32_t y) { return cell_read(s, file, s.VX1 + x, s.VY1 + y); }

    // The rules of a pass (shell/game.cpp pass_rules) with `key` waiting: no drawing, no quit, no pause.
    void pass(const std::string& key) {
        if (!key.empty()) platform.pending.push_back(key);
        pass_rules(s);
    }
};

}  // namespace tlvx::test
