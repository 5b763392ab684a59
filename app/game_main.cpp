// tlvx: the game in a window. `tlvx --help` lists the options; without any,
// the current directory is the world's data directory and the passes run at
// the default speed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "base/error.hpp"
#include "base/state.hpp"
#include "game_options.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"

int main(int argc, char** argv) {
    const tlvx::ParsedCommandLine cl = tlvx::parse_game_command_line(argc, argv);
    std::fputs(cl.out.c_str(), stdout);
    std::fputs(cl.err.c_str(), stderr);
    if (!cl.run) return cl.exit_status;

    tlvx::WindowSettings settings;
    settings.speed = cl.options.speed;
    settings.scale = cl.options.scale;
    settings.fullscreen = cl.options.fullscreen;
    settings.aspect_4_3 = cl.options.aspect;
    settings.screenshot_dir = cl.options.data_dir;
    tlvx::SdlPlatform platform(settings);
    try {
        auto s = std::make_unique<tlvx::State>();
        s->data_dir = cl.options.data_dir;
        s->platform = &platform;
        tlvx::startup(*s);
        tlvx::run_loop(*s, INT64_MAX);
        if (platform.display_was_lost()) {
            std::fflush(nullptr);
            std::_Exit(0);
        }
    } catch (const tlvx::RuntimeError& e) {
        platform.close_screen();
        std::fputs(tlvx::error_report(e).c_str(), stderr);
        return e.number();
    } catch (const std::bad_alloc&) {
        platform.close_screen();
        std::fputs(tlvx::error_report(tlvx::RuntimeError(tlvx::ERR_OUT_OF_MEMORY, "while allocating memory")).c_str(),
                   stderr);
        return tlvx::ERR_OUT_OF_MEMORY;
    }
    return 0;
}
