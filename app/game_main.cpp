// tlvx: the game in a window. The world's data directory is the current
// directory when it holds a world; otherwise (and with --world) it is the
// player's own world in the per-user data folder, made from the demo world on
// the first start.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "base/error.hpp"
#include "base/state.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"
#include "tools/demo_world.hpp"
#include "tools/picture_files.hpp"
#include "tools/user_world.hpp"

int main(int argc, char** argv) {
    CLI::App app{"tlvx: a tile-map game that is also its own map editor"};
    bool world = false;
    app.add_flag("--world", world,
                 "Play your own world, $XDG_DATA_HOME/tlvx/world (~/.local/share/tlvx/world); the demo world is "
                 "created there on the first start. Without it the current directory is played when it holds a "
                 "world, else your own world");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Usage problems exit with status 2, before any window or file is touched.
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    std::string data_dir;
    try {
        const bool has_save = tlvx::tools::path_exists(tlvx::tools::kSaveFileName);
        if (auto chosen = tlvx::tools::chosen_data_dir(std::nullopt, world, has_save)) {
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

    tlvx::SdlPlatform platform;
    platform.set_screenshot_dir(data_dir);
    try {
        auto s = std::make_unique<tlvx::State>();
        s->data_dir = data_dir;
        s->platform = &platform;
        tlvx::startup(*s);
        tlvx::run_loop(*s, INT64_MAX);
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
