#pragma once
// The headless runner: the game's own start-up, passes and quit, with scripted
// keys and a simulated clock, for automation, golden replays and bug reports.
#include "tools/run_options.hpp"

namespace CLI {
class App;
}

namespace tlvx {

// Runs the game headless. Returns the exit status: 0 after Escape or at the
// pass limit, the error number after a runtime error (whose report goes to
// standard error), 2 for unusable options, 1 when another program holds the
// world.
int run_headless(const RunOptions& options);

// Registers `run` on the tool's command line; its result goes to `exit_code`.
void add_run_command(CLI::App& app, int& exit_code);

}  // namespace tlvx
