#pragma once
// The world subcommands of tlvx-tool: demo, new, render, info, site, icon.
namespace CLI {
class App;
}

namespace tlvx::tools {

// Registers the subcommands on `app`. When one of them runs, its callback
// stores the process exit status in `exit_code`: 0 on success, 1 when it
// failed (the reason is on standard error) or, for info, when the world has
// problems. `exit_code` must outlive the parse.
void add_world_commands(CLI::App& app, int& exit_code);

}  // namespace tlvx::tools
