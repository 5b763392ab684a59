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
// `call.fn(call.data)` is called when an X request fails with BadWindow or
// BadDrawable (the
// window was destroyed under the program, as a window system's "close" may do),
// and the error is then ignored instead of ending the process; other errors go
// to the handler that was in place. Install after the window is made.
void x11_when_window_gone(const LostCall& call);
// Waits until the X server has answered every request sent, so that their
// errors reach the handler above while it is still in place.
void x11_sync(void* display);

}  // namespace tlvx
