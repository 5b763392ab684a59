// The ten editing keys: each changes one layer value of the cell in front of the
// player and writes it to that layer's file at once.
#include <cstdint>
#include <string_view>

#include "base/state.hpp"
#include "data/layer.hpp"
#include "input/editing.hpp"

namespace tlvx {

namespace {

struct EditKey {
    std::string_view key;
    int32_t file;  // kGroundFile, kCreatureFile or kStructureFile
    bool (*allowed)(int32_t v);
    int32_t (*next)(int32_t v);
};

// In the order the keys are tested; each compares the whole key text.
const EditKey kEditKeys[] = {
    {"+", kGroundFile, [](int32_t v) { return v < 64; }, [](int32_t v) { return v + 1; }},
    {"-", kGroundFile, [](int32_t v) { return v > 1; }, [](int32_t v) { return v - 1; }},
    {"f", kGroundFile, [](int32_t v) { return v < 48; }, [](int32_t v) { return v + 16; }},
    {"F", kGroundFile, [](int32_t v) { return v > 17; }, [](int32_t v) { return v - 16; }},
    {"\x08", kCreatureFile, [](int32_t v) { return v > 0; }, [](int32_t) { return 0; }},
    // kept: "*" or "]" on an empty cell makes value 1, the player's own picture in
    // the object table, so the first press puts a second figure of the player there.
    {"*", kCreatureFile, [](int32_t v) { return v < 255; }, [](int32_t v) { return v + 1; }},
    {"/", kCreatureFile, [](int32_t v) { return v > 0; }, [](int32_t v) { return v - 1; }},
    {"\\", kStructureFile, [](int32_t v) { return v > 0; }, [](int32_t) { return 0; }},
    {"]", kStructureFile, [](int32_t v) { return v < 255; }, [](int32_t v) { return v + 1; }},
    {"[", kStructureFile, [](int32_t v) { return v > 0; }, [](int32_t v) { return v - 1; }},
};

ViewGrid& grid_of(State& s, int32_t file) {
    if (file == kGroundFile) return s.GR;
    if (file == kCreatureFile) return s.CR;
    return s.CS;
}

}  // namespace

void editing_keys(State& s) {
    const int32_t dx = s.D(s.D2).X;
    const int32_t dy = s.D(s.D2).Y;
    for (const EditKey& e : kEditKeys) {
        if (s.KEY != e.key) continue;
        ViewGrid& grid = grid_of(s, e.file);
        const int32_t v = grid(dx, dy);
        if (!e.allowed(v)) return;
        const int32_t nv = e.next(v);
        cell_write(s, e.file, static_cast<int64_t>(s.VX2) + dx, static_cast<int64_t>(s.VY2) + dy, nv);
        s.SCRNUPDT = 1;
        // mended: creature and structure edits go into the view grid at once, so the
        // creature sweep and the player marker of this pass see the new value
        // instead of writing the old one back over the edit. kept: ground edits
        // leave GR as it is until the end-of-pass refresh re-reads it.
        if (e.file != kGroundFile) grid(dx, dy) = nv;
        return;
    }
}

}  // namespace tlvx
