#pragma once
// `tlvx-tool run --replay`: a recording's keys and clock readings played on
// the world it starts from.
#include "tools/headless_game.hpp"
#include "tools/run_options.hpp"

namespace tlvx::tools {

// Replays options.replay_file on options.data_dir.
RunOutcome run_replay(const RunOptions& options);

}  // namespace tlvx::tools
