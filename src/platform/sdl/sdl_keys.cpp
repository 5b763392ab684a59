#include "platform/sdl/sdl_keys.hpp"

#include <algorithm>

#include "input/pad.hpp"

namespace tlvx {

PhysicalKey physical_key(SDL_Scancode sc) {
    using K = PhysicalKey;
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: return K::Escape;
    case SDL_SCANCODE_BACKSPACE: return K::Backspace;
    case SDL_SCANCODE_RETURN: return K::Enter;
    case SDL_SCANCODE_KP_ENTER: return K::KeypadEnter;
    case SDL_SCANCODE_TAB: return K::Tab;
    case SDL_SCANCODE_UP: return K::Up;
    case SDL_SCANCODE_DOWN: return K::Down;
    case SDL_SCANCODE_LEFT: return K::Left;
    case SDL_SCANCODE_RIGHT: return K::Right;
    case SDL_SCANCODE_HOME: return K::Home;
    case SDL_SCANCODE_END: return K::End;
    case SDL_SCANCODE_PAGEUP: return K::PageUp;
    case SDL_SCANCODE_PAGEDOWN: return K::PageDown;
    case SDL_SCANCODE_INSERT: return K::Insert;
    case SDL_SCANCODE_DELETE: return K::Delete;
    case SDL_SCANCODE_KP_0: return K::Keypad0;
    case SDL_SCANCODE_KP_PERIOD: return K::KeypadPeriod;
    case SDL_SCANCODE_KP_PLUS: return K::KeypadPlus;
    case SDL_SCANCODE_KP_MINUS: return K::KeypadMinus;
    default: break;
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12)
        return static_cast<K>(static_cast<int>(K::F1) + (sc - SDL_SCANCODE_F1));
    // SDL numbers the keypad 1 to 9 in a row, before its 0.
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9)
        return static_cast<K>(static_cast<int>(K::Keypad1) + (sc - SDL_SCANCODE_KP_1));
    return K::Other;
}

bool pad_control(SDL_GameControllerButton button, PadControl& control) {
    using C = PadControl;
    switch (button) {
    case SDL_CONTROLLER_BUTTON_A: control = C::A; return true;
    case SDL_CONTROLLER_BUTTON_B: control = C::B; return true;
    case SDL_CONTROLLER_BUTTON_X: control = C::X; return true;
    case SDL_CONTROLLER_BUTTON_Y: control = C::Y; return true;
    case SDL_CONTROLLER_BUTTON_BACK: control = C::Back; return true;
    case SDL_CONTROLLER_BUTTON_START: control = C::Start; return true;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK: control = C::LeftStickPress; return true;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK: control = C::RightStickPress; return true;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: control = C::LeftShoulder; return true;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: control = C::RightShoulder; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: control = C::DpadUp; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: control = C::DpadDown; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: control = C::DpadLeft; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: control = C::DpadRight; return true;
    default: return false;
    }
}

void set_pad_axis(PadReading& reading, SDL_GameControllerAxis axis, int value) {
    const float v = std::clamp(static_cast<float>(value) / 32767.0f, -1.0f, 1.0f);
    switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX: reading.left_x = v; break;
    case SDL_CONTROLLER_AXIS_LEFTY: reading.left_y = v; break;
    case SDL_CONTROLLER_AXIS_RIGHTX: reading.right_x = v; break;
    case SDL_CONTROLLER_AXIS_RIGHTY: reading.right_y = v; break;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: reading.left_trigger = v; break;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: reading.right_trigger = v; break;
    default: break;
    }
}

int speed_key(SDL_Keycode key, Uint16 mod) {
    PhysicalKey pk = PhysicalKey::Other;
    if (key == SDLK_KP_PLUS) pk = PhysicalKey::KeypadPlus;
    if (key == SDLK_KP_MINUS) pk = PhysicalKey::KeypadMinus;
    const char typed = key > 0 && key < 128 ? static_cast<char>(key) : '\0';
    return speed_key(pk, typed, (mod & KMOD_CTRL) != 0);
}

}  // namespace tlvx
