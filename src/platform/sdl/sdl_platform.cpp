#include "platform/sdl/sdl_platform.hpp"

#include <SDL.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "base/error.hpp"
#include "formats/png_writer.hpp"
#include "platform/sdl/picture_rect.hpp"

namespace tlvx {

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
struct sigaction g_old_int, g_old_term;

void on_stop_signal(int) { g_stop_signal = 1; }

constexpr double kPresentInterval = 1.0 / 60.0;
constexpr auto kPumpInterval = std::chrono::milliseconds(1);

double monotonic_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string ext(char scan) { return std::string(1, '\0') + scan; }

// Keys that come from key-down events; printable characters come from text
// input instead, so they follow the keyboard layout and never arrive twice.
std::string key_for_scancode(SDL_Scancode sc) {
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: return "\x1b";
    case SDL_SCANCODE_BACKSPACE: return "\b";
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return "\r";
    case SDL_SCANCODE_TAB: return "\t";
    case SDL_SCANCODE_UP: return ext('H');
    case SDL_SCANCODE_DOWN: return ext('P');
    case SDL_SCANCODE_LEFT: return ext('K');
    case SDL_SCANCODE_RIGHT: return ext('M');
    default: break;
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) return ext(static_cast<char>(';' + (sc - SDL_SCANCODE_F1)));
    return {};
}

std::string sdl_failure(const std::string& what) { return what + " (SDL: " + SDL_GetError() + ")"; }

}  // namespace

SdlPlatform::SdlPlatform() {
    g_stop_signal = 0;
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    // Only the first signal asks for a quit; a second one ends the program at
    // once, in case the game cannot get to its next key poll.
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_old_int);
    sigaction(SIGTERM, &sa, &g_old_term);
}

SdlPlatform::~SdlPlatform() {
    close_screen();
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
}

void SdlPlatform::open_screen() {
    if (thread_.joinable()) return;
    stop_ = false;
    frame_waiting_ = false;
    keys_in_.clear();
    mouse_moves_.clear();
    first_handover_ = true;
    std::promise<std::string> opened;
    std::future<std::string> failure = opened.get_future();
    thread_ = std::thread(&SdlPlatform::window_main, this, std::move(opened));
    const std::string what = failure.get();
    if (!what.empty()) {
        thread_.join();
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, "while opening the screen: " + what);
    }
}

void SdlPlatform::close_screen() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SdlPlatform::set_mouse(int x, int y, bool show) {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mouse_moves_.push_back({x, y, show});
    }
    wake_.notify_one();
}

void SdlPlatform::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    if (!thread_.joinable()) return;
    if (keys_waiting_.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::string& key : keys_in_) keys.push(std::move(key));
        keys_in_.clear();
        keys_waiting_.store(false, std::memory_order_relaxed);
    }
    // The picture goes to the window thread about 60 times a second, whatever
    // the pass rate; the copy is all a pass ever pays for it.
    const double now = monotonic_seconds();
    if (first_handover_ || now - last_handover_ >= kPresentInterval) {
        first_handover_ = false;
        last_handover_ = now;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handed_.pixels = screen.pixels;
            handed_.palette = screen.palette;
            frame_waiting_ = true;
        }
        wake_.notify_one();
    }
    // The pause polls in a tight loop: give the core a rest between polls.
    if (paused && keys.empty() && !quit_requested()) std::this_thread::sleep_for(kPumpInterval);
}

double SdlPlatform::time() { return monotonic_seconds(); }

bool SdlPlatform::quit_requested() { return quit_.load(std::memory_order_relaxed) || g_stop_signal != 0; }

void SdlPlatform::window_main(std::promise<std::string> opened) {
    // The stop signals are the game thread's to take (the handler only sets a flag).
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    // On a busy machine the passes come first: the window thread, and the
    // renderer's helper threads it starts, yield the processor to them.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);

    const std::string failure = open_window();
    if (!failure.empty()) {
        close_window();
        opened.set_value(failure);
        return;
    }
    opened.set_value({});

    std::vector<MouseMove> moves;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const bool fresh = frame_waiting_;
        if (fresh) frame_ = handed_;
        frame_waiting_ = false;
        moves.swap(mouse_moves_);
        lock.unlock();

        for (const MouseMove& m : moves) move_mouse(m);
        moves.clear();
        SDL_Event e;
        while (SDL_PollEvent(&e)) handle_event(e);
        // An unchanged picture is not sent again: presenting can cost
        // milliseconds where the window system renders in software.
        if (present_due_ || (fresh && (frame_.pixels != shown_.pixels || frame_.palette != shown_.palette))) present();

        lock.lock();
        wake_.wait_for(lock, kPumpInterval, [this] { return stop_ || frame_waiting_ || !mouse_moves_.empty(); });
    }
    lock.unlock();
    close_window();
}

std::string SdlPlatform::open_window() {
    // Our own handlers turn SIGINT/SIGTERM into a quit; SDL must not replace them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Presenting must never wait for the display.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return sdl_failure("no display found");
    sdl_up_ = true;
    if (SDL_GetNumVideoDisplays() < 1) return sdl_failure("no display found");

    SDL_Rect usable{0, 0, 960, 600};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = {0, 0, 960, 600};
    int k = start_scale(usable.w, usable.h);
    window_ = SDL_CreateWindow("tlvx", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 320 * k, 200 * k,
                               SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window_) return sdl_failure("cannot create the window");
    SDL_SetWindowMinimumSize(window_, 320, 200);
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return sdl_failure("cannot create a renderer");
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kScreenW, kScreenH);
    if (!texture_) return sdl_failure("cannot create the screen texture");
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
    SDL_StartTextInput();

    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    present_due_ = true;
    lut_valid_ = false;
    return {};
}

void SdlPlatform::close_window() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) {
        SDL_StopTextInput();
        SDL_DestroyWindow(window_);
    }
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    if (sdl_up_) SDL_Quit();
    sdl_up_ = false;
}

void SdlPlatform::move_mouse(const MouseMove& m) {
    int ow = 0, oh = 0, ww = 0, wh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    SDL_GetWindowSize(window_, &ww, &wh);
    if (ow <= 0 || oh <= 0) return;
    PictureRect r = picture_rect(ow, oh, aspect_4_3_);
    // The centre of screen pixel (x, y) in output pixels, then in window
    // coordinates (which differ from output pixels on HiDPI displays).
    double px = r.x + (m.x + 0.5) * r.w / kScreenW;
    double py = r.y + (m.y + 0.5) * r.h / kScreenH;
    SDL_WarpMouseInWindow(window_, static_cast<int>(px * ww / ow), static_cast<int>(py * wh / oh));
    if (m.show) SDL_ShowCursor(SDL_ENABLE);
}

void SdlPlatform::handle_event(const SDL_Event& e) {
    auto push_key = [this](std::string key) {
        std::lock_guard<std::mutex> lock(mutex_);
        keys_in_.push_back(std::move(key));
        keys_waiting_.store(true, std::memory_order_release);
    };
    switch (e.type) {
    case SDL_QUIT: quit_ = true; break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) quit_ = true;
        else present_due_ = true;  // resized, exposed, restored: show the picture again
        break;
    case SDL_TEXTINPUT:
        for (const char* p = e.text.text; *p; ++p) {
            auto c = static_cast<unsigned char>(*p);
            if (c >= 32 && c <= 126) push_key(std::string(1, static_cast<char>(c)));
        }
        break;
    case SDL_KEYDOWN: {
        SDL_Scancode sc = e.key.keysym.scancode;
        bool repeat = e.key.repeat != 0;
        bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
        if (alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER)) {
            if (!repeat) toggle_fullscreen();
        } else if (sc == SDL_SCANCODE_F11) {
            if (!repeat) {
                aspect_4_3_ = !aspect_4_3_;
                present_due_ = true;
            }
        } else if (sc == SDL_SCANCODE_F12) {
            if (!repeat) take_screenshot();
        } else {
            std::string key = key_for_scancode(sc);
            if (!key.empty()) push_key(std::move(key));
        }
        break;
    }
    default: break;
    }
}

void SdlPlatform::present() {
    if (!lut_valid_ || frame_.palette != shown_.palette) {
        for (size_t i = 0; i < 256; ++i) {
            const Rgb& c = frame_.palette[i];
            lut_[i] = 0xFF000000u | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | uint32_t{c.b};
        }
        lut_valid_ = true;
    }
    shown_ = frame_;
    present_due_ = false;
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) == 0) {
        for (int y = 0; y < kScreenH; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch);
            const uint8_t* src = &shown_.pixels[static_cast<size_t>(y) * kScreenW];
            for (int x = 0; x < kScreenW; ++x) row[x] = lut_[src[x]];
        }
        SDL_UnlockTexture(texture_);
    }
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    PictureRect r = picture_rect(ow, oh, aspect_4_3_);
    SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    SDL_RenderPresent(renderer_);
}

void SdlPlatform::toggle_fullscreen() {
    bool want = !fullscreen_;
    if (SDL_SetWindowFullscreen(window_, want ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) fullscreen_ = want;
    present_due_ = true;
}

void SdlPlatform::take_screenshot() {
    time_t t = ::time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = shot_dir_ + "/tlvx-shot-" + stamp;
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
    } catch (const PngError& err) {
        // A failed screenshot must not end the game; say so and go on.
        std::fprintf(stderr, "tlvx: %s\n", err.what());
    }
}

}  // namespace tlvx
