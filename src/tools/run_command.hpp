#pragma once
// The headless runner: the game's own start-up, passes and quit, with scripted
// keys and a simulated clock, for automation, golden replays and bug reports.
#include <cstdint>
#include <string>

namespace CLI {
class App;
}

namespace tlvx {

struct RunOptions {
    std::string data_dir = ".";
    std::string keys_file;  // empty: no keys
    double clock_start = 1000.0;
    double clock_step = 0.01;
    int64_t passes = 100000;
    std::string trace_file;       // empty: no trace
    std::string screenshot_file;  // empty: no screenshot
    std::string replay_file;      // a recording to replay instead of keys and a clock
    bool world_from_recording = false;
    std::string record_file;  // record the run into this file
    bool passes_set = false;  // --passes was given
};

// Runs the game headless. Returns the exit status: 0 after Escape or at the
// pass limit, the error number after a runtime error (whose report goes to
// standard error), 2 for unusable options.
int run_headless(const RunOptions& options);

class Platform;
// Runs the game on `platform` until Escape, a runtime error or pass `passes`,
// with the trace and screenshot of `options`. Returns the exit status.
// `ended` (when given) becomes true when Escape or a runtime error ended the game.
int run_game_headless(Platform& platform, const RunOptions& options, int64_t passes, bool* ended = nullptr);

// Replays options.replay_file on options.data_dir (see replay_command.cpp).
int run_replay(const RunOptions& options);

// Registers `record-info` on the tool's command line.
void add_record_info_command(CLI::App& app, int& exit_code);

// The header and one line of the trace CSV.
std::string trace_header();
struct State;
std::string trace_line(const State& s);

// Registers `run` on the tool's command line; its result goes to `exit_code`.
void add_run_command(CLI::App& app, int& exit_code);

}  // namespace tlvx
