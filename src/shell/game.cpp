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

// The game in one place: start-up, the pass and the quit.
//
// A pass, in the order the game runs it (keys are looked at in several of
// these steps, so the order is part of the rules):
//
//   begin_pass                  the platform's turn: pacing, the picture shown
//   poll_and_copy               a new random seed; one key into KEY; VX1 = VX2 ... G1 = G2
//   display_toggles             i and o: the status panel and the stored setting
//   position_clamp              the position kept on the map (1 to WX, 1 to WY)
//   redraw_reset                SCRNUPDT: 3 (start-up) becomes 1 (redraw all), else 0
//   editing_keys                + - f F * / Backspace ] [ \ on the cell in front
//   step_keys                   y h b g and the arrows: face and step
//   facing_keys                 Y H B G, the digits: face without a step
//   road_toggle                 "." turns road-following on or off
//   road_following_and_checks   road-following's step, then the step checks
//   creature_sweep              creatures in view wander (animation phase 4)
//   clock_step                  the step tick, the animation phase, the game clock
//   player_marker               the marker moved from the cell left to the cell entered
//   copy_pass_values            VX1 = VX2 ... G1 = G2 again, after this pass moved
//   (Escape)                    save and quit
//   redraw_view                 a full refresh or the creature cells
//   pause_if_asked              p waits for any key
//   status_display              the panel and the colour rotation, while I is on
//   ground_reread               the ground of the view read again from its layer
//   save_if_due                 toggles and facing saved once a game second
//
// Start-up fills the tables, opens the screen, loads the palette, seeds the
// random generator, starts the clock, reads the save file, the world
// description and the two tables, opens the layer files and reads the first
// view.

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
    // A world that cannot be written is refused before anything is written.
    if (const std::string problem = read_only_world_problem(s.data_dir); !problem.empty()) throw WorldRefused(problem);
    // The stream table and the small tables (the State starts them empty).
    s.CSV_STREAM.fill(CSV_TYPE{});
    s.M.fill(0);
    s.A_S.fill("");
    s.CK_S.fill("");
    s.PAL.fill(PAL_TYPE{});
    fill_directions(s);
    // The screen.
    s.SCRN = 13;
    SCREEN_OPEN(s, s.SCRN);
    TEXT_COLOR(s, 15);
    SCREEN_CLEAR(s);
    MOUSE_SET(s, 1, 1, 1);
    // The palette file and the gradient.
    load_palette_file(s);
    // The random seed, from the clock.
    reseed(s, s.platform->time());
    // The text grid.
    TEXT_GRID(s, 40, 25);
    // The game clock, the animation phase and the arm counter.
    s.TIMM = s.TIMH = s.TIMD = 0;
    s.BR = rounded_time(s);
    s.BT = 0;
    s.GC = 1;
    s.SB = rounded_time(s);
    s.SA = 0;
    s.GE = 1;
    // Turns and arrows, the first facing.
    fill_turns_and_arrows(s);
    s.D1 = 1;
    s.D2 = 1;
    // The file names, the save file, the world description, the sizes and
    // carried texts, the tile table and the object table; a runtime error
    // ends start-up.
    read_world_tables(s, [](const char*, const std::function<void()>& load) {
        load();
        return true;
    });
    // A clear screen, the layer files, the first view.
    BOX_FILL(s, 0, 0, 319, 199, 0);
    open_layer_files(s);
    finish_interrupted_step(s);
    first_view_read(s);
    // The first pass draws everything.
    SCREEN_CLEAR(s);
    s.SCRNUPDT = 3;
    note_saved_state(s);
}

void pass_rules(State& s) {
    poll_and_copy(s);
    display_toggles(s);
    position_clamp(s);
    redraw_reset(s);
    editing_keys(s);
    step_keys(s);
    facing_keys(s);
    road_toggle(s);
    road_following_and_checks(s);
    creature_sweep(s);
    clock_step(s);
    player_marker(s);
    copy_pass_values(s);
}

bool run_pass(State& s) {
    ++s.pass;
    s.platform->begin_pass(s.pass);
    pass_rules(s);
    if (key_is(s, KeyName::Quit)) {
        if (s.on_pass_end) s.on_pass_end(s);
        quit(s);
        return true;
    }
    redraw_view(s);
    pause_if_asked(s);
    if (s.I != 0) status_display(s);
    ground_reread(s);
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
