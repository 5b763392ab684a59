#pragma once
// The platform in a browser page: the picture goes onto the page's canvas,
// keys come from the page's key events and its gamepads (the Gamepad API,
// through the pads' table of input/pad.hpp), time from the page's clock. The game's
// loop stays as it is; the program gives the browser its turn only in
// begin_pass (waiting for the pass's time, or briefly at full speed) and in
// the pause's polls, which is where a browser build may wait.
//
// The page (share/web/index.html) provides the `tlvxPage` object this file
// calls: present(rgba), speed requests, pending world actions.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.hpp"
#include "input/pad.hpp"
#include "platform/rhythm/key_repeat.hpp"
#include "platform/rhythm/pass_pacer.hpp"

namespace tlvx {

// The 320x200 picture through its palette, 4 bytes a pixel (red, green, blue,
// 255), rows top to bottom.
void screen_rgba(const Screen& screen, std::vector<uint8_t>& out);

class WebPlatform : public Platform {
public:
    explicit WebPlatform(double speed = kDefaultSpeed);
    ~WebPlatform() override;
    WebPlatform(const WebPlatform&) = delete;
    WebPlatform& operator=(const WebPlatform&) = delete;

    void open_screen() override;
    void close_screen() override;
    void set_mouse(int, int, bool) override {}
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    void begin_pass(int64_t pass) override;
    // True while the page asks the game to end (a world button, the page
    // being left): the key poll then reads Escape and the game saves.
    bool quit_requested() override;

    // Shows `screen` on the canvas now.
    void present(const Screen& screen);

    // The pace of the passes (0: unpaced), as the speed buttons set it.
    double speed() const { return pacer_.speed(); }
    void set_speed(double speed) { change_speed(speed); }
    // Gives the browser its turn for about `seconds`, with the last picture
    // shown (a playback waiting for its recording's pace).
    void idle(double seconds);

    // From the page's key callbacks; true when the page keeps the key.
    bool key_down(const char* code, const char* key, bool ctrl, bool alt, bool shift, bool meta, bool repeat);
    void key_up(const char* code);
    void release_all();
    // From the page's on-screen controls (input/touch_table.hpp): control
    // `n` pressed (`down`) or let go, as a key of the keyboard would be.
    void touch_key(int n, bool down);

    // Called between passes (as each begins), in the pause's polls and while
    // the page holds the game: where the main takes the page's world buttons
    // that leave the game as it is (Download, Open checked).
    std::function<void()> between_passes;

private:
    void change_speed(double speed);
    void take_speed_steps();
    // While the page holds the game (its key help shows), no pass runs.
    void wait_while_held();
    // The gamepads' presses and releases since the last look, into events_.
    void read_pads();

    PassPacer pacer_;
    KeyRepeat repeat_;
    PadKeys pad_keys_;
    double last_pad_read_ = -1;
    std::vector<KeyEvent> events_;
    std::vector<uint8_t> rgba_;
    const Screen* screen_ = nullptr;
    double last_present_ = -1;
    double last_yield_ = 0;
    bool open_ = false;
    bool paused_ = false;  // the last poll was the pause's
};

}  // namespace tlvx
