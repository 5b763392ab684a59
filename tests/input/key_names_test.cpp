// The keys as the game's key texts: the window's scancodes and the browser's
// key codes name the same keys, which give the same texts.
#include <gtest/gtest.h>

#include "input/key_names.hpp"
#include "input/key_table.hpp"

#ifdef TLVX_GAME
#include "platform/sdl/sdl_keys.hpp"
#endif

using namespace tlvx;

namespace {

std::string ext(char scan) { return std::string(1, '\0') + scan; }

struct NamedKey {
    const char* code;  // the browser's name of the key
    int scancode;      // the window's (SDL_Scancode), as a number: the table is the same with or without SDL
    std::string text;  // the game's key text
    bool numpad;       // the text comes only with NumLock off (on: the typed digit)
};

// F11 and F12 are the window's and the page's own; printable keys give the typed text.
const NamedKey kKeys[] = {
    {"Numpad5", 93, "", true},     {"NumpadEnter", 88, "\r", false}, {"Enter", 40, "\r", false},
    {"Escape", 41, "\x1b", false}, {"Backspace", 42, "\b", false},   {"Tab", 43, "\t", false},
    {"F1", 58, ext(';'), false},   {"F10", 67, ext('D'), false},     {"F11", 68, "", false},
    {"F12", 69, "", false},        {"KeyA", 4, "", false},           {"Minus", 45, "", false},
};

// The keypad's keys with NumLock off give the texts of the keys they stand for.
const struct {
    NamedKey keypad;
    const char* code;
    int scancode;
} kKeypad[] = {
    {{"Numpad8", 96, ext('H'), true}, "ArrowUp", 82},   {{"Numpad2", 90, ext('P'), true}, "ArrowDown", 81},
    {{"Numpad4", 92, ext('K'), true}, "ArrowLeft", 80}, {{"Numpad6", 94, ext('M'), true}, "ArrowRight", 79},
    {{"Numpad7", 95, ext('G'), true}, "Home", 74},      {{"Numpad1", 89, ext('O'), true}, "End", 77},
    {{"Numpad9", 97, ext('I'), true}, "PageUp", 75},    {{"Numpad3", 91, ext('Q'), true}, "PageDown", 78},
    {{"Numpad0", 98, ext('R'), true}, "Insert", 73},    {{"NumpadDecimal", 99, ext('S'), true}, "Delete", 76},
};

void expect_key(const NamedKey& row) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(key_text_for(key_from_code(row.code), false), row.text);
    EXPECT_EQ(key_text_for(key_from_code(row.code), true), row.numpad ? "" : row.text);
#ifdef TLVX_GAME
    EXPECT_EQ(physical_key(static_cast<SDL_Scancode>(row.scancode)), key_from_code(row.code));
#endif
}

}  // namespace

// The browser's codes give the game's key texts, and the window's scancodes name the same keys.
TEST(KeyNames, BrowserCodesAndWindowScancodesGiveTheGamesKeyTexts) {
    for (const NamedKey& row : kKeys) expect_key(row);
    for (const auto& [keypad, code, scancode] : kKeypad) {
        expect_key(keypad);
        expect_key({code, scancode, keypad.text, false});
    }
    EXPECT_EQ(key_from_code("Numpad"), PhysicalKey::Other);
    EXPECT_EQ(key_from_code("NumpadA"), PhysicalKey::Other);
    EXPECT_EQ(key_from_code("F13"), PhysicalKey::Other);
}

TEST(KeyNames, BrowserPressesGoToTheGameOrOnToTheBrowser) {
    const struct {
        const char *code, *key;
        bool ctrl, alt, shift;
        int step;
        std::string text;
        bool keep;
    } cases[] = {
        {"KeyA", "a", false, false, false, 0, "a", true},
        {"Space", " ", false, false, false, 0, " ", true},               // kept: it would scroll the page
        {"Numpad8", "8", false, false, false, 0, "8", true},             // NumLock on: the digit
        {"Numpad8", "ArrowUp", false, false, false, 0, ext('H'), true},  // NumLock off: an arrow
        {"ArrowRight", "ArrowRight", false, false, false, 0, ext('M'), true},
        {"Escape", "Escape", false, false, false, 0, "", true},
        {"F5", "F5", false, false, false, 0, ext('?'), false},  // the game sees it, the browser reloads
        {"Tab", "Tab", false, false, false, 0, "	", false},
        {"F11", "F11", false, false, false, 0, "", false},
        {"KeyF", "f", false, true, false, 0, "", false},
        {"Minus", "-", false, false, false, 0, "-", true},  // the editing key
        // Ctrl with - is the browser's zoom; Alt+Shift+Up and Down are the speed keys.
        {"Minus", "-", true, false, false, 0, "", false},
        {"ArrowUp", "ArrowUp", false, true, true, 1, "", true},
        {"ArrowDown", "ArrowDown", false, true, true, -1, "", true},
        {"ArrowUp", "ArrowUp", false, true, false, 0, "", false},  // Alt+Up alone: the browser's
        // A layout's character is that character: AltGr (Ctrl+Alt) on Windows, Option (Alt) on a Mac.
        {"Digit9", "]", true, true, false, 0, "]", true},
        {"Digit7", "\\", false, true, true, 0, "\\", true},
        {"KeyE", "€", true, true, false, 0, "", false},           // no character the game knows
        {"Digit5", "5", false, true, false, 0, "", false},        // Alt+5: the key's own digit, a shortcut
        {"KeyF", "F", false, true, true, 0, "", false},           // Alt+Shift+F: the key's own letter
        {"BracketRight", "]", true, false, false, 0, "", false},  // Ctrl alone: a shortcut
        {"NumpadAdd", "+", false, false, false, 0, "+", true},    // without Ctrl: the editing key
        {"ShiftLeft", "Shift", false, false, false, 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.key);
        const BrowserKey k = browser_key_down(c.code, c.key, c.ctrl, c.alt, c.shift, false);
        EXPECT_EQ(k.speed_step, c.step);
        EXPECT_EQ(k.text, c.text);
        EXPECT_EQ(k.keep, c.keep);
    }
}

#ifdef TLVX_GAME
// The window's speed keys: Ctrl with -, + (Shift+=) or the keypad's; the keypad's + alone is the editing key.
TEST(KeyNames, TheWindowsSpeedKeysNeedCtrl) {
    EXPECT_EQ(speed_key(SDLK_MINUS, KMOD_LCTRL), -1);
    EXPECT_EQ(speed_key(SDLK_KP_MINUS, KMOD_LCTRL), -1);
    EXPECT_EQ(speed_key(SDLK_PLUS, KMOD_LCTRL | KMOD_LSHIFT), 1);
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_LCTRL | KMOD_NUM), 1);
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_NUM), 0);
}
#endif

// The window's own keys come from the key table's chords, which its help names: F1, F11
// and F12 whatever else is held, either Enter only with Alt; every other key goes to the game.
TEST(KeyNames, WindowKeysAreTheTablesChordsAsItsHelpNamesThem) {
    struct Case {
        PhysicalKey key;
        bool alt;
        const char* help;  // the help's name of the row that takes it; nullptr: the game's
    };
    for (const Case& c :
         {Case{PhysicalKey::F1, false, "F1"}, Case{PhysicalKey::F1, true, "F1"}, Case{PhysicalKey::F11, false, "F11"},
          Case{PhysicalKey::F12, true, "F12"}, Case{PhysicalKey::Enter, true, "Alt+Enter"},
          Case{PhysicalKey::KeypadEnter, true, "Alt+Enter"}, Case{PhysicalKey::Enter, false, nullptr},
          Case{PhysicalKey::F2, true, nullptr}, Case{PhysicalKey::Escape, false, nullptr},
          Case{PhysicalKey::Other, true, nullptr}}) {
        const KeyRow* row = window_row(c.key, c.alt);
        if (!c.help) {
            EXPECT_EQ(row, nullptr) << static_cast<int>(c.key);
            continue;
        }
        ASSERT_NE(row, nullptr) << c.help;
        EXPECT_EQ(row->source, KeySource::Window);
        EXPECT_EQ(row->help.keys, c.help);
    }
}
