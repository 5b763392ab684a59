#include "platform/sdl/sdl_keys.hpp"

namespace tlvx {

namespace {

std::string ext(char scan) { return std::string(1, '\0') + scan; }

}  // namespace

std::string key_text_for(SDL_Scancode sc, bool numlock) {
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: return "\x1b";
    case SDL_SCANCODE_BACKSPACE: return "\b";
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return "\r";
    case SDL_SCANCODE_TAB: return "\t";
    case SDL_SCANCODE_UP: return ext('H');
    case SDL_SCANCODE_DOWN: return ext('P');
    case SDL_SCANCODE_LEFT: return ext('K');
    case SDL_SCANCODE_RIGHT: return ext('M');
    case SDL_SCANCODE_HOME: return ext('G');
    case SDL_SCANCODE_END: return ext('O');
    case SDL_SCANCODE_PAGEUP: return ext('I');
    case SDL_SCANCODE_PAGEDOWN: return ext('Q');
    case SDL_SCANCODE_INSERT: return ext('R');
    case SDL_SCANCODE_DELETE: return ext('S');
    default: break;
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) return ext(static_cast<char>(';' + (sc - SDL_SCANCODE_F1)));
    // With NumLock on the keypad types digits and the point (text input).
    if (numlock) return {};
    switch (sc) {
    case SDL_SCANCODE_KP_8: return ext('H');
    case SDL_SCANCODE_KP_2: return ext('P');
    case SDL_SCANCODE_KP_4: return ext('K');
    case SDL_SCANCODE_KP_6: return ext('M');
    case SDL_SCANCODE_KP_7: return ext('G');
    case SDL_SCANCODE_KP_1: return ext('O');
    case SDL_SCANCODE_KP_9: return ext('I');
    case SDL_SCANCODE_KP_3: return ext('Q');
    case SDL_SCANCODE_KP_0: return ext('R');
    case SDL_SCANCODE_KP_PERIOD: return ext('S');
    default: return {};
    }
}

int speed_key(SDL_Keycode key, Uint16 mod) {
    if ((mod & KMOD_CTRL) == 0) return 0;
    switch (key) {
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS: return 1;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: return -1;
    default: return 0;
    }
}

}  // namespace tlvx
