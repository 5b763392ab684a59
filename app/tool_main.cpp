// tlvx-tool: the headless runner and the world tools.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>

#include "tools/command_line.hpp"
#include "tools/tool_commands.hpp"

int main(int argc, char** argv) {
    // mended: past a file size limit a write fails with EFBIG instead of
    // killing the program, so a recording that cannot grow stops and the
    // game goes on to its save.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"tlvx-tool: run the game headless and make, check and draw worlds", "tlvx-tool"};
    app.require_subcommand(1);
    int exit_code = 0;
    std::string report;  // a runtime error's report, which only main prints
    tlvx::tools::add_tool_commands(app, exit_code, report);
    const int status = tlvx::tools::run_command_line(app, argc, argv, exit_code);
    std::fputs(report.c_str(), stderr);
    return status;
}
