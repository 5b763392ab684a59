#pragma once
#include <cstdint>
#include <string>
// Drawing view cells and keeping the 7x7 view in step with the layer files.
namespace tlvx {
struct State;

// Draw the cell at view offset (s.X, s.Y): read its three layer bytes into
// GR/CS/CR and paint ground, then masked objects in their order.
void full_cell_draw(State& s);
// Repaint the cell at (s.X, s.Y) only when it holds a creature; grids untouched.
void creature_redraw(State& s);
// The mask file name that goes with a picture name.
std::string mask_name(const std::string& picture);
// The same, written into `mask` (its storage is reused).
void mask_name_into(const std::string& picture, std::string& mask);

void centre_clamp(State& s);
// The columns (or rows) first to last where centre_clamp leaves a player on a
// map `size` cells across: 4 to size - 3; under 7 cells only size - 4, where
// it moves every player. The player never ends a pass on any other cell.
struct CentreRange {
    int64_t first, last;
};
CentreRange centres_kept(int64_t size);
void first_view_read(State& s);  // start-up
void full_view_refresh(State& s);
void redraw_view(State& s);    // a full refresh or the creature cells
void ground_reread(State& s);  // the ground under the player read again

}  // namespace tlvx
