#pragma once
// `tlvx-tool record-info`: what a recording holds.
namespace CLI {
class App;
}

namespace tlvx::tools {

// Registers `record-info` on the tool's command line.
void add_record_info_command(CLI::App& app, int& exit_code);

}  // namespace tlvx::tools
