#pragma once
// Loaders and the writer of the text data files.
namespace tlvx {
struct State;

void load_save_file(State& s);          // NM$ + "_001.sav", slot 0
void write_save_file(State& s);         // at quit, slot 0, text output
void load_world_description(State& s);  // P1$ + ".txt", slot 0; then RD$ = " " + RD$ + " "
void load_tile_table(State& s);         // GM$, slot 6; completes CK$(1..4)
void load_object_table(State& s);       // OM$, slot 0

}  // namespace tlvx
