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
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/error.hpp"
#include "formats/png_writer.hpp"
#include "platform/sdl/display_check.hpp"
#include "platform/sdl/help_overlay.hpp"
#include "platform/sdl/picture_rect.hpp"
#include "platform/sdl/sdl_keys.hpp"

namespace tlvx {

namespace {

// The stop signals only set this flag; the key poll reads it.
volatile std::sig_atomic_t g_stop_signal = 0;
struct sigaction g_old_int, g_old_term;

void on_stop_signal(int) { g_stop_signal = 1; }

// Frames go to the window at most about 60 times a second at full speed; a
// paced pass hands its picture over at once unless passes come faster than 80
// a second.
constexpr double kPresentInterval = 1.0 / 60.0;
constexpr double kPacedHandover = 0.75 / 60.0;
constexpr double kTitleSeconds = 2.0;
constexpr double kScreenshotTitleSeconds = 5.0;
// The window thread looks at the clock at least this often while nothing happens.
constexpr int kIdleWaitMs = 100;

double monotonic_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleep_until(double when) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(std::floor(when));
    ts.tv_nsec = static_cast<long>((when - std::floor(when)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

std::string sdl_failure(const std::string& what) { return what + " (SDL: " + SDL_GetError() + ")"; }

}  // namespace

SdlPlatform::SdlPlatform(WindowSettings settings) : settings_(std::move(settings)), pacer_(settings_.speed) {
    speed_.store(pacer_.speed());
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

void SdlPlatform::set_status(std::string text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = std::move(text);
    }
    wake_window();
}

bool SdlPlatform::quit_requested() { return quit_.load(std::memory_order_relaxed) || g_stop_signal != 0; }

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
        wait_for_work(title_until_ > 0 ? 50 : kIdleWaitMs);
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
    // Our own handlers turn SIGINT/SIGTERM into a quit; SDL must not replace them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Presenting must never wait for the display.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    choose_video_driver();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return sdl_failure("no display found");
    sdl_up_ = true;
    if (SDL_GetNumVideoDisplays() < 1) return sdl_failure("no display found");
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

void SdlPlatform::add_key_event(KeyEvent ev) {
    ev.time = monotonic_seconds();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        key_events_.push_back(std::move(ev));
        keys_waiting_.store(true, std::memory_order_release);
    }
    keys_arrived_.notify_one();
}

void SdlPlatform::handle_event(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        quit_ = true;
        help_hidden_.notify_all();
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            quit_ = true;
            help_hidden_.notify_all();
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) add_key_event({KeyEvent::Kind::ReleaseAll, 0, {}, 0});
        else present_due_ = true;  // resized, exposed, restored: show the picture again
        break;
    case SDL_TEXTINPUT: {
        // The text belongs to the key pressed just before it (SDL sends the key
        // first); a desktop repeat's or a window key's text is dropped.
        const TextOwner owner = text_owner_;
        text_owner_ = TextOwner::None;
        if (owner == TextOwner::Swallow) break;
        bool first = owner == TextOwner::Key;
        for (const char* p = e.text.text; *p; ++p) {
            auto c = static_cast<unsigned char>(*p);
            if (c < 32 || c > 126) continue;
            add_key_event({KeyEvent::Kind::Press, first ? text_key_ : KeyRepeat::kNoRepeat,
                           std::string(1, static_cast<char>(c)), 0});
            first = false;
        }
        break;
    }
    case SDL_KEYDOWN: handle_key_down(e); break;
    case SDL_KEYUP: add_key_event({KeyEvent::Kind::Release, key_id(e.key.keysym.scancode), {}, 0}); break;
    default: break;
    }
}

void SdlPlatform::handle_key_down(const SDL_Event& e) {
    const SDL_Scancode sc = e.key.keysym.scancode;
    const Uint16 mod = e.key.keysym.mod;
    text_owner_ = TextOwner::Swallow;
    // The desktop's own repeats are ignored: the window repeats keys itself.
    if (e.key.repeat) return;
    if ((mod & KMOD_ALT) && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER)) {
        toggle_fullscreen();
    } else if (sc == SDL_SCANCODE_F11) {
        aspect_4_3_ = !aspect_4_3_;
        present_due_ = true;
    } else if (sc == SDL_SCANCODE_F12) {
        take_screenshot();
    } else if (int step = speed_key(e.key.keysym.sym, mod)) {
        change_speed(step > 0);
    } else if (sc == SDL_SCANCODE_F1) {
        toggle_help();
    } else if (help_shown_.load(std::memory_order_relaxed)) {
        // The help shows: the key is dropped, and its text with it.
    } else if (std::string key = key_text_for(physical_key(sc), (mod & KMOD_NUM) != 0); !key.empty()) {
        add_key_event({KeyEvent::Kind::Press, key_id(sc), std::move(key), 0});
    } else {
        text_owner_ = TextOwner::Key;
        text_key_ = key_id(sc);
    }
}

void SdlPlatform::toggle_help() {
    const bool show = !help_shown_.load(std::memory_order_relaxed);
    // A key held when the help comes up stops repeating.
    if (show) add_key_event({KeyEvent::Kind::ReleaseAll, 0, {}, 0});
    {
        std::lock_guard<std::mutex> lock(mutex_);
        help_shown_.store(show, std::memory_order_release);
    }
    if (!show) help_hidden_.notify_all();
    present_due_ = true;
}

void SdlPlatform::change_speed(bool faster) {
    const double now_speed = speed_.load();
    speed_.store(faster ? faster_speed(now_speed) : slower_speed(now_speed));
    show_note("speed " + speed_text(speed_.load()) + (speed_.load() > 0 ? " passes/s" : ""), kTitleSeconds);
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
        show_note("screenshot saved as " + (ec ? path : full.lexically_normal().string()), kScreenshotTitleSeconds);
    } catch (const PngError& err) {
        // A failed screenshot must not end the game; say so and go on.
        std::fprintf(stderr, "tlvx: %s\n", err.what());
        show_note(err.what(), kScreenshotTitleSeconds);
    }
}

}  // namespace tlvx
