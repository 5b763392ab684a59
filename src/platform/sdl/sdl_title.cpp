// The window's title, its bell and its screenshots.
#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "formats/png_writer.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "platform/sdl/window_clock.hpp"

namespace tlvx {

using window_clock::monotonic_seconds;

void SdlPlatform::set_status(std::string text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = std::move(text);
    }
    wake_window();
}

void SdlPlatform::show_note(std::string text, double seconds) {
    note_ = std::move(text);
    title_until_ = monotonic_seconds() + seconds;
    update_title(monotonic_seconds());
}

void SdlPlatform::update_title(double now) {
    if (title_until_ > 0 && now >= title_until_) {
        title_until_ = 0;
        note_.clear();
    }
    std::string title = "tlvx";
    if (help_shown_.load(std::memory_order_relaxed)) title += " - keys (F1 closes)";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!status_.empty()) title += " - " + status_;
    }
    if (game_paused_.load(std::memory_order_relaxed)) title += " - paused (any key goes on)";
    if (!note_.empty()) title += " - " + note_;
    if (title != title_) {
        title_ = title;
        SDL_SetWindowTitle(window_, title_.c_str());
    }
}

void SdlPlatform::beep() {
    // A short square tone like a PC speaker's. Silence when no audio device
    // can be opened; a bell while one still sounds is not queued.
    if (!audio_tried_) {
        audio_tried_ = true;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            SDL_AudioSpec want{}, have{};
            want.freq = 22050;
            want.format = AUDIO_S16SYS;
            want.channels = 1;
            want.samples = 512;
            audio_device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            if (audio_device_) SDL_PauseAudioDevice(audio_device_, 0);
        }
    }
    if (!audio_device_ || SDL_GetQueuedAudioSize(audio_device_) > 0) return;
    constexpr int kRate = 22050, kHz = 800;
    std::vector<int16_t> tone(kRate / 6);  // a sixth of a second
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = (i * 2 * kHz / kRate) % 2 ? 6000 : -6000;
    SDL_QueueAudio(audio_device_, tone.data(), static_cast<Uint32>(tone.size() * sizeof(int16_t)));
}

void SdlPlatform::take_screenshot() {
    time_t t = ::time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = settings_.screenshot_dir + "/tlvx-shot-" + stamp;
    std::string path = base + ".png";
    // Several shots within one second get -2, -3, ...
    for (int n = 2; std::filesystem::exists(path) && n < 1000; ++n) path = base + "-" + std::to_string(n) + ".png";
    // The picture the window shows now.
    Screen shot;
    shot.pixels = shown_.pixels;
    shot.palette = shown_.palette;
    try {
        write_screen_png(shot, path);
        std::fprintf(stderr, "tlvx: screenshot saved as %s\n", path.c_str());
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(path, ec);
        show_note("screenshot saved as " + (ec ? path : full.lexically_normal().string()),
                  window_clock::kScreenshotTitleSeconds);
    } catch (const PngError& err) {
        // A failed screenshot must not end the game; say so and go on.
        std::fprintf(stderr, "tlvx: %s\n", err.what());
        show_note(err.what(), window_clock::kScreenshotTitleSeconds);
    }
}

}  // namespace tlvx
