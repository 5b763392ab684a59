#pragma once
// The headless runner: the game's own start-up, passes and quit, with scripted
// keys and a simulated clock, for automation, golden replays and bug reports.
#include <string>

#include "tools/headless_game.hpp"
#include "tools/run_options.hpp"

namespace CLI {
class App;
}

namespace tlvx::tools {

// Runs the game headless. The exit status: 0 after Escape or at the pass
// limit, the error number after a runtime error (with its report), 2 for
// unusable options, 1 when another program holds the world.
RunOutcome run_headless(const RunOptions& options);

// Registers `run` on the tool's command line; its exit status goes to
// `exit_code`, a runtime error's report to `report` for main to print.
void add_run_command(CLI::App& app, int& exit_code, std::string& report);

}  // namespace tlvx::tools
