#pragma once
// The Tiled subcommands of tlvx-tool: export-tiled, import-tiled.
namespace CLI {
class App;
}

namespace tlvx::tools {

// Registers the subcommands on `app`. When one of them runs, its callback
// stores the process exit status in `exit_code`: 0 on success, 1 when it
// failed (the reason is on standard error). `exit_code` must outlive the parse.
void add_tiled_commands(CLI::App& app, int& exit_code);

}  // namespace tlvx::tools
