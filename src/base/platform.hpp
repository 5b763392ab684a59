#pragma once
// The narrow boundary between the game and the outside world: a window that
// presents the indexed screen, a key source and a time source. Backends:
// platform/sdl (a real window), platform/headless (scripted keys, simulated
// clock), platform/web (the browser page) and the recording, replay and
// playback platforms of platform/record, which wrap another backend.
#include <cstdint>

#include "base/screen_types.hpp"

namespace tlvx {

// Thrown by a backend to end a run early without a quit (the headless key
// script ran out while the game waits in the pause).
struct StopRun {};

class Platform {
public:
    virtual ~Platform() = default;

    // Open the graphics window. Throws RuntimeError when no display can be opened.
    virtual void open_screen() = 0;
    // Close the window; the program is about to save and end.
    virtual void close_screen() = 0;
    // Move the pointer to screen pixel (x, y), already clamped, and show it if asked.
    virtual void set_mouse(int x, int y, bool show) = 0;
    // Called by every key poll: move pending input events into `keys` and, when
    // due, show `screen`. `paused` is true for the polls of the pause loop.
    // Never blocks.
    virtual void poll(const Screen& screen, KeyQueue& keys, bool paused) = 0;
    // Seconds with a fraction from a monotonic clock.
    virtual double time() = 0;
    // Called at the very start of pass `pass` (1-based), before anything else of it.
    virtual void begin_pass(int64_t pass) { (void)pass; }
    // True once the user asked to end the game from outside (window close,
    // SIGINT, SIGTERM): the key poll then reads Escape.
    virtual bool quit_requested() { return false; }
};

}  // namespace tlvx
