#pragma once
// Loaders and the writers of the text data files.
#include <cstdint>
#include <functional>
#include <string>

namespace tlvx {
struct State;

// The fourteen fields of the save file. The first position pair is the cell the
// player left in the step the record was written for (the same as the second
// pair when no step is under way); the loader keeps only the second.
struct SaveRecord {
    std::string P1_S;
    int32_t from_x = 0, from_y = 0;
    int32_t D1 = 0;
    int32_t VX2 = 0, VY2 = 0;
    std::string NM_S, C1_S, C2_S, C3_S;
    int32_t S = 0, O = 0, I = 0, P = 0;
};

// The three carried texts start-up gives C1$, C2$, C3$ after reading the save
// file (the stored ones are read and then replaced).
inline constexpr const char* kStartCarriedTexts[3] = {"001", "002", "003"};

// The record of the state as the quit saves it: both pairs are VX2, VY2.
SaveRecord save_record_of(const State& s);
// The save file of NM$ read as start-up reads it (slot 0, closed again).
// Runtime error 2 when it is missing.
SaveRecord read_save_record(State& s);
// The file's bytes, exactly as the quit's save writes them.
std::string save_record_text(const SaveRecord& r);

enum class SaveSync {
    Durable,    // synced to the disk before the rename, as every other save
    PageCache,  // left to the system's write-back: survives the program's death, not the machine's
};
// Replace the save file of r.NM_S in the data directory with the record through
// the atomic writer, without the stream table (so it may run in the middle of a
// pass). Runtime error 2 for a name that names no save file, 3 when it cannot be
// written (the old file stays whole).
void write_save_record(const State& s, const SaveRecord& r, SaveSync sync);

// While playing, the save file follows the player: the layers say where the
// marker is, and a program killed at any moment must find the save agreeing
// with them. save_step() writes the record of a step just before the marker's
// two cell writes (first pair: the cell left, second pair: the cell entered),
// synced at most once a second; save_if_due() writes the state once a second
// when it changed since the last save (synced). Failures are ignored: the last
// save stays, and the quit's save reports the disk. note_saved_state() takes
// the state as the one on disk (start-up).
void save_step(State& s, int32_t from_x, int32_t from_y);
void save_if_due(State& s);
void note_saved_state(State& s);

// "" when the game can write every file of the world in `dir` it writes
// while playing, else one line: `the world in "DIR" is read-only: copy it to
// a folder you can write`. The folder must take new files (the temporaries
// the saves are written to, a layer file that is missing), and each of the
// three layers the game writes and the save file, when they exist, must be
// writable. Judged with the effective user's rights (root may write a file
// of mode 0444, so for root such a world is not read-only).
std::string read_only_world_problem(const std::string& dir);

void load_save_file(State& s);          // read_save_record into the state; the first pair into saved_from_x, _y
void write_save_file(State& s);         // at quit, slot 0, text output
void load_world_description(State& s);  // P1$ + ".txt", slot 0; then RD$ = " " + RD$ + " "
void load_tile_table(State& s);         // GM$, slot 6; completes CK$(1..4)
void load_object_table(State& s);       // OM$, slot 0

// Runs one step of loading a world: calls `load`, and returns whether it
// went through. The game's runner lets a runtime error end start-up; the
// tools' runner notes it under `step` and goes on.
using LoadStep = std::function<bool(const char* step, const std::function<void()>& load)>;
// Start-up's reading of the world after the palette: the file names
// (name_world_files), the save file, the world description it names (only
// when the save file was read), the picture and table sizes and the carried
// texts, then the tile table and the object table, each through `step`.
void read_world_tables(State& s, const LoadStep& step);

}  // namespace tlvx
