#pragma once
// The window's keys and game controllers named as the shared tables name
// them (input/key_names.hpp, input/pad.hpp), which give their key texts.
#include <SDL.h>

#include "base/key_codes.hpp"
#include "input/key_names.hpp"

namespace tlvx {

enum class PadControl;  // input/pad.hpp
struct PadReading;

// The key at scancode `sc`; Other for a key the table does not name.
PhysicalKey physical_key(SDL_Scancode sc);

// The id of the key at scancode `sc`, in the window's range of key ids.
inline int key_id(SDL_Scancode sc) { return kWindowKeyIds.id(static_cast<int>(sc)); }

// The pad control of a game controller's button; false for a button the
// pads' table does not name (Guide, the paddles, Misc).
bool pad_control(SDL_GameControllerButton button, PadControl& control);
// Sets the axis `axis` of `reading` from SDL's value (-32768 to 32767; a
// trigger 0 to 32767).
void set_pad_axis(PadReading& reading, SDL_GameControllerAxis axis, int value);

// +1 for the window's faster key, -1 for the slower one, 0 for any other key.
int speed_key(SDL_Keycode key, Uint16 mod);

}  // namespace tlvx
