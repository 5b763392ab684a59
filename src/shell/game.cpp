#include "shell/game.hpp"

#include "base/error.hpp"
#include "base/platform.hpp"
#include "base/rounding.hpp"
#include "base/state.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/world_files.hpp"
#include "display/screen.hpp"
#include "display/status.hpp"
#include "display/view.hpp"
#include "input/editing.hpp"
#include "input/keys.hpp"
#include "input/movement.hpp"
#include "sim/clock.hpp"
#include "sim/creatures.hpp"
#include "sim/random.hpp"

namespace tlvx {

namespace {

void fill_directions(State& s) {
    s.D(0) = {0, 0};
    s.D(1) = {0, -1};
    s.D(2) = {1, 0};
    s.D(3) = {0, 1};
    s.D(4) = {-1, 0};
    for (int i = 5; i <= 10; ++i) s.D(i) = {0, 0};
}

void fill_turns_and_arrows(State& s) {
    s.M.fill(0);
    s.M(1) = 3;  // left
    s.M(2) = 0;  // straight on
    s.M(3) = 1;  // right
    s.M(4) = 2;  // back
    s.A_S.fill("");
    s.A_S(0) = std::string(1, '\x04');
    s.A_S(1) = std::string(1, '\x18');
    s.A_S(2) = std::string(1, '\x1A');
    s.A_S(3) = std::string(1, '\x19');
    s.A_S(4) = std::string(1, '\x1B');
}

int32_t rounded_time(State& s) { return round_half_even(s.platform->time()); }

// mended: the save file records every step before the marker moves (input/
// movement.cpp), so after a program killed at any moment the marker is in the
// saved cell, in the cell the save says the step left, or, when only the
// step's first cell write was done, in neither. The last two end the step here:
// the marker is put in the saved cell (a swap when it is still in the cell
// left), and the save is written with both pairs equal. A save whose pairs are
// equal (every save of a quit) is left alone, whatever its cell holds.
void finish_interrupted_step(State& s) {
    if (s.saved_from_x == s.VX2 && s.saved_from_y == s.VY2) return;
    auto inside = [&](int64_t c, int64_t r) { return c >= 1 && c <= s.WX && r >= 1 && r <= s.WY; };
    if (!inside(s.VX2, s.VY2)) return;
    const int32_t here = cell_read(s, kCreatureFile, s.VX2, s.VY2);
    if (here == kPlayerMarker) return;
    if (inside(s.saved_from_x, s.saved_from_y) &&
        cell_read(s, kCreatureFile, s.saved_from_x, s.saved_from_y) == kPlayerMarker)
        cell_write(s, kCreatureFile, s.saved_from_x, s.saved_from_y, here);
    cell_write(s, kCreatureFile, s.VX2, s.VY2, kPlayerMarker);
    s.saved_from_x = s.VX2;
    s.saved_from_y = s.VY2;
    try {
        write_save_record(s, save_record_of(s), SaveSync::Durable);
    } catch (const RuntimeError&) {
        // The layers are whole again; with the marker in the saved cell the
        // next start finds nothing to end, so the old save may stay.
    }
}

}  // namespace

void startup(State& s) {
    if (const std::string problem = read_only_world_problem(s.data_dir); !problem.empty()) throw WorldRefused(problem);
    // 1-3: stream table and the small tables (the State starts them empty).
    s.CSV_STREAM.fill(CSV_TYPE{});
    s.M.fill(0);
    s.A_S.fill("");
    s.CK_S.fill("");
    s.PAL.fill(PAL_TYPE{});
    fill_directions(s);
    // 4: the screen.
    s.SCRN = 13;
    SCREEN_OPEN(s, s.SCRN);
    TEXT_COLOR(s, 15);
    SCREEN_CLEAR(s);
    MOUSE_SET(s, 1, 1, 1);
    // 5: palette file and gradient.
    load_palette_file(s);
    // 6: random seed.
    reseed(s, s.platform->time());
    // 7: text grid.
    TEXT_GRID(s, 40, 25);
    // 8: clock and timers.
    s.TIMM = s.TIMH = s.TIMD = 0;
    s.BR = rounded_time(s);
    s.BT = 0;
    s.GC = 1;
    s.SB = rounded_time(s);
    s.SA = 0;
    s.GE = 1;
    // 9-11.
    fill_turns_and_arrows(s);
    s.D1 = 1;
    s.D2 = 1;
    s.NM_S = "Pndx";
    // 12-13: save file, world description.
    load_save_file(s);
    load_world_description(s);
    // 14-17.
    s.SZ = 24;
    s.GZ = 256;
    s.GM_S = "tlvx_w05.mem";
    s.M_S.fill("");
    s.M_TILE.fill(0);
    s.OBJ_M(0) = 1;
    s.MG_S = "tlvx_gr1.tmp";
    s.MGB_S = "tlvx_gr2.tmp";
    s.MGC_S = "tlvx_gr3.tmp";
    s.C1_S = "001";
    s.C2_S = "002";
    s.C3_S = "003";
    // 18-19: tile table, object table.
    load_tile_table(s);
    load_object_table(s);
    // 20-22: clear, layer files, first view read.
    BOX_FILL(s, 0, 0, 319, 199, 0);
    open_layer_files(s);
    finish_interrupted_step(s);
    first_view_read(s);
    // 23-24.
    SCREEN_CLEAR(s);
    s.SCRNUPDT = 3;
    note_saved_state(s);
}

bool run_pass(State& s) {
    ++s.pass;
    s.platform->begin_pass(s.pass);
    poll_and_copy(s);    // 1
    display_toggles(s);  // 2
    position_clamp(s);   // 3
    redraw_reset(s);     // 4
    editing_keys(s);     // 5
    step_keys(s);        // 6
    facing_keys(s);
    road_toggle(s);
    road_following_and_checks(s);  // 7
    creature_sweep(s);             // 8
    clock_step(s);                 // 9
    player_marker(s);              // 10
    copy_pass_values(s);           // 11
    if (s.KEY == "\x1b") {         // 12
        if (s.on_pass_end) s.on_pass_end(s);
        quit(s);
        return true;
    }
    redraw_view(s);                   // 13
    pause_if_asked(s);                // 14
    if (s.I != 0) status_display(s);  // 15
    ground_reread(s);                 // 16
    save_if_due(s);
    if (s.on_pass_end) s.on_pass_end(s);
    return false;
}

void quit(State& s) {
    SCREEN_CLOSE(s);
    try {
        write_save_file(s);
    } catch (const RuntimeError& e) {
        throw FinalSaveFailed(e);
    }
}

std::string final_save_line(const FinalSaveFailed& e) {
    return "the final save could not be written (" + describe(e) + "); the world is as of the last save, " +
           "made while playing at most about a second before";
}

RunEnd run_loop(State& s, int64_t max_passes) {
    while (s.pass < max_passes) {
        if (run_pass(s)) return RunEnd::Quit;
    }
    return RunEnd::PassLimit;
}

}  // namespace tlvx
