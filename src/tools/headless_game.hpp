#pragma once
// The game of `tlvx-tool run` on a given platform (scripted, replayed or
// recorded), with its trace, screenshot and world lock.
#include <cstdint>
#include <optional>
#include <string>

#include "base/world_lock.hpp"
#include "tools/run_options.hpp"

namespace tlvx {
class Platform;
}

namespace tlvx::tools {

// How a run ended: its exit status and, after a runtime error, the report,
// which only the tool's main prints (after the run's other lines).
struct RunOutcome {
    RunOutcome(int exit_status = 0) : status(exit_status) {}
    int status = 0;
    std::string report;
};

// Runs the game on `platform` until Escape, a runtime error or pass `passes`,
// with the trace and screenshot of `options`. `ended` (when given) becomes
// true when Escape or a runtime error ended the game.
RunOutcome run_game_headless(Platform& platform, const RunOptions& options, int64_t passes, bool* ended = nullptr);

// The world's lock for a run on `dir`, held while the game runs; when another
// program holds it, one line "tlvx-tool run: ..." and the empty optional.
std::optional<WorldLock> lock_run_world(const std::string& dir);

}  // namespace tlvx::tools
