// tlvx: the game in a window. `tlvx --help` lists the options. The world's
// data directory is --data, else the current directory when it holds a world,
// else (and with --world) the player's own world in the per-user data folder,
// made from the demo world on the first start.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "base/error.hpp"
#include "base/state.hpp"
#include "game_options.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"
#include "tools/demo_world.hpp"
#include "tools/picture_files.hpp"
#include "tools/user_world.hpp"

int main(int argc, char** argv) {
    const tlvx::ParsedCommandLine cl = tlvx::parse_game_command_line(argc, argv);
    std::fputs(cl.out.c_str(), stdout);
    std::fputs(cl.err.c_str(), stderr);
    if (!cl.run) return cl.exit_status;

    // The folder to play: --data when given; else the current folder when it
    // holds a world (started in a terminal inside one) and --world is not
    // given; else the player's own world, made from the demo on first start.
    std::string data_dir = cl.options.data_dir;
    if (!cl.options.data_given) {
        try {
            const bool has_save = tlvx::tools::path_exists(tlvx::tools::kSaveFileName);
            if (auto chosen = tlvx::tools::chosen_data_dir(std::nullopt, cl.options.world, has_save)) {
                data_dir = *chosen;
            } else {
                const tlvx::tools::UserWorld w =
                    tlvx::tools::prepare_user_world(tlvx::tools::user_world_dir(tlvx::tools::process_world_env()));
                if (w.created) std::printf("%s\n", tlvx::tools::created_world_message(w.dir).c_str());
                std::fflush(stdout);
                data_dir = w.dir;
            }
        } catch (const tlvx::tools::ToolError& e) {
            std::fprintf(stderr, "tlvx: %s\n", e.what());
            return 1;
        }
    }

    tlvx::WindowSettings settings;
    settings.speed = cl.options.speed;
    settings.scale = cl.options.scale;
    settings.fullscreen = cl.options.fullscreen;
    settings.aspect_4_3 = cl.options.aspect;
    settings.screenshot_dir = data_dir;
    tlvx::SdlPlatform platform(settings);
    try {
        auto s = std::make_unique<tlvx::State>();
        s->data_dir = data_dir;
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
