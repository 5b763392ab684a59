#include "platform/sdl/sdl_platform.hpp"

#include <SDL.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/error.hpp"
#include "platform/sdl/display_check.hpp"
#include "platform/sdl/help_overlay.hpp"
#include "platform/sdl/picture_rect.hpp"
#include "platform/sdl/window_clock.hpp"

namespace tlvx {

namespace {

using window_clock::monotonic_seconds;

// Frames go to the window at most about 60 times a second at full speed; a
// paced pass hands its picture over at once unless passes come faster than 80
// a second.
constexpr double kPresentInterval = 1.0 / 60.0;
constexpr double kPacedHandover = 0.75 / 60.0;
// The window thread looks at the clock at least this often while nothing happens.
constexpr int kIdleWaitMs = 100;
// With a game controller open, at least this often: its presses and releases
// arrive within a few milliseconds, as keys do.
constexpr int kPadWaitMs = 8;

void sleep_until(double when) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(std::floor(when));
    ts.tv_nsec = static_cast<long>((when - std::floor(when)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

std::string sdl_failure(const std::string& what) { return what + " (SDL: " + SDL_GetError() + ")"; }

}  // namespace

// Only the first stop signal asks for a quit; a second one ends the program
// at once, in case the game cannot get to its next key poll.
SdlPlatform::SdlPlatform(WindowSettings settings)
    : stop_signals_(SecondStopSignal::EndsProgram), settings_(std::move(settings)), pacer_(settings_.speed) {
    speed_.store(pacer_.speed());
}

SdlPlatform::~SdlPlatform() { close_screen(); }

void SdlPlatform::open_screen() {
    if (thread_.joinable()) return;
    stop_ = false;
    frame_waiting_ = false;
    key_events_.clear();
    mouse_moves_.clear();
    first_handover_ = true;
    wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::promise<std::string> opened;
    std::future<std::string> failure = opened.get_future();
    thread_ = std::thread(&SdlPlatform::window_main, this, std::move(opened));
    const std::string what = failure.get();
    if (!what.empty()) {
        thread_.join();
        ::close(wake_fd_);
        wake_fd_ = -1;
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, "while opening the screen: " + what);
    }
}

void SdlPlatform::close_screen() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    help_hidden_.notify_all();
    wake_window();
    if (lost_.load()) {
        thread_.detach();  // held in display_lost() for good
        wake_fd_ = -1;
        screen_ = nullptr;
        return;
    }
    thread_.join();
    ::close(wake_fd_);
    wake_fd_ = -1;
    screen_ = nullptr;
}

void SdlPlatform::wake_window() {
    const uint64_t one = 1;
    if (wake_fd_ >= 0) (void)!::write(wake_fd_, &one, sizeof one);
}

void SdlPlatform::inject_event(const SDL_Event& e) {
    SDL_Event copy = e;
    if (SDL_PushEvent(&copy) == 1) wake_window();
}

void SdlPlatform::set_mouse(int x, int y, bool show) {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mouse_moves_.push_back({x, y, show});
    }
    wake_window();
}

void SdlPlatform::hand_over(const Screen& screen, double now) {
    first_handover_ = false;
    last_handover_ = now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handed_.pixels = screen.pixels;
        handed_.palette = screen.palette;
        handed_.bells = screen.bells;
        handed_.serial = ++handed_serial_;
        frame_waiting_ = true;
    }
    wake_window();
}

void SdlPlatform::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    if (!thread_.joinable()) return;
    hold_while_help();
    screen_ = &screen;
    if (game_paused_.exchange(paused, std::memory_order_relaxed) != paused) wake_window();  // for the title
    double now = monotonic_seconds();
    if (paused && keys.empty() && !keys_waiting_.load(std::memory_order_acquire) && !quit_requested() &&
        !repeat_.holding()) {
        // The pause polls again and again: sleep until a key comes, a little at a time.
        std::unique_lock<std::mutex> lock(mutex_);
        keys_arrived_.wait_for(lock, std::chrono::milliseconds(20), [this] { return !key_events_.empty(); });
        now = monotonic_seconds();
    }
    std::vector<KeyEvent> events;
    if (keys_waiting_.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(mutex_);
        events.swap(key_events_);
        keys_waiting_.store(false, std::memory_order_relaxed);
    }
    repeat_.deliver(events, now, keys);
    // At full speed, and in the pause, the picture goes to the window about 60
    // times a second, whatever the pass rate; the copy is all a pass ever pays
    // for it. Paced passes hand theirs over in begin_pass, as soon as they end.
    if (first_handover_ || ((paused || pacer_.speed() == 0) && now - last_handover_ >= kPresentInterval))
        hand_over(screen, now);
    if (paused && keys.empty() && repeat_.holding()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void SdlPlatform::begin_pass(int64_t) {
    if (!thread_.joinable()) return;
    hold_while_help();
    const double speed = speed_.load(std::memory_order_relaxed);
    if (speed != pacer_.speed()) pacer_.set_speed(speed);
    if (pacer_.speed() == 0) return;
    // The picture of the pass that just ended shows while this one waits.
    const double now = monotonic_seconds();
    if (screen_ && now - last_handover_ >= kPacedHandover) hand_over(*screen_, now);
    const double start = pacer_.start_time(now);
    if (start > now) sleep_until(start);
}

double SdlPlatform::time() { return monotonic_seconds(); }

void SdlPlatform::hold_while_help() {
    if (!help_shown_.load(std::memory_order_acquire)) return;
    // The game waits here, as on a machine too busy to run it, until the help
    // is put away or the user asks to quit. A stop signal only sets a flag,
    // so the wait looks at it now and then.
    std::unique_lock<std::mutex> lock(mutex_);
    while (help_shown_.load(std::memory_order_relaxed) && !stop_ && !quit_requested())
        help_hidden_.wait_for(lock, std::chrono::milliseconds(50));
}

bool SdlPlatform::quit_requested() { return quit_.load(std::memory_order_relaxed) || stop_signal() != 0; }

void SdlPlatform::window_main(std::promise<std::string> opened) {
    // The stop signals are the game thread's to take (the handler only sets a flag).
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    // Passes back to back use a whole core; on a busy machine they come first:
    // the window thread, and the renderer's helper threads it starts, yield
    // the processor to them. Paced passes leave the processor free, and the
    // window must then show their pictures without delay.
    if (settings_.speed <= 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);

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
        if (!pads_.empty()) read_pads();
        update_title(monotonic_seconds());
        if (frame_.bells != bells_heard_) {
            bells_heard_ = frame_.bells;
            beep();
        }
        // An unchanged picture is not sent again: presenting can cost
        // milliseconds where the window system renders in software.
        if (present_due_ || (fresh && (frame_.pixels != shown_.pixels || frame_.palette != shown_.palette))) present();
        else if (fresh) {
            // The same picture is on show already.
            presented_time_.store(monotonic_seconds(), std::memory_order_release);
            presented_serial_.store(frame_.serial, std::memory_order_release);
        }
        // A game controller's events come only when SDL looks for them.
        wait_for_work(!pads_.empty() ? kPadWaitMs : title_until_ > 0 ? 50 : kIdleWaitMs);
        lock.lock();
    }
    lock.unlock();
    close_window();
}

// Sleeps until the display has events, the game wakes this thread, or
// `timeout_ms` passes.
void SdlPlatform::wait_for_work(int timeout_ms) {
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {-1, POLLIN, 0}};
    nfds_t n = 1;
    if (x_display_) {
        fds[1].fd = x11_connection_fd(x_display_);
        n = 2;
    } else {
        // Not on X: look at the events often instead.
        timeout_ms = std::min(timeout_ms, 2);
    }
    if (::poll(fds, n, timeout_ms) > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count = 0;
        (void)!::read(wake_fd_, &count, sizeof count);
    }
}

std::string SdlPlatform::open_window() {
    // The stop signals turn into a quit (base/stop_signal); SDL must not replace their handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Presenting must never wait for the display.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    choose_video_driver();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return sdl_failure("no display found");
    sdl_up_ = true;
    if (SDL_GetNumVideoDisplays() < 1) return sdl_failure("no display found");
    // Game controllers are welcome but not needed: without them the game
    // plays by keyboard as before.
    (void)SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    // A driver that shows nothing is used only when asked for by name.
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if ((!asked || !*asked) && unseen_video_driver(SDL_GetCurrentVideoDriver()))
        return std::string("no display found (only the unseen \"") + SDL_GetCurrentVideoDriver() +
               "\" video driver is available)";

    SDL_Rect usable{0, 0, 960, 600};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = {0, 0, 960, 600};
    aspect_4_3_ = settings_.aspect_4_3;
    const int k = settings_.scale > 0 ? settings_.scale : start_scale(usable.w, usable.h);
    window_ = SDL_CreateWindow("tlvx", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 320 * k,
                               (aspect_4_3_ ? 240 : 200) * k, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window_) return sdl_failure("cannot create the window");
    SDL_SetWindowMinimumSize(window_, 320, 200);
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
    if (!renderer_) return sdl_failure("cannot create a renderer");
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kScreenW, kScreenH);
    if (!texture_) return sdl_failure("cannot create the screen texture");
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
    SDL_StartTextInput();

    x_display_ = x11_display_of(window_);
    if (x_display_) {
        window_manager_ = x11_window_manager_running(x_display_);
        lost_call_ = {&SdlPlatform::on_display_lost, this};
        x11_when_lost(x_display_, lost_call_);
        // mended: a window destroyed by the window system (a forced close)
        // makes the next X request fail with BadWindow, whose default handler
        // ends the process unsaved; the game quits as on Escape instead.
        gone_call_ = {&SdlPlatform::on_window_gone, this};
        x11_when_window_gone(gone_call_);
    }

    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    present_due_ = true;
    lut_valid_ = false;
    if (settings_.fullscreen) toggle_fullscreen();
    return {};
}

void SdlPlatform::close_window() {
    for (const Pad& p : pads_) SDL_GameControllerClose(p.controller);
    pads_.clear();
    if (audio_device_) SDL_CloseAudioDevice(audio_device_);
    audio_device_ = 0;
    if (sharp_) SDL_DestroyTexture(sharp_);
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) {
        SDL_StopTextInput();
        SDL_DestroyWindow(window_);
    }
    // The errors of closing a window the window system destroyed come back
    // late; they must meet our handler, not the one SDL_Quit puts back.
    if (x_display_ && !lost_.load()) x11_sync(x_display_);
    sharp_ = nullptr;
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    x_display_ = nullptr;
    if (sdl_up_) SDL_Quit();
    sdl_up_ = false;
}

void SdlPlatform::on_display_lost(void* self) { static_cast<SdlPlatform*>(self)->display_lost(); }

void SdlPlatform::on_window_gone(void* self) {
    auto* p = static_cast<SdlPlatform*>(self);
    if (!p->quit_.exchange(true)) std::fputs("tlvx: the window was closed; saving and ending the game\n", stderr);
}

void SdlPlatform::display_lost() {
    // Called from inside an X call on the window thread. Nothing in the window
    // can be used any more, and returning into the X library is not safe: the
    // game quits as if the window had been closed (so the character is saved)
    // while this thread stays here; close_screen() leaves it behind and the
    // process's end takes it.
    std::fputs("tlvx: the connection to the display is lost; saving and ending the game\n", stderr);
    lost_.store(true);
    quit_.store(true);
    for (;;) ::pause();
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
        if (help_shown_.load(std::memory_order_relaxed)) {
            // Drawn over the window's copy only: the game's screen, and so a
            // screenshot, keeps the game's own pixels.
            std::vector<uint32_t> argb(static_cast<size_t>(kScreenW) * kScreenH);
            for (int y = 0; y < kScreenH; ++y)
                std::memcpy(&argb[static_cast<size_t>(y) * kScreenW],
                            static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch, kScreenW * 4);
            draw_help_overlay(argb);
            for (int y = 0; y < kScreenH; ++y)
                std::memcpy(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch,
                            &argb[static_cast<size_t>(y) * kScreenW], kScreenW * 4);
        }
        SDL_UnlockTexture(texture_);
    }
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    draw_picture(ow, oh);
    SDL_RenderPresent(renderer_);
    presented_time_.store(monotonic_seconds(), std::memory_order_release);
    presented_serial_.store(shown_.serial, std::memory_order_release);
}

void SdlPlatform::draw_picture(int out_w, int out_h) {
    const PictureRect r = picture_rect(out_w, out_h, aspect_4_3_);
    const SDL_Rect dst{r.x, r.y, r.w, r.h};
    if (!aspect_4_3_) {
        SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
        return;
    }
    // 4:3: enlarge by a whole factor with nearest neighbour, so every pixel
    // stays a sharp block, then shrink to the final size with linear
    // filtering, so every row ends up equally tall.
    const int k = sharp_factor(r.w, r.h);
    if (k != sharp_k_) {
        if (sharp_) SDL_DestroyTexture(sharp_);
        sharp_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, kScreenW * k,
                                   kScreenH * k);
        if (sharp_) SDL_SetTextureScaleMode(sharp_, SDL_ScaleModeLinear);
        sharp_k_ = sharp_ ? k : 0;
    }
    if (!sharp_ || SDL_SetRenderTarget(renderer_, sharp_) != 0) {
        SDL_RenderCopy(renderer_, texture_, nullptr, &dst);  // no render targets: plain scaling
        return;
    }
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_SetRenderTarget(renderer_, nullptr);
    SDL_RenderCopy(renderer_, sharp_, nullptr, &dst);
}

void SdlPlatform::toggle_fullscreen() {
    const bool want = !fullscreen_;
    if (window_manager_) {
        if (SDL_SetWindowFullscreen(window_, want ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) fullscreen_ = want;
    } else {
        // Without a window manager nobody resizes the window for fullscreen:
        // cover the display with a borderless window, and put it back after.
        if (want) {
            SDL_GetWindowPosition(window_, &windowed_x_, &windowed_y_);
            SDL_GetWindowSize(window_, &windowed_w_, &windowed_h_);
            SDL_Rect display{0, 0, 0, 0};
            SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &display);
            SDL_SetWindowBordered(window_, SDL_FALSE);
            SDL_SetWindowPosition(window_, display.x, display.y);
            SDL_SetWindowSize(window_, display.w, display.h);
            SDL_RaiseWindow(window_);
        } else {
            SDL_SetWindowBordered(window_, SDL_TRUE);
            SDL_SetWindowSize(window_, windowed_w_, windowed_h_);
            SDL_SetWindowPosition(window_, windowed_x_, windowed_y_);
        }
        fullscreen_ = want;
    }
    present_due_ = true;
}

}  // namespace tlvx
