#include "platform/sdl/display_check.hpp"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace tlvx {

namespace {

bool set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

bool unseen_video_driver(const char* name) {
    return name &&
           (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 || std::strcmp(name, "evdev") == 0);
}

void choose_video_driver() {
    if (set("SDL_VIDEODRIVER") || set("WAYLAND_DISPLAY")) return;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
}

std::string display_problem() {
    if (!set("SDL_VIDEODRIVER") && !set("DISPLAY") && !set("WAYLAND_DISPLAY"))
        return "no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    choose_video_driver();
    std::string problem;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return std::string("no display found (SDL: ") + SDL_GetError() + ")";
    if (SDL_GetNumVideoDisplays() < 1) {
        problem = std::string("no display found (SDL: ") + SDL_GetError() + ")";
    } else if (!set("SDL_VIDEODRIVER") && unseen_video_driver(SDL_GetCurrentVideoDriver())) {
        problem = std::string("no display found (only the unseen \"") + SDL_GetCurrentVideoDriver() +
                  "\" video driver is available)";
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return problem;
}

bool show_message_box(const std::string& title, const std::string& text) {
    if (!set("SDL_VIDEODRIVER") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) return false;
    choose_video_driver();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    bool shown = false;
    if (SDL_GetNumVideoDisplays() >= 1 && !unseen_video_driver(SDL_GetCurrentVideoDriver()))
        shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr) == 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return shown;
}

}  // namespace tlvx
