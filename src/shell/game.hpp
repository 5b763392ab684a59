#pragma once
// Start-up, the main loop and the quit sequence.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/error.hpp"

namespace tlvx {
struct State;

// Steps 1 to 24 of start-up: tables, screen, palette, data files, layer files,
// first view read. s.platform and s.data_dir must be set. A world the game
// cannot write (read_only_world_problem) is refused with WorldRefused before
// anything is opened or the screen appears.
void startup(State& s);

// mended: a read-only world used to open and stop with runtime error 3 at its
// first cell write. what() is the one line to print.
class WorldRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// One pass of the main loop. Returns true when Escape ended the program (the
// save file has been written).
bool run_pass(State& s);
// The pass's rules, from the key poll to the values kept for the next pass:
// the part of run_pass before the quit, the drawing and the pause.
void pass_rules(State& s);
// The quit sequence: close the screen, write the save file. A save that cannot
// be written throws FinalSaveFailed.
void quit(State& s);

// mended: the quit's save failed (runtime error 3, a full disk...). The save
// file on disk is the one written while playing (shell: save_if_due), so the
// world is as of that save. A main prints final_save_line() as one line and
// ends with the error's number; one that does not know it reports the runtime
// error as ever.
class FinalSaveFailed : public RuntimeError {
public:
    explicit FinalSaveFailed(const RuntimeError& cause) : RuntimeError(cause) {}
};
std::string final_save_line(const FinalSaveFailed& e);

enum class RunEnd { Quit, PassLimit };
// Passes until Escape, or until pass `max_passes` has run.
RunEnd run_loop(State& s, int64_t max_passes);

}  // namespace tlvx
