// The ten editing keys: each changes one layer value of the cell in front of the
// player and writes it to that layer's file at once.
#include <cstdint>

#include "base/state.hpp"
#include "data/layer.hpp"
#include "input/editing.hpp"
#include "input/keys.hpp"

namespace tlvx {

namespace {

ViewGrid& grid_of(State& s, int32_t file) {
    if (file == kGroundFile) return s.GR;
    if (file == kCreatureFile) return s.CR;
    return s.CS;
}

}  // namespace

void editing_keys(State& s) {
    const int32_t dx = s.D(s.D2).X;
    const int32_t dy = s.D(s.D2).Y;
    // The editing rows of the key table, in its order: the first that is this
    // pass's key edits, or refuses at its limit.
    for (const KeyRow& row : key_rows()) {
        const KeyEdit& e = row.edit;
        if (e.layer == 0 || !key_is(s, row.name)) continue;
        ViewGrid& grid = grid_of(s, e.layer);
        const int32_t v = grid(dx, dy);
        const bool allowed = e.delta > 0 ? v < e.limit : v > e.limit;
        if (!allowed) return;
        const int32_t nv = e.delta == 0 ? 0 : v + e.delta;
        cell_write(s, e.layer, static_cast<int64_t>(s.VX2) + dx, static_cast<int64_t>(s.VY2) + dy, nv);
        s.SCRNUPDT = 1;
        // mended: creature and structure edits go into the view grid at once, so the
        // creature sweep and the player marker of this pass see the new value
        // instead of writing the old one back over the edit. kept: ground edits
        // leave GR as it is until the end-of-pass refresh re-reads it.
        if (e.layer != kGroundFile) grid(dx, dy) = nv;
        return;
    }
}

}  // namespace tlvx
