#pragma once
// Whether the window can be shown at all, asked before the game starts so
// that a missing display is one plain line instead of a failure inside the
// game, and the choice of video driver that keeps the display libraries from
// printing lines of their own.

#include <string>

namespace tlvx {

// True for the drivers that show nothing (offscreen, dummy, evdev): used only
// when SDL_VIDEODRIVER names them.
bool unseen_video_driver(const char* name);

// Picks the X driver when no Wayland display is named and SDL_VIDEODRIVER
// does not choose, so that the Wayland library is never asked to connect: it
// prints "XDG_RUNTIME_DIR is invalid" of its own when there is no session.
// Call before SDL_Init.
void choose_video_driver();

// "" when a window can be opened; else why not, in one line starting with
// "no display found". Starts and stops SDL's video part to find out.
std::string display_problem();

// Shows `text` in an error message box titled `title` and returns once it is
// closed; false, showing nothing, when no display is found or only an unseen
// driver's. Starts and stops SDL's video part.
bool show_message_box(const std::string& title, const std::string& text);

}  // namespace tlvx
