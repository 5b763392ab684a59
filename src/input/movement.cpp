// Turning, stepping, road-following, the checks after a move and the player
// marker that travels with the player in the creature layer.
#include <cstdint>
#include <string>
#include <utility>

#include "base/state.hpp"
#include "data/layer.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"
#include "input/keys.hpp"
#include "input/movement.hpp"

namespace tlvx {

namespace {

// True when a text form such as " 7 " occurs in a list text; an empty text is
// never found.
bool text_in_list(const std::string& list, const std::string& text) {
    return !text.empty() && list.find(text) != std::string::npos;
}

// Put the player back where the pass began, keeping the facing.
void undo_step(State& s) {
    s.VX2 = s.VX1;
    s.VY2 = s.VY1;
    s.G2 = s.G1;
    s.G2_S = list_form(s.G1);
}

// The road-following search: candidates left, straight on, right, back and
// straight on again from the start-of-pass facing, until one stands on a road.
void road_search(State& s) {
    std::string search = "_";
    while (!text_in_list(s.RD_S, search) && s.F2 < 5) {
        s.F2 += 1;
        const int32_t k = s.M(s.F2);
        s.D2 = ((k + s.D1 - 1) % 4) + 1;
        s.VX2 = s.VX1 + s.D(s.D2).X;
        s.VY2 = s.VY1 + s.D(s.D2).Y;
        s.SCRNUPDT = 1;
        position_clamp(s);
        s.G2 = s.GR(s.VX2 - s.VX1, s.VY2 - s.VY1);
        search = list_form(s.G2);
        s.G2_S = search;
    }
}

}  // namespace

void step_keys(State& s) {
    struct StepKey {
        KeyName name;
        int32_t d;
    };
    static constexpr StepKey kStepKeys[] = {
        {KeyName::StepUp, 1}, {KeyName::StepRight, 2}, {KeyName::StepDown, 3}, {KeyName::StepLeft, 4}};
    for (const StepKey& k : kStepKeys) {
        if (!key_is(s, k.name)) continue;
        s.D2 = k.d;  // the player turns even when the step is refused
        const int32_t dx = s.D(k.d).X;
        const int32_t dy = s.D(k.d).Y;
        if (s.CR(dx, dy) == 0 && s.OBJ_M(s.CS(dx, dy)) != 0) {
            s.VX2 += dx;
            s.VY2 += dy;
            s.SCRNUPDT = 1;
        }
    }
}

void facing_keys(State& s) {
    if (key_is(s, KeyName::FaceUp)) s.D2 = 1;
    if (key_is(s, KeyName::FaceRight)) s.D2 = 2;
    if (key_is(s, KeyName::FaceDown)) s.D2 = 3;
    if (key_is(s, KeyName::FaceLeft)) s.D2 = 4;
    if (key_is(s, KeyName::FaceNowhere)) s.D2 = 0;
    if (key_is(s, KeyName::TurnLeft)) s.D2 = ((s.D2 + 2) % 4) + 1;
    if (key_is(s, KeyName::TurnRight)) s.D2 = (s.D2 % 4) + 1;
}

void road_following_and_checks(State& s) {
    s.F2 = 0;
    const bool search = s.P == 1 && text_in_list(s.RD_S, s.G2_S) && s.GE >= 4;
    if (search) road_search(s);

    // The arm counter resets before the checks, so a step they undo still resets it.
    if (s.VX2 != s.VX1 || s.VY2 != s.VY1) s.GE = 1;
    if (search && s.F2 == 5) {
        s.VX2 = s.VX1;
        s.VY2 = s.VY1;
        s.D2 = s.D1;
    }
    position_clamp(s);
    s.G2 = s.GR(s.VX2 - s.VX1, s.VY2 - s.VY1);
    s.G2_S = list_form(s.G2);
    // kept: a search step undone here leaves the player facing the road cell it
    // may not enter, and road-following stops there.
    if (text_in_list(s.CK_S(s.D2), s.G2_S)) undo_step(s);
    if (s.CR(s.D(s.D2).X, s.D(s.D2).Y) != 0) undo_step(s);
}

void player_marker(State& s) {
    if (s.VX2 == s.VX1 && s.VY2 == s.VY1) return;
    // Every step that survives the checks is exactly D(D2), so the cell stepped
    // to is the grid cell at that offset.
    const int32_t dx = s.D(s.D2).X;
    const int32_t dy = s.D(s.D2).Y;
    std::swap(s.CR(0, 0), s.CR(dx, dy));
    // mended: the save file records the step before the marker moves, and the
    // cell left is written first: whenever the program dies, start-up finds
    // the marker in the saved cell, in the cell the save says was left (the
    // step to complete), or in neither (the step's first write is done, the
    // second is missing), and ends the step (shell/game.cpp).
    save_step(s, s.VX1, s.VY1);
    cell_write(s, kCreatureFile, s.VX1, s.VY1, s.CR(0, 0));
    cell_write(s, kCreatureFile, s.VX2, s.VY2, s.CR(dx, dy));
}

}  // namespace tlvx
