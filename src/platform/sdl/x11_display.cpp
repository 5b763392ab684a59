#include "platform/sdl/x11_display.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tlvx {

void* x11_display_of(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

int x11_connection_fd(void* display) { return ConnectionNumber(static_cast<Display*>(display)); }

bool x11_window_manager_running(void* display) {
    // A running window manager that follows the desktop conventions names its
    // check window on the root window.
    auto* d = static_cast<Display*>(display);
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int got = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &items,
                                       &after, &data);
    const bool found = got == Success && type == XA_WINDOW && items == 1;
    if (data) XFree(data);
    return found;
}

void x11_when_lost(void* display, const LostCall& call) {
    // The default handler of a broken connection ends the process; this one
    // returns, so the exit handler below is called instead.
    XSetIOErrorHandler([](Display*) { return 0; });
    XSetIOErrorExitHandler(
        static_cast<Display*>(display),
        [](Display*, void* c) {
            const auto* lost = static_cast<const LostCall*>(c);
            lost->fn(lost->data);
        },
        const_cast<LostCall*>(&call));
}

namespace {
// Xlib's error handler takes no data of its own: the call and the handler
// before ours live here, set once at window start-up, like a signal handler's flag.
const LostCall* g_window_gone = nullptr;
XErrorHandler g_previous_handler = nullptr;
}  // namespace

void x11_sync(void* display) { XSync(static_cast<Display*>(display), False); }

void x11_when_window_gone(const LostCall& call) {
    g_window_gone = &call;
    g_previous_handler = XSetErrorHandler([](Display* d, XErrorEvent* e) -> int {
        // Drawing into the destroyed window fails with BadDrawable as well.
        if (e->error_code == BadWindow || e->error_code == BadDrawable) {
            if (g_window_gone && g_window_gone->fn) g_window_gone->fn(g_window_gone->data);
            return 0;
        }
        return g_previous_handler ? g_previous_handler(d, e) : 0;
    });
}

}  // namespace tlvx
