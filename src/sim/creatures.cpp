// The creature sweep: every creature in the view may take one random step to a
// neighbouring view cell while the animation phase is 4.
#include <cmath>
#include <utility>

#include "base/state.hpp"
#include "data/layer.hpp"
#include "data/text_record.hpp"
#include "display/view.hpp"
#include "sim/creatures.hpp"
#include "sim/random.hpp"

namespace tlvx {

namespace {

bool inside_view(int32_t x, int32_t y) { return x >= -3 && x <= 3 && y >= -3 && y <= 3; }

void handle_creature(State& s, int32_t x, int32_t y) {
    const int32_t v = s.CR(x, y);
    s.LC(x, y) = 1;
    s.ACTIONR_S.clear();

    s.DIRR = static_cast<int32_t>(std::floor(rnd(s) * 4)) + 1;
    const int32_t tx = x + s.D(s.DIRR).X;
    const int32_t ty = y + s.D(s.DIRR).Y;
    if (!inside_view(tx, ty)) return;

    if (s.CR(tx, ty) == 0) {
        const double chance = std::floor(rnd(s) * s.OBJS(v));
        if (chance > 0 && s.OBJS(v) != 0) s.ACTIONR_S = "move";
    }
    if (s.ACTIONR_S == "move") {
        if (in_list(s.CK_S(s.DIRR), s.GR(tx, ty)) || s.OBJ_M(s.CS(tx, ty)) == 0) s.ACTIONR_S.clear();
    }
    if (s.ACTIONR_S != "move" || s.CS(tx, ty) != 0) return;

    // The processed flag travels with the creature, so one that steps right or
    // down is not handled again when the sweep reaches its new cell.
    std::swap(s.LC(x, y), s.LC(tx, ty));
    std::swap(s.CR(x, y), s.CR(tx, ty));
    cell_write(s, kCreatureFile, s.VX1 + tx, s.VY1 + ty, s.CR(tx, ty));
    cell_write(s, kCreatureFile, s.VX1 + x, s.VY1 + y, s.CR(x, y));
    if (s.SCRNUPDT == 0) {
        // The view did not move this pass: repaint the vacated cell now; the
        // entered cell is painted by the end-of-pass creature redraw.
        s.X = x;
        s.Y = y;
        full_cell_draw(s);
    }
}

}  // namespace

void creature_sweep(State& s) {
    s.LC.fill(0);
    if (s.GC != 4) return;
    for (int32_t y = -3; y <= 3; ++y) {
        for (int32_t x = -3; x <= 3; ++x) {
            if (s.CR(x, y) <= 1 || s.LC(x, y) == 1) continue;
            handle_creature(s, x, y);
        }
    }
}

}  // namespace tlvx
