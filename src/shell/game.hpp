#pragma once
// Start-up, the main loop and the quit sequence.
#include <cstdint>

namespace tlvx {
struct State;

// Steps 1 to 24 of start-up: tables, screen, palette, data files, layer files,
// first view read. s.platform and s.data_dir must be set.
void startup(State& s);
// One pass of the main loop. Returns true when Escape ended the program (the
// save file has been written).
bool run_pass(State& s);
// The quit sequence: close the screen, write the save file.
void quit(State& s);

enum class RunEnd { Quit, PassLimit };
// Passes until Escape, or until pass `max_passes` has run.
RunEnd run_loop(State& s, int64_t max_passes);

}  // namespace tlvx
