#include "tools/run_command.hpp"

#include <CLI/CLI.hpp>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/world_lock.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "tools/command_line.hpp"
#include "tools/headless_game.hpp"
#include "tools/replay_command.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/user_world.hpp"

namespace tlvx::tools {

namespace {

int refuse(const std::string& why) {
    std::cerr << "tlvx-tool run: " << printable(why) << "\n";
    return 2;
}

}  // namespace

RunOutcome run_headless(const RunOptions& o) {
    // Everything the run needs is checked before the game starts, so that a
    // mistake in the options changes nothing in the world.
    if (!o.replay_file.empty() && !o.world_from_recording) {
        // --world-from-recording fills a new folder; otherwise the world must be there.
        const std::string data_problem = world::data_folder_problem(o.data_dir, false);
        if (!data_problem.empty()) return refuse(data_problem);
    }
    for (const std::string* out : {&o.trace_file, &o.screenshot_file}) {
        const std::string problem = out->empty() ? "" : world::output_problem(*out);
        if (!problem.empty()) return refuse("cannot write " + *out + ": " + problem);
    }
    if (!o.replay_file.empty()) return run_replay(o);
    if (o.world_from_recording) return refuse("--world-from-recording needs --replay");
    const std::string data_problem = world::data_folder_problem(o.data_dir, false);
    if (!data_problem.empty()) return refuse(data_problem);
    std::vector<ScriptedKey> script;
    if (!o.keys_file.empty()) {
        try {
            script = read_key_script(o.keys_file);
        } catch (const std::exception& e) {
            return refuse(e.what());
        }
    }
    // mended: the run holds the world's lock until it ends, so a second game or
    // a tool that replaces the world's files is refused instead of costing
    // this run its edits, or this run theirs.
    const std::optional<WorldLock> lock = lock_run_world(o.data_dir);
    if (!lock) return 1;
    HeadlessPlatform platform(std::move(script), o.clock_start, o.clock_step);
    if (o.record_file.empty()) return run_game_headless(platform, o, o.passes);
    // Recorded like a session in the window; a run stopped by --passes or by
    // the end of the key script is recorded as a session that did not end.
    try {
        std::unique_ptr<RecordingWriter> writer = start_recording(o.record_file, o.data_dir);
        RecordingPlatform recorder(platform, *writer, "tlvx-tool run");
        bool ended = false;
        RunOutcome out = run_game_headless(recorder, o, o.passes, &ended);
        // A recording that failed on the way said why on standard error; the run and its save went on.
        if (!writer->failure().empty()) {
            if (out.status == 0) out.status = 2;
            return out;
        }
        if (ended) writer->finish(out.status);
        return out;
    } catch (const RecordingError& e) {
        return refuse(e.what());
    }
}

void add_run_command(CLI::App& app, int& exit_code, std::string& report) {
    auto opts = std::make_shared<RunOptions>();
    auto clock = std::make_shared<std::string>("1000:0.01");
    auto world = std::make_shared<bool>(false);
    CLI::App* run = app.add_subcommand("run", "Run the game headless with scripted keys and a simulated clock");
    CLI::Option* data =
        run->add_option("--data", opts->data_dir, "Data directory of the world (default: the current directory)");
    run->add_flag("--world", *world,
                  "Run the player's own world, $XDG_DATA_HOME/tlvx/world (~/.local/share/tlvx/world), "
                  "as the game's --world does: the demo world is created there when it is missing")
        ->excludes(data);
    run->add_option("--keys", opts->keys_file, "Key script: one `PASS KEY` a line");
    run->add_option("--replay", opts->replay_file,
                    "Replay a recording: keys and clock readings come from it (not with --keys or --clock)");
    run->add_option("--record", opts->record_file, "Record the run as a session in the window would be recorded");
    run->add_flag("--world-from-recording", opts->world_from_recording,
                  "With --replay: first write the world kept in the recording into --data, a new or empty folder");
    CLI::Option* clock_opt =
        run->add_option("--clock", *clock, "START:STEP: the clock reads START at start-up, START + n*STEP in pass n")
            ->capture_default_str();
    CLI::Option* passes_opt =
        run->add_option("--passes", opts->passes,
                        "Stop after this pass unless Escape ended the run (a replay: at the recording's last pass)")
            ->capture_default_str()
            ->check(tools::whole_number("--passes", 1, std::numeric_limits<int64_t>::max()));
    run->add_option("--trace", opts->trace_file, "Write one CSV line per pass to this file");
    run->add_option("--screenshot", opts->screenshot_file, "Write the screen as a PNG when the run ends");
    run->callback([opts, clock, clock_opt, passes_opt, world, &exit_code, &report] {
        opts->passes_set = passes_opt->count() > 0;
        if (!opts->replay_file.empty() &&
            (!opts->keys_file.empty() || clock_opt->count() > 0 || !opts->record_file.empty())) {
            std::cerr << "tlvx-tool run: --replay takes its keys and clock from the recording; drop --keys, --clock "
                         "and --record\n";
            exit_code = 2;
            return;
        }
        if (!parse_clock(*clock, opts->clock_start, opts->clock_step)) {
            std::cerr << "tlvx-tool run: --clock must be START:STEP, two numbers with STEP 0 or more, e.g. 1000:0.01 "
                         "(got \""
                      << printable(*clock) << "\")\n";
            exit_code = 2;
            return;
        }
        if (*world) {
            try {
                const world::UserWorld w = world::prepare_user_world(world::user_world_dir(world::process_world_env()));
                if (w.created) std::cout << world::created_world_message(w.dir) << "\n" << std::flush;
                opts->data_dir = w.dir;
            } catch (const world::ToolError& e) {
                std::cerr << "tlvx-tool run: " << e.what() << "\n";
                exit_code = 2;
                return;
            }
        }
        RunOutcome out = run_headless(*opts);
        exit_code = out.status;
        report = std::move(out.report);
    });
}

}  // namespace tlvx::tools
