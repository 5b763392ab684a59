#include "tools/tool_commands.hpp"

#include "tools/record_info.hpp"
#include "tools/run_command.hpp"
#include "tools/tiled_commands.hpp"
#include "tools/world_commands.hpp"

namespace tlvx::tools {

void add_tool_commands(CLI::App& app, int& exit_code, std::string& report) {
    add_run_command(app, exit_code, report);
    add_record_info_command(app, exit_code);
    add_world_commands(app, exit_code);
    add_tiled_commands(app, exit_code);
}

}  // namespace tlvx::tools
