// tlvx: the game in a window. `tlvx --help` lists the options. The world's
// data directory is --data, else the current directory when it holds a world,
// else (and with --world) the player's own world in the per-user data folder,
// made from the demo world on the first start. --record writes the session
// into a recording; --play shows one (on a temporary copy of the world unless
// --apply).
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

#include "base/error.hpp"
#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "base/world_lock.hpp"
#include "data/world_files.hpp"
#include "game_options.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/sdl/display_check.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/run_game.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/user_world.hpp"

namespace {

// Writes `text` to standard error. Started from the desktop's menu, standard
// error is no terminal and nobody reads it: `box_text` is then shown in a
// message box titled `title` as well, and this returns once the player closed
// it. TLVX_NO_MESSAGE_BOX=1 turns the box off (the tests' sessions set it).
void tell(const std::string& text, const char* title, const std::string& box_text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    const char* off = std::getenv("TLVX_NO_MESSAGE_BOX");
    if (isatty(STDERR_FILENO) || (off && *off)) return;
    tlvx::show_message_box(title, box_text);
}

// A start refused before the game runs: one line.
void refuse(const std::string& line) { tell("tlvx: " + line + "\n", "tlvx cannot start", line); }

// The game ended by an error after its window was closed; no box once the
// display is gone.
void stopped(tlvx::SdlPlatform& window, const std::string& text, const std::string& box_text) {
    if (window.display_was_lost()) {
        std::fputs(text.c_str(), stderr);
        return;
    }
    tell(text, "tlvx stopped", box_text);
}

std::string trimmed(const std::string& text) {
    const size_t a = text.find_first_not_of('\n'), b = text.find_last_not_of('\n');
    return a == std::string::npos ? "" : text.substr(a, b - a + 1);
}

// Runs the game on `platform` over the world in `data_dir` until it ends,
// closes the window and shows how it ended; returns the exit status.
// `passes` limits a playback.
int run_in_window(tlvx::Platform& platform, tlvx::SdlPlatform& window, const std::string& data_dir, int64_t passes) {
    auto s = std::make_unique<tlvx::State>();
    const tlvx::GameResult r = tlvx::run_game(*s, platform, data_dir, passes);
    window.close_screen();
    switch (r.end) {
    case tlvx::GameEnd::Refused: std::fprintf(stderr, "tlvx: %s\n", tlvx::printable(r.text).c_str()); break;
    case tlvx::GameEnd::SaveFailed: {
        const std::string line = tlvx::printable(r.text);
        stopped(window, "tlvx: " + line + "\n", line);
        break;
    }
    case tlvx::GameEnd::Error: stopped(window, r.text, trimmed(r.text)); break;
    default: break;
    }
    return r.status;
}

int play(tlvx::SdlPlatform& window, const std::string& data_dir, const std::string& file, bool apply) {
    try {
        tlvx::PreparedPlayback prepared(file, data_dir, apply);
        if (!prepared.damage().empty())
            std::fprintf(stderr, "tlvx: %s; playing the passes before it\n", prepared.damage().c_str());
        tlvx::PlaybackPlatform playback(prepared.reader(), window);
        playback.on_state = [&window](const std::string& state) { window.set_status(state); };
        return run_in_window(playback, window, prepared.dir(), prepared.passes());
    } catch (const tlvx::RecordingError& e) {
        window.close_screen();
        refuse(e.what());
        return 2;
    } catch (const tlvx::StopRequested& stop) {
        // Stopped while the world was copied; the copy is gone again.
        window.close_screen();
        std::fprintf(stderr, "tlvx: stopped by %s; nothing was played\n", tlvx::stop_signal_name(stop.signal));
        return 128 + stop.signal;
    }
}

int record(tlvx::SdlPlatform& window, const std::string& data_dir, const std::string& file) {
    std::unique_ptr<tlvx::RecordingWriter> writer;
    try {
        writer = tlvx::start_recording(file, data_dir);
    } catch (const tlvx::RecordingError& e) {
        refuse(e.what());
        return 2;
    }
    tlvx::RecordingPlatform recorder(window, *writer, "tlvx");
    const int code = run_in_window(recorder, window, data_dir, INT64_MAX);
    // The recorder said why on standard error when it stopped; the game and its save went on.
    if (!writer->failure().empty()) return code != 0 ? code : 2;
    try {
        writer->finish(code);
    } catch (const tlvx::RecordingError& e) {
        std::fprintf(stderr, "tlvx: %s\n", e.what());
        return code != 0 ? code : 2;
    }
    return code;
}

// Why the files and folders the options name cannot be used, or "": the data
// folder must hold a world, a recording to play must be one, and a recording
// to write needs a folder to go into.
std::string argument_problem(const tlvx::GameOptions& o) {
    if (o.data_given) {
        const std::string problem = tlvx::world::data_folder_problem(o.data_dir, true);
        if (!problem.empty()) return problem;
    }
    if (!o.play_file.empty()) {
        try {
            tlvx::RecordingReader probe(o.play_file);
        } catch (const tlvx::RecordingError& e) {
            return e.what();
        }
    }
    if (!o.record_file.empty()) {
        std::error_code ec;
        // The recorder never writes over a file (it may be a recording someone keeps).
        if (std::filesystem::exists(std::filesystem::symlink_status(o.record_file, ec)))
            return "\"" + tlvx::printable(o.record_file) +
                   "\" exists already; remove it or name another file for the recording";
        std::string folder = std::filesystem::path(o.record_file).parent_path().string();
        if (folder.empty()) folder = ".";
        const std::string problem = tlvx::world::folder_problem(folder);
        if (!problem.empty())
            return "cannot write the recording " + tlvx::printable(o.record_file) + ": the folder " +
                   tlvx::printable(folder) + " " + problem;
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    // mended: past a file size limit a write fails with EFBIG instead of
    // killing the program, so a recording that cannot grow stops and the
    // game goes on to its save.
    std::signal(SIGXFSZ, SIG_IGN);
    const tlvx::ParsedCommandLine cl = tlvx::parse_game_command_line(argc, argv);
    std::fputs(cl.out.c_str(), stdout);
    std::fputs(cl.err.c_str(), stderr);
    if (!cl.run) return cl.exit_status;
    const tlvx::GameOptions& o = cl.options;

    // mended: everything the command line names is checked before anything
    // is created or opened, so a mistake leaves no per-user world and no
    // window, and a data folder without a world is one line instead of the
    // game's report about its first missing file.
    if (const std::string problem = argument_problem(o); !problem.empty()) {
        refuse(tlvx::printable(problem));
        return 2;
    }
    if (const std::string problem = tlvx::display_problem(); !problem.empty()) {
        std::fprintf(stderr, "tlvx: %s\n", problem.c_str());
        return 1;
    }

    // The folder to play: --data when given; else the current folder when it
    // holds a world (started in a terminal inside one) and --world is not
    // given; else the player's own world, made from the demo on first start.
    std::string data_dir = o.data_dir;
    if (!o.data_given) {
        try {
            const bool has_save = tlvx::world::path_exists(tlvx::kSaveFileName);
            if (auto chosen = tlvx::world::chosen_data_dir(std::nullopt, o.world, has_save)) {
                data_dir = *chosen;
            } else {
                const tlvx::world::UserWorld w =
                    tlvx::world::prepare_user_world(tlvx::world::user_world_dir(tlvx::world::process_world_env()));
                if (w.created) std::printf("%s\n", tlvx::world::created_world_message(w.dir).c_str());
                std::fflush(stdout);
                data_dir = w.dir;
            }
        } catch (const tlvx::world::ToolError& e) {
            refuse(e.what());
            return 1;
        }
    }

    // mended: the game holds the world's lock for as long as it runs, so a
    // second game or a tool that replaces the world's files is refused while
    // it plays, before anything is written. A playback on a temporary copy
    // leaves the world alone and needs none; a folder that does not exist is
    // left to the start-up's own report.
    // A world the game cannot write is refused here already, so that no lock
    // warning, recording or window comes before the one line.
    std::optional<tlvx::WorldLock> lock;
    if ((o.play_file.empty() || o.apply) && tlvx::world::folder_problem(data_dir).empty()) {
        if (const std::string problem = tlvx::read_only_world_problem(data_dir); !problem.empty()) {
            std::fprintf(stderr, "tlvx: %s\n", tlvx::printable(problem).c_str());
            return 1;
        }
        try {
            lock.emplace(tlvx::world::lock_world(data_dir, "tlvx", true));
        } catch (const tlvx::world::ToolError& e) {
            refuse(tlvx::printable(e.what()));
            return 1;
        }
    }

    tlvx::WindowSettings settings;
    // A playback keeps the pace of its recording; the window then only shows it.
    settings.speed = o.play_file.empty() ? o.speed : 0;
    settings.scale = o.scale;
    settings.fullscreen = o.fullscreen;
    settings.aspect_4_3 = o.aspect;
    settings.screenshot_dir = data_dir;
    tlvx::SdlPlatform window(settings);
    int code = 0;
    if (!o.play_file.empty()) {
        code = play(window, data_dir, o.play_file, o.apply);
    } else if (!o.record_file.empty()) {
        code = record(window, data_dir, o.record_file);
    } else {
        code = run_in_window(window, window, data_dir, INT64_MAX);
    }
    if (window.display_was_lost()) {
        // The X library's clean-up at exit would wait on the lost connection
        // forever; the character is saved, so end here.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
