// The keys as the game's key texts: the window's scancodes and the browser's
// key codes name the same keys, which give the same texts.
#include <gtest/gtest.h>

#include "platform/rhythm/key_names.hpp"

#ifdef TLVX_GAME
#include "platform/sdl/sdl_keys.hpp"
#endif

using namespace tlvx;

namespace {

std::string ext(char scan) { return std::string(1, '\0') + scan; }

struct KeyRow {
    const char* code;  // the browser's name of the key
    int scancode;      // the window's (SDL_Scancode)
    std::string numlock_off, numlock_on;
};

// Scancodes as numbers, so that the table is the same with or without SDL.
const KeyRow kKeys[] = {
    {"Numpad8", 96, ext('H'), ""},
    {"ArrowUp", 82, ext('H'), ext('H')},
    {"Numpad2", 90, ext('P'), ""},
    {"ArrowDown", 81, ext('P'), ext('P')},
    {"Numpad4", 92, ext('K'), ""},
    {"ArrowLeft", 80, ext('K'), ext('K')},
    {"Numpad6", 94, ext('M'), ""},
    {"ArrowRight", 79, ext('M'), ext('M')},
    {"Numpad7", 95, ext('G'), ""},
    {"Home", 74, ext('G'), ext('G')},
    {"Numpad1", 89, ext('O'), ""},
    {"End", 77, ext('O'), ext('O')},
    {"Numpad9", 97, ext('I'), ""},
    {"PageUp", 75, ext('I'), ext('I')},
    {"Numpad3", 91, ext('Q'), ""},
    {"PageDown", 78, ext('Q'), ext('Q')},
    {"Numpad0", 98, ext('R'), ""},
    {"Insert", 73, ext('R'), ext('R')},
    {"NumpadDecimal", 99, ext('S'), ""},
    {"Delete", 76, ext('S'), ext('S')},
    {"Numpad5", 93, "", ""},
    {"NumpadEnter", 88, "\r", "\r"},
    {"Enter", 40, "\r", "\r"},
    {"Escape", 41, "\x1b", "\x1b"},
    {"Backspace", 42, "\b", "\b"},
    {"Tab", 43, "\t", "\t"},
    {"F1", 58, ext(';'), ext(';')},
    {"F10", 67, ext('D'), ext('D')},
    {"F11", 68, "", ""},
    {"F12", 69, "", ""},  // the window's and the page's own
    {"KeyA", 4, "", ""},
    {"Minus", 45, "", ""},  // printable: from the typed text
};

}  // namespace

TEST(KeyNames, BrowserCodesGiveTheGamesKeyTexts) {
    for (const KeyRow& row : kKeys) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(key_text_for(key_from_code(row.code), false), row.numlock_off);
        EXPECT_EQ(key_text_for(key_from_code(row.code), true), row.numlock_on);
    }
    EXPECT_EQ(key_from_code("Numpad"), PhysicalKey::Other);
    EXPECT_EQ(key_from_code("NumpadA"), PhysicalKey::Other);
    EXPECT_EQ(key_from_code("F13"), PhysicalKey::Other);
}

TEST(KeyNames, SpeedKeysNeedCtrl) {
    const struct {
        PhysicalKey key;
        char typed;
        bool ctrl;
        int step;
    } cases[] = {
        {PhysicalKey::Other, '-', true, -1},        {PhysicalKey::Other, '=', true, 1},
        {PhysicalKey::Other, '+', true, 1},         {PhysicalKey::KeypadPlus, '\0', true, 1},
        {PhysicalKey::KeypadMinus, '\0', true, -1}, {PhysicalKey::Other, '-', false, 0},  // the editing key "-"
        {PhysicalKey::KeypadPlus, '\0', false, 0},  {PhysicalKey::Other, 'r', true, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(speed_key(c.key, c.typed, c.ctrl), c.step) << c.typed;
}

TEST(KeyNames, BrowserPressesGoToTheGameOrOnToTheBrowser) {
    const struct {
        const char *code, *key;
        bool ctrl, alt;
        int step;
        std::string text;
        bool keep;
    } cases[] = {
        {"KeyA", "a", false, false, 0, "a", true},
        {"KeyA", "A", false, false, 0, "A", true},                // Shift: the typed letter
        {"Space", " ", false, false, 0, " ", true},               // kept: it would scroll the page
        {"Digit8", "(", false, false, 0, "(", true},              // the layout's character
        {"Numpad8", "8", false, false, 0, "8", true},             // NumLock on: the digit
        {"Numpad8", "ArrowUp", false, false, 0, ext('H'), true},  // NumLock off: an arrow
        {"ArrowRight", "ArrowRight", false, false, 0, ext('M'), true},
        {"Escape", "Escape", false, false, 0, "", true},
        {"F5", "F5", false, false, 0, ext('?'), false},  // the game sees it, the browser reloads
        {"Tab", "Tab", false, false, 0, "	", false},
        {"F11", "F11", false, false, 0, "", false},
        {"KeyR", "r", true, false, 0, "", false},  // Ctrl+R: the browser's
        {"KeyF", "f", false, true, 0, "", false},
        {"Minus", "-", false, false, 0, "-", true},  // the editing key
        {"Minus", "-", true, false, -1, "", true},
        {"Equal", "=", true, false, 1, "", true},
        {"NumpadAdd", "+", true, false, 1, "", true},
        {"ShiftLeft", "Shift", false, false, 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.key);
        const BrowserKey k = browser_key_down(c.code, c.key, c.ctrl, c.alt, false);
        EXPECT_EQ(k.speed_step, c.step);
        EXPECT_EQ(k.text, c.text);
        EXPECT_EQ(k.keep, c.keep);
    }
}

#ifdef TLVX_GAME
TEST(KeyNames, TheWindowsScancodesNameTheSameKeysAsTheBrowser) {
    for (const KeyRow& row : kKeys) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(physical_key(static_cast<SDL_Scancode>(row.scancode)), key_from_code(row.code));
    }
    EXPECT_EQ(speed_key(SDLK_MINUS, KMOD_LCTRL), -1);
    EXPECT_EQ(speed_key(SDLK_PLUS, KMOD_LCTRL | KMOD_LSHIFT), 1);
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_LCTRL | KMOD_NUM), 1);
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_NUM), 0);  // the editing key "+"
}
#endif
