#pragma once
// Which key texts the keys of a keyboard give the game, for the keys that
// come from key-down events; printable characters come from the text a key
// types instead, so they follow the keyboard layout. Shared by the window and
// the browser page, each of which first names its key as a PhysicalKey.
#include <string>
#include <string_view>

namespace tlvx {

// The keys the game or the speed control reads by their place on the
// keyboard rather than by the text they type.
enum class PhysicalKey {
    Other,
    Escape,
    Backspace,
    Enter,
    KeypadEnter,
    Tab,
    Up,
    Down,
    Left,
    Right,
    Home,
    End,
    PageUp,
    PageDown,
    Insert,
    Delete,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    Keypad0,
    Keypad1,
    Keypad2,
    Keypad3,
    Keypad4,
    Keypad5,
    Keypad6,
    Keypad7,
    Keypad8,
    Keypad9,
    KeypadPeriod,
    KeypadPlus,
    KeypadMinus,
};

// The game's key text of a key, or "" when the key gives text input or none.
// With NumLock off the keypad's 8, 2, 4, 6 are the arrows and its 7, 1, 9, 3,
// 0 and . are Home, End, PgUp, PgDn, Insert and Delete, all extended keys
// (byte 0 and the scan letter), as are the same keys of the middle block.
std::string key_text_for(PhysicalKey key, bool numlock);

// +1 for the faster key (Ctrl with +, = or keypad +), -1 for the slower one
// (Ctrl with - or keypad -), 0 for any other key. `typed` is the character
// the key types without Shift, or 0.
int speed_key(PhysicalKey key, char typed, bool ctrl);

// The key of a browser key event's `code` ("ArrowUp", "Numpad8", "F5"), which
// names the key's place whatever the layout; Other for any code not listed.
PhysicalKey key_from_code(std::string_view code);

// What a browser key press (its `code`, its `key`, the Ctrl, Alt, Shift and
// Meta keys held) does: a speed step, a key text for the game, or neither;
// and whether the page keeps the press from the browser. Keys the game reacts
// to are kept; the others (F5, Tab, Ctrl+R and other shortcuts) go on to the
// browser, though the function keys and Tab still give the game their texts
// as in the window. The speed keys are Alt+Shift+Up and Alt+Shift+Down, which
// no browser uses: Ctrl with + - = stays the browser's zoom. A printable
// character is that character whatever the modifiers that typed it (AltGr
// arrives as Ctrl+Alt, macOS Option as Alt), unless it is only the key's own
// letter or digit under Ctrl, Alt or Meta: a shortcut.
struct BrowserKey {
    int speed_step = 0;
    std::string text;
    bool keep = false;
};
BrowserKey browser_key_down(std::string_view code, std::string_view key, bool ctrl, bool alt, bool shift, bool meta);

}  // namespace tlvx
