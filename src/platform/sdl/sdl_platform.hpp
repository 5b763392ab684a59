#pragma once
// The platform with a real window (SDL2). Shows the screen scaled by whole
// factors and letterboxed, turns keyboard events into the game's key texts,
// and handles the window's own keys, which never reach the game:
//   Alt+Enter  fullscreen on/off
//   F11        4:3 aspect on/off (rows 1.2 times as tall)
//   F12        PNG screenshot into the screenshot directory
// Closing the window, SIGINT and SIGTERM make quit_requested() true.
//
// Every SDL call runs on a window thread of its own, started by open_screen()
// and ended by close_screen(): it pumps the events, about once a millisecond,
// and presents the frames the key poll hands over, about 60 a second. So the
// passes never wait for the window system, however slow presenting is; on a
// machine with no processor to spare, the window thread yields to the passes.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/platform.hpp"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;

namespace tlvx {

class SdlPlatform : public Platform {
public:
    // Installs the SIGINT and SIGTERM handlers (restored on destruction).
    SdlPlatform();
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    // Where F12 writes its pictures (the data directory). Set it before open_screen().
    void set_screenshot_dir(std::string dir) { shot_dir_ = std::move(dir); }

    void open_screen() override;
    void close_screen() override;
    void set_mouse(int x, int y, bool show) override;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    bool quit_requested() override;

private:
    // A picture handed from the game to the window thread.
    struct Frame {
        std::array<uint8_t, kScreenW * kScreenH> pixels{};
        std::array<Rgb, 256> palette{};
    };
    struct MouseMove {
        int x = 0, y = 0;
        bool show = false;
    };

    // The window thread.
    void window_main(std::promise<std::string> opened);
    std::string open_window();  // "" or what failed
    void close_window();
    void handle_event(const SDL_Event& e);
    void present();
    void move_mouse(const MouseMove& m);
    void toggle_fullscreen();
    void take_screenshot();

    std::string shot_dir_ = ".";
    std::thread thread_;
    double last_handover_ = 0.0;  // game thread: when the last frame was handed over
    bool first_handover_ = true;

    // Shared by the two threads, under mutex_ (the atomics without it).
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool frame_waiting_ = false;
    Frame handed_;
    std::vector<std::string> keys_in_;
    std::vector<MouseMove> mouse_moves_;
    std::atomic<bool> keys_waiting_{false};
    std::atomic<bool> quit_{false};

    // The window thread's own.
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    bool sdl_up_ = false;
    bool fullscreen_ = false;
    bool aspect_4_3_ = false;
    bool present_due_ = true;  // present the next frame even if it is unchanged
    Frame frame_;              // the newest frame taken over
    Frame shown_;              // the frame last presented
    std::array<uint32_t, 256> lut_{};  // palette index -> ARGB of shown_.palette
    bool lut_valid_ = false;
};

}  // namespace tlvx
