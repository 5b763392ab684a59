#include "input/key_names.hpp"

#include <array>
#include <utility>

#include "base/key_codes.hpp"

namespace tlvx {

namespace {

bool in_range(PhysicalKey k, PhysicalKey first, PhysicalKey last) {
    return static_cast<int>(k) >= static_cast<int>(first) && static_cast<int>(k) <= static_cast<int>(last);
}

int offset(PhysicalKey k, PhysicalKey first) { return static_cast<int>(k) - static_cast<int>(first); }

}  // namespace

std::string key_text_for(PhysicalKey key, bool numlock) {
    using K = PhysicalKey;
    switch (key) {
    case K::Escape: return std::string(kKeyEscape);
    case K::Backspace: return std::string(kKeyBackspace);
    case K::Enter:
    case K::KeypadEnter: return std::string(kKeyEnter);
    case K::Tab: return std::string(kKeyTab);
    case K::Up: return std::string(kKeyUp);
    case K::Down: return std::string(kKeyDown);
    case K::Left: return std::string(kKeyLeft);
    case K::Right: return std::string(kKeyRight);
    case K::Home: return std::string(kKeyHome);
    case K::End: return std::string(kKeyEnd);
    case K::PageUp: return std::string(kKeyPageUp);
    case K::PageDown: return std::string(kKeyPageDown);
    case K::Insert: return std::string(kKeyInsert);
    case K::Delete: return std::string(kKeyDelete);
    default: break;
    }
    if (in_range(key, K::F1, K::F10)) return {'\0', static_cast<char>(kFunctionKeyScan + offset(key, K::F1))};
    // With NumLock on the keypad types digits and the point (text input).
    if (numlock) return {};
    switch (key) {
    case K::Keypad8: return std::string(kKeyUp);
    case K::Keypad2: return std::string(kKeyDown);
    case K::Keypad4: return std::string(kKeyLeft);
    case K::Keypad6: return std::string(kKeyRight);
    case K::Keypad7: return std::string(kKeyHome);
    case K::Keypad1: return std::string(kKeyEnd);
    case K::Keypad9: return std::string(kKeyPageUp);
    case K::Keypad3: return std::string(kKeyPageDown);
    case K::Keypad0: return std::string(kKeyInsert);
    case K::KeypadPeriod: return std::string(kKeyDelete);
    default: return {};
    }
}

int speed_key(PhysicalKey key, char typed, bool ctrl) {
    if (!ctrl) return 0;
    if (key == PhysicalKey::KeypadPlus || typed == '+' || typed == '=') return 1;
    if (key == PhysicalKey::KeypadMinus || typed == '-') return -1;
    return 0;
}

PhysicalKey key_from_code(std::string_view code) {
    using K = PhysicalKey;
    static constexpr auto named = std::to_array<std::pair<std::string_view, K>>({
        {"Escape", K::Escape},
        {"Backspace", K::Backspace},
        {"Enter", K::Enter},
        {"NumpadEnter", K::KeypadEnter},
        {"Tab", K::Tab},
        {"ArrowUp", K::Up},
        {"ArrowDown", K::Down},
        {"ArrowLeft", K::Left},
        {"ArrowRight", K::Right},
        {"Home", K::Home},
        {"End", K::End},
        {"PageUp", K::PageUp},
        {"PageDown", K::PageDown},
        {"Insert", K::Insert},
        {"Delete", K::Delete},
        {"NumpadDecimal", K::KeypadPeriod},
        {"NumpadAdd", K::KeypadPlus},
        {"NumpadSubtract", K::KeypadMinus},
        {"F1", K::F1},
        {"F2", K::F2},
        {"F3", K::F3},
        {"F4", K::F4},
        {"F5", K::F5},
        {"F6", K::F6},
        {"F7", K::F7},
        {"F8", K::F8},
        {"F9", K::F9},
        {"F10", K::F10},
        {"F11", K::F11},
        {"F12", K::F12},
    });
    for (const auto& [name, key] : named)
        if (name == code) return key;
    if (code.size() == 7 && code.substr(0, 6) == "Numpad" && code[6] >= '0' && code[6] <= '9')
        return static_cast<K>(static_cast<int>(K::Keypad0) + (code[6] - '0'));
    return K::Other;
}

BrowserKey browser_key_down(std::string_view code, std::string_view key, bool ctrl, bool alt, bool shift, bool meta) {
    using K = PhysicalKey;
    const K pk = key_from_code(code);
    const char typed = key.size() == 1 ? key[0] : '\0';
    BrowserKey out;
    if (alt && shift && !ctrl && !meta && (pk == K::Up || pk == K::Down)) {
        out.speed_step = pk == K::Up ? 1 : -1;
        out.keep = true;
        return out;
    }
    const bool printable = key.size() == 1 && typed >= ' ' && typed <= '~';
    if (ctrl || alt || meta) {
        // The key's own letter or digit ("KeyR" typing r, "Digit5" typing 5)
        // under a modifier is a shortcut of the browser or the desktop; any
        // other character came from the layout (AltGr+8 typing [ on a German
        // keyboard, Option+5 on a Mac), unless Ctrl alone or Meta is held.
        const bool own = (code.size() == 4 && code.substr(0, 3) == "Key" && (typed | 0x20) == (code[3] | 0x20)) ||
                         (code.size() == 6 && code.substr(0, 5) == "Digit" && typed == code[5]);
        const bool layout = alt && !meta && printable && !own;
        if (!layout) return out;
        out.text = std::string(1, typed);
        out.keep = true;
        return out;
    }
    // The keypad types its digit (NumLock on) or names an arrow ("ArrowUp").
    const bool keypad = in_range(pk, K::Keypad0, K::Keypad9) || pk == K::KeypadPeriod;
    out.text = key_text_for(pk, keypad && key.size() == 1);
    if (!out.text.empty()) {
        out.keep = !in_range(pk, K::F1, K::F12) && pk != K::Tab;
        return out;
    }
    if (printable) {
        out.text = std::string(1, typed);
        out.keep = true;
    }
    return out;
}

}  // namespace tlvx
