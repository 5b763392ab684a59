#pragma once
// The few things the window needs from X itself, beyond what SDL offers: the
// connection's file descriptor (to sleep until the display has news), whether
// a window manager runs (without one, fullscreen is a borderless window over
// the whole display), and a call when the connection to the X server breaks.
struct SDL_Window;

namespace tlvx {

// The X connection of `window`, or nullptr when the window is not on X.
void* x11_display_of(SDL_Window* window);
int x11_connection_fd(void* display);
bool x11_window_manager_running(void* display);
// What to call when the connection breaks; it must live as long as the connection.
struct LostCall {
    void (*fn)(void*) = nullptr;
    void* data = nullptr;
};
// `call.fn(call.data)` is called, on whichever thread met the broken
// connection, instead of the process being ended. After it the connection must
// not be used.
void x11_when_lost(void* display, const LostCall& call);

}  // namespace tlvx
