#pragma once
// The frame of every tlvx-tool subcommand.
#include <functional>

namespace tlvx::tools {

// Whether a subcommand catches SIGINT and SIGTERM. A command that writes
// files catches them, so that it can remove what this run made before it
// ends; a command that only reads is simply ended by them.
enum class StopSignalsCaught { No, Yes };

// Runs a subcommand body and sets `exit_code` to what it returns. Its failures
// become one line "tlvx-tool COMMAND: message" on standard error and exit
// status 1; a runtime error keeps its number and place in the message. With
// the stop signals caught, a stop (StopRequested, see base/stop_signal.hpp)
// unwinds the body, removing this run's temporary files on the way, and
// becomes one line and exit status 128 + the signal number (130 for SIGINT,
// 143 for SIGTERM).
void guarded(const char* command, int& exit_code, const std::function<int()>& body,
             StopSignalsCaught stop = StopSignalsCaught::No);

}  // namespace tlvx::tools
