#pragma once
// The platform with a real window (SDL2). Shows the screen letterboxed,
// turns keyboard and game controller events into the game's key texts
// (sdl_keys.hpp, input/pad.hpp) with a key repeat of its own, paces the passes, sounds the bell, and handles the
// window's own keys, which never reach the game:
//   Alt+Enter         fullscreen on/off
//   F11               4:3 aspect on/off (rows 1.2 times as tall)
//   F12               PNG screenshot into the screenshot directory
//   Ctrl+-, Ctrl++    slower, faster (the speed shows in the title for a while)
//   F1                the key help over the picture, until F1 again; the game
//                     is held meanwhile and no other key reaches it
// The title says when the game is paused, the status the program gives it
// (a playback's state), and for a while the speed or the last screenshot.
// Closing the window, losing the display, SIGINT and SIGTERM make
// quit_requested() true.
//
// Every SDL call runs on a window thread of its own, started by open_screen()
// and ended by close_screen(): it sleeps until the display or the game has
// something for it, and presents the frames the game hands over. The game's
// thread only waits in begin_pass, before a pass starts, to keep the chosen
// speed; a pass itself never waits.
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
#include "base/stop_signal.hpp"
#include "input/pad.hpp"
#include "platform/rhythm/key_repeat.hpp"
#include "platform/rhythm/pass_pacer.hpp"
#include "platform/sdl/x11_display.hpp"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;
typedef struct _SDL_GameController SDL_GameController;

namespace tlvx {

enum class KeyName;  // input/key_table.hpp

struct WindowSettings {
    double speed = kDefaultSpeed;  // passes a second; 0: back to back
    int scale = 0;                 // window size in multiples of 320x200; 0: the largest up to 3 that fits
    bool fullscreen = false;
    bool aspect_4_3 = false;
    std::string screenshot_dir = ".";  // where F12 writes its pictures
};

class SdlPlatform : public Platform {
public:
    // Catches SIGINT and SIGTERM (base/stop_signal.hpp) until destroyed.
    explicit SdlPlatform(WindowSettings settings = {});
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    void open_screen() override;
    void close_screen() override;
    void set_mouse(int x, int y, bool show) override;
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    // Shows the picture of the pass that just ended, then waits until the
    // next pass is due at the chosen speed.
    void begin_pass(int64_t pass) override;
    bool quit_requested() override;

    // A lasting word for the window title, such as a playback's state; ""
    // for none. Any thread.
    void set_status(std::string text);

    // True after the connection to the display broke. The window thread is
    // then stuck inside the X library, holding its lock; the program must end
    // with _Exit once the game is saved, since the X library's own clean-up at
    // exit would wait for that lock for ever.
    bool display_was_lost() const { return lost_.load(); }

    // For measuring: frames handed to the window so far, and the number and
    // time (time()'s clock) of the newest one presented.
    uint64_t frames_handed() const { return handed_serial_; }
    uint64_t frames_presented() const { return presented_serial_.load(std::memory_order_acquire); }
    double last_present_time() const { return presented_time_.load(std::memory_order_acquire); }
    double speed() const { return speed_.load(std::memory_order_relaxed); }
    // For measuring, from any thread: hands `e` to the window thread as if the
    // display had just sent it.
    void inject_event(const SDL_Event& e);

private:
    // A picture handed from the game to the window thread.
    struct Frame {
        std::array<uint8_t, kScreenW * kScreenH> pixels{};
        std::array<Rgb, 256> palette{};
        uint32_t bells = 0;
        uint64_t serial = 0;
    };
    struct MouseMove {
        int x = 0, y = 0;
        bool show = false;
    };

    // Game thread.
    void hand_over(const Screen& screen, double now);
    void wake_window();
    void hold_while_help();

    // The window thread.
    void window_main(std::promise<std::string> opened);
    std::string open_window();  // "" or what failed
    void close_window();
    void wait_for_work(int timeout_ms);
    void handle_event(const SDL_Event& e);
    void handle_key_down(const SDL_Event& e);
    void handle_pad_event(const SDL_Event& e);
    void read_pads();
    void add_key_event(KeyEvent ev);
    void present();
    void draw_picture(int out_w, int out_h);
    void move_mouse(const MouseMove& m);
    void toggle_fullscreen();
    void change_speed(bool faster);
    void update_title(double now);
    void show_note(std::string text, double seconds);
    void window_key(KeyName name);
    void toggle_help();
    void beep();
    void take_screenshot();
    void display_lost();
    static void on_display_lost(void* self);
    static void on_window_gone(void* self);

    StopSignals stop_signals_;
    WindowSettings settings_;
    std::thread thread_;

    // The game thread's own.
    double last_handover_ = 0.0;
    bool first_handover_ = true;
    const Screen* screen_ = nullptr;  // the game's screen, as the key poll last saw it
    PassPacer pacer_;
    KeyRepeat repeat_;
    std::atomic<uint64_t> handed_serial_{0};

    // Shared by the two threads, under mutex_ (the atomics without it).
    std::mutex mutex_;
    std::condition_variable keys_arrived_;
    bool stop_ = false;
    bool frame_waiting_ = false;
    Frame handed_;
    std::vector<KeyEvent> key_events_;
    std::vector<MouseMove> mouse_moves_;
    std::atomic<bool> keys_waiting_{false};
    std::atomic<bool> quit_{false};
    std::atomic<double> speed_{kDefaultSpeed};
    std::atomic<uint64_t> presented_serial_{0};
    std::atomic<double> presented_time_{0.0};
    int wake_fd_ = -1;               // an eventfd: the game thread wakes the sleeping window thread
    std::atomic<bool> lost_{false};  // the display connection broke
    // The key help shows: set by the window thread under mutex_, which then
    // wakes the game thread held in hold_while_help().
    std::atomic<bool> help_shown_{false};
    std::condition_variable help_hidden_;
    std::atomic<bool> game_paused_{false};  // the game's last poll came from its pause
    std::string status_;                    // set_status()

    // The window thread's own.
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Texture* sharp_ = nullptr;  // 4:3: the picture enlarged by a whole factor
    int sharp_k_ = 0;
    bool sdl_up_ = false;
    void* x_display_ = nullptr;  // the X connection, when the window is on X
    LostCall lost_call_;
    LostCall gone_call_;
    bool window_manager_ = true;
    bool fullscreen_ = false;
    int windowed_x_ = 0, windowed_y_ = 0, windowed_w_ = 0, windowed_h_ = 0;
    bool aspect_4_3_ = false;
    bool present_due_ = true;          // present the next frame even if it is unchanged
    Frame frame_;                      // the newest frame taken over
    Frame shown_;                      // the frame last presented
    std::array<uint32_t, 256> lut_{};  // palette index -> ARGB of shown_.palette
    bool lut_valid_ = false;
    std::string note_;        // a passing word for the title: the speed, a screenshot
    double title_until_ = 0;  // the note shows in the title until then
    std::string title_;       // the title on show
    uint32_t bells_heard_ = 0;
    bool audio_tried_ = false;
    uint32_t audio_device_ = 0;
    // The game controllers open, by their instance ids, and what their
    // controls hold (read_pads turns it into keys).
    struct Pad {
        SDL_GameController* controller = nullptr;
        int instance = 0;
        PadReading reading;
    };
    std::vector<Pad> pads_;
    PadKeys pad_keys_;
    // Which key the next text input belongs to.
    enum class TextOwner { None, Key, Swallow };
    TextOwner text_owner_ = TextOwner::None;
    int text_key_ = 0;
};

}  // namespace tlvx
