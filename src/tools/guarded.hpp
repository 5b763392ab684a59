#pragma once
// The frame of every tlvx-tool subcommand.
#include <functional>

namespace tlvx::tools {

// Runs a subcommand body and sets `exit_code` to what it returns. Its failures
// become one line "tlvx-tool COMMAND: message" on standard error and exit
// status 1; a runtime error keeps its number and place in the message.
void guarded(const char* command, int& exit_code, const std::function<int()>& body);

}  // namespace tlvx::tools
