// The window's key-down events as the game's key texts.
#include <gtest/gtest.h>

#ifdef TLVX_GAME
#include "platform/sdl/sdl_keys.hpp"

using namespace tlvx;

namespace {
std::string ext(char scan) { return std::string(1, '\0') + scan; }
}  // namespace

TEST(SdlKeys, KeypadWithNumLockOffGivesArrowsAndTheSixEditingKeys) {
    const struct {
        SDL_Scancode keypad, middle;
        char scan;
    } cases[] = {
        {SDL_SCANCODE_KP_8, SDL_SCANCODE_UP, 'H'},     {SDL_SCANCODE_KP_2, SDL_SCANCODE_DOWN, 'P'},
        {SDL_SCANCODE_KP_4, SDL_SCANCODE_LEFT, 'K'},   {SDL_SCANCODE_KP_6, SDL_SCANCODE_RIGHT, 'M'},
        {SDL_SCANCODE_KP_7, SDL_SCANCODE_HOME, 'G'},   {SDL_SCANCODE_KP_1, SDL_SCANCODE_END, 'O'},
        {SDL_SCANCODE_KP_9, SDL_SCANCODE_PAGEUP, 'I'}, {SDL_SCANCODE_KP_3, SDL_SCANCODE_PAGEDOWN, 'Q'},
        {SDL_SCANCODE_KP_0, SDL_SCANCODE_INSERT, 'R'}, {SDL_SCANCODE_KP_PERIOD, SDL_SCANCODE_DELETE, 'S'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scan);
        EXPECT_EQ(key_text_for(c.keypad, false), ext(c.scan));
        EXPECT_EQ(key_text_for(c.keypad, true), "");  // NumLock on: the digit comes as text
        EXPECT_EQ(key_text_for(c.middle, false), ext(c.scan));
        EXPECT_EQ(key_text_for(c.middle, true), ext(c.scan));
    }
    EXPECT_EQ(key_text_for(SDL_SCANCODE_KP_5, false), "");
    EXPECT_EQ(key_text_for(SDL_SCANCODE_KP_ENTER, false), "\r");
    EXPECT_EQ(key_text_for(SDL_SCANCODE_F10, false), ext('D'));
    EXPECT_EQ(key_text_for(SDL_SCANCODE_F11, false), "");  // the window's own
    EXPECT_EQ(key_text_for(SDL_SCANCODE_A, false), "");    // printable: from text input
}

TEST(SdlKeys, SpeedKeysNeedCtrl) {
    EXPECT_EQ(speed_key(SDLK_MINUS, KMOD_LCTRL), -1);
    EXPECT_EQ(speed_key(SDLK_EQUALS, KMOD_LCTRL), 1);
    EXPECT_EQ(speed_key(SDLK_PLUS, KMOD_LCTRL | KMOD_LSHIFT), 1);
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_LCTRL | KMOD_NUM), 1);
    EXPECT_EQ(speed_key(SDLK_MINUS, KMOD_NONE), 0);   // the editing key "-"
    EXPECT_EQ(speed_key(SDLK_KP_PLUS, KMOD_NUM), 0);  // the editing key "+"
}
#endif
