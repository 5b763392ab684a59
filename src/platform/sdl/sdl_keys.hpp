#pragma once
// Which key texts the window's keys give the game, for the keys that come from
// key-down events; printable characters come from text input instead, so they
// follow the keyboard layout.
#include <SDL.h>

#include <string>

namespace tlvx {

// The game's key text of a key, or "" when the key gives text input or none.
// With NumLock off the keypad's 8, 2, 4, 6 are the arrows and its 7, 1, 9, 3,
// 0 and . are Home, End, PgUp, PgDn, Insert and Delete, all extended keys
// (byte 0 and the scan letter), as are the same keys of the middle block.
std::string key_text_for(SDL_Scancode sc, bool numlock);

// +1 for the window's faster key (Ctrl with +, = or keypad +), -1 for the
// slower one (Ctrl with - or keypad -), 0 for any other key.
int speed_key(SDL_Keycode key, Uint16 mod);

}  // namespace tlvx
