#include "tools/replay_command.hpp"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "base/printable.hpp"
#include "base/stop_signal.hpp"
#include "platform/headless/key_script.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/recording_reader.hpp"
#include "platform/record/session.hpp"
#include "platform/record/world_hash.hpp"
#include "tools/headless_game.hpp"
#include "world/paths.hpp"

namespace tlvx::tools {

RunOutcome run_replay(const RunOptions& o) {
    try {
        RecordingReader head(o.replay_file);
        if (o.world_from_recording) unpack_world_copy(head, o.data_dir);
        // Locked once the world is there, before it is compared or played.
        const std::optional<WorldLock> lock = lock_run_world(o.data_dir);
        if (!lock) return 1;
        // Nothing of the world is opened for writing before it is known to be the recorded one.
        const std::string diff = first_world_difference(head.header().files, o.data_dir);
        if (!diff.empty()) {
            std::cerr << "tlvx-tool run: the world in \"" << o.data_dir
                      << "\" is not the one the recording starts from: " << diff << "; nothing was replayed\n";
            return 2;
        }
        if (head.header().program_version != program_version())
            std::cerr << "tlvx-tool run: the recording was made by tlvx " << printable(head.header().program_version)
                      << ", this is " << program_version() << "; the replay may take another course\n";
        const RecordingSummary sum = summarize_recording(head);
        if (!sum.ended && sum.complete_passes == 0) {
            std::cerr << "tlvx-tool run: "
                      << (sum.damage.empty() ? std::string("the recording ends before its first pass") : sum.damage)
                      << "; it holds no complete pass, nothing was replayed\n";
            return 2;
        }
        if (!sum.damage.empty())
            std::cerr << "tlvx-tool run: " << sum.damage << "; replaying the " << sum.complete_passes
                      << " complete passes before it, without saving\n";
        else if (!sum.ended)
            std::cerr << "tlvx-tool run: the recording ends before its session did (the game was killed?); replaying "
                         "its "
                      << sum.complete_passes << " complete passes, without saving\n";
        const int64_t passes = o.passes_set ? std::min(o.passes, sum.complete_passes) : sum.complete_passes;

        RecordingReader reader(o.replay_file);
        ReplayPlatform platform(reader);
        const RunOutcome out = run_game_headless(platform, o, passes);
        const int code = out.status;
        if (sum.ended && passes == sum.complete_passes && code != sum.exit_status)
            std::cerr << "tlvx-tool run: the recorded session ended with exit status " << sum.exit_status
                      << ", this replay with " << code << "\n";
        return out;
    } catch (const RecordingError& e) {
        std::cerr << "tlvx-tool run: " << printable(e.what()) << "\n";
        return 2;
    } catch (const StopRequested& stop) {
        std::cerr << "tlvx-tool run: stopped by " << stop_signal_name(stop.signal)
                  << " while writing the recorded world; nothing was written\n";
        return 128 + stop.signal;
    }
}

}  // namespace tlvx::tools
