#pragma once
// Every tlvx-tool subcommand, in the order `tlvx-tool --help`, the manual page
// and the worlds guide list them: a new tool is registered here and nowhere else
// (the guide's list and the manual page's section are written from it).
#include <string>

namespace CLI {
class App;
}  // namespace CLI

namespace tlvx::tools {

// Adds every subcommand to `app`. A run leaves its exit status in `exit_code`
// and a runtime error's report, which only main prints, in `report`.
void add_tool_commands(CLI::App& app, int& exit_code, std::string& report);

}  // namespace tlvx::tools
