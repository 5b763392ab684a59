// tlvx: the game in a window. The current directory is the world's data directory.
//   tlvx                      play
//   tlvx --record FILE        play and record the session into FILE
//   tlvx --play FILE [--apply] watch a recording (on a copy of the world unless --apply)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "base/error.hpp"
#include "base/state.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"

namespace {

const char* const kUsage =
    "usage: tlvx [--record FILE | --play FILE [--apply]]\n"
    "  --record FILE  record the session into FILE (replay it with tlvx-tool run --replay FILE)\n"
    "  --play FILE    watch a recording at its pace on a temporary copy of the world;\n"
    "                 space pauses, + and - change the speed, Escape ends\n"
    "  --apply        with --play: play on the world itself and leave it as the recording left it\n";

// Runs the game on `platform` over the world in `data_dir` until it ends;
// returns the exit status. `passes` limits a playback.
int run_game(tlvx::Platform& platform, tlvx::Platform& window, const std::string& data_dir, int64_t passes) {
    try {
        auto s = std::make_unique<tlvx::State>();
        s->data_dir = data_dir;
        s->platform = &platform;
        tlvx::startup(*s);
        tlvx::run_loop(*s, passes);
    } catch (const tlvx::RuntimeError& e) {
        window.close_screen();
        std::fputs(tlvx::error_report(e).c_str(), stderr);
        return e.number();
    } catch (const std::bad_alloc&) {
        window.close_screen();
        std::fputs(tlvx::error_report(tlvx::RuntimeError(tlvx::ERR_OUT_OF_MEMORY, "while allocating memory")).c_str(),
                   stderr);
        return tlvx::ERR_OUT_OF_MEMORY;
    } catch (const tlvx::StopRun&) {
    }
    window.close_screen();
    return 0;
}

int play(tlvx::Platform& window, const std::string& file, bool apply) {
    try {
        tlvx::RecordingReader head(file);
        std::optional<tlvx::TemporaryWorld> copy;
        if (!apply) copy.emplace(head, ".");
        const std::string dir = copy ? copy->dir() : ".";
        const std::string diff = tlvx::first_world_difference(head.header().files, dir);
        if (!diff.empty()) {
            std::fprintf(stderr, "tlvx: this world is not the one the recording starts from: %s\n", diff.c_str());
            return 2;
        }
        const tlvx::RecordingSummary sum = tlvx::summarize_recording(head);
        if (!sum.damage.empty()) std::fprintf(stderr, "tlvx: %s; playing the passes before it\n", sum.damage.c_str());
        tlvx::RecordingReader reader(file);
        tlvx::PlaybackPlatform playback(reader, window);
        return run_game(playback, window, dir, sum.complete_passes);
    } catch (const tlvx::RecordingError& e) {
        window.close_screen();
        std::fprintf(stderr, "tlvx: %s\n", e.what());
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string record, playback;
    bool apply = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--record" || a == "--play") && i + 1 < argc) {
            (a == "--record" ? record : playback) = argv[++i];
        } else if (a == "--apply") {
            apply = true;
        } else {
            std::fputs(a == "--help" || a == "-h" ? kUsage : (std::string("tlvx: unknown argument \"") + a + "\"\n" + kUsage).c_str(),
                       a == "--help" || a == "-h" ? stdout : stderr);
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    if ((!record.empty() && !playback.empty()) || (apply && playback.empty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    tlvx::SdlPlatform window;
    window.set_screenshot_dir(".");
    if (!playback.empty()) return play(window, playback, apply);
    if (record.empty()) return run_game(window, window, ".", INT64_MAX);

    std::unique_ptr<tlvx::RecordingWriter> writer;
    try {
        writer = tlvx::start_recording(record, ".");
    } catch (const tlvx::RecordingError& e) {
        std::fprintf(stderr, "tlvx: %s\n", e.what());
        return 2;
    }
    tlvx::RecordingPlatform recorder(window, *writer);
    const int code = run_game(recorder, window, ".", INT64_MAX);
    try {
        writer->finish(code);
    } catch (const tlvx::RecordingError& e) {
        std::fprintf(stderr, "tlvx: %s\n", e.what());
        return code != 0 ? code : 2;
    }
    return code;
}
