// tlvx: the game in a window. It takes no arguments; the current directory is
// the world's data directory.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "base/error.hpp"
#include "base/state.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/game.hpp"

int main() {
    tlvx::SdlPlatform platform;
    platform.set_screenshot_dir(".");
    try {
        auto s = std::make_unique<tlvx::State>();
        s->data_dir = ".";
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
