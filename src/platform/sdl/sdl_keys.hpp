#pragma once
// The window's keys named as the shared key table names them
// (input/key_names.hpp), which gives their key texts.
#include <SDL.h>

#include "base/key_codes.hpp"
#include "input/key_names.hpp"

namespace tlvx {

// The key at scancode `sc`; Other for a key the table does not name.
PhysicalKey physical_key(SDL_Scancode sc);

// The id of the key at scancode `sc`, in the window's range of key ids.
inline int key_id(SDL_Scancode sc) { return kWindowKeyIds.id(static_cast<int>(sc)); }

// +1 for the window's faster key, -1 for the slower one, 0 for any other key.
int speed_key(SDL_Keycode key, Uint16 mod);

}  // namespace tlvx
