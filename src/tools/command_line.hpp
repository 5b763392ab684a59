#pragma once
// What every tlvx-tool subcommand shares on the command line: parsing with
// one short line for every mistake, and number checks whose messages name the
// option and its range (tools/guarded.hpp turns a failure into a message).
#include <cstdint>
#include <string>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace tlvx::tools {

// Exit status of a command line the tool does not accept.
constexpr int kUsageError = 2;

// Accepts a whole number from `lo` to `hi` (no upper bound when `hi` is
// INT64_MAX); otherwise "OPTION must be LO to HI" or "OPTION must be LO or
// more", with the text given when it is not a number at all.
CLI::Validator whole_number(const std::string& option, int64_t lo, int64_t hi);

// Accepts a region of cells "X,Y,W,H" as --region takes it (render,
// export-tiled); otherwise one line saying the form it wants.
CLI::Validator region_text();

// Parses the command line and runs the chosen subcommand; returns the exit
// status: `exit_code` as the subcommand left it, 0 after --help, or
// kUsageError after one line on standard error naming the mistake (an unknown
// subcommand is named and the real ones listed).
int run_command_line(CLI::App& app, int argc, char** argv, const int& exit_code);

}  // namespace tlvx::tools
