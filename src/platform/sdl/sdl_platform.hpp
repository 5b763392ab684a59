#pragma once
// The platform with a real window (SDL2). Shows the screen scaled by whole
// factors and letterboxed, turns keyboard events into the game's key texts,
// and handles the window's own keys, which never reach the game:
//   Alt+Enter  fullscreen on/off
//   F11        4:3 aspect on/off (rows 1.2 times as tall)
//   F12        PNG screenshot into the screenshot directory
// Closing the window, SIGINT and SIGTERM make quit_requested() true.
#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.hpp"

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

    // Where F12 writes its pictures (the data directory).
    void set_screenshot_dir(std::string dir) { shot_dir_ = std::move(dir); }

    void open_screen() override;
    void close_screen() override;
    void set_mouse(int x, int y, bool show) override;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    bool quit_requested() override;

private:
    void handle_event(const SDL_Event& e, const Screen& screen, KeyQueue& keys);
    void present(const Screen& screen);
    void toggle_fullscreen();
    void take_screenshot(const Screen& screen);

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    bool sdl_up_ = false;
    bool quit_ = false;
    bool fullscreen_ = false;
    bool aspect_4_3_ = false;
    bool present_due_ = true;  // present at the next poll whatever the time
    double last_present_ = 0.0, last_pump_ = 0.0;
    std::string shot_dir_ = ".";

    std::array<uint8_t, kScreenW * kScreenH> shown_{};  // the pixels last presented
    // Palette index -> ARGB, rebuilt when the palette changes.
    std::array<uint32_t, 256> lut_{};
    std::array<Rgb, 256> lut_palette_{};
    uint32_t lut_serial_ = 0;
    bool lut_valid_ = false;
};

}  // namespace tlvx
