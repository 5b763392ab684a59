#include "platform/web/web_platform.hpp"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "base/key_codes.hpp"
#include "input/key_names.hpp"
#include "input/touch_table.hpp"

// The page's side of the platform (share/web/index.html).
// clang-format off
EM_JS(void, tlvx_js_present, (const uint8_t* rgba, int bytes), {
    tlvxPage.present(HEAPU8.slice(rgba, rgba + bytes));
});
EM_JS(int, tlvx_js_take_speed_step, (), { return tlvxPage.takeSpeedStep(); });
EM_JS(void, tlvx_js_show_speed, (double speed), { tlvxPage.showSpeed(speed); });
EM_JS(void, tlvx_js_paused, (int paused), { tlvxPage.paused(paused !== 0); });
EM_JS(int, tlvx_js_quit_asked, (), { return tlvxPage.quitAsked() ? 1 : 0; });
EM_JS(int, tlvx_js_held, (), { return tlvxPage.held() ? 1 : 0; });
// The page keeps the platform's address for its controls' calls of tlvx_touch_key, as the
// browser's event registry keeps it for the key callbacks.
EM_JS(void, tlvx_js_touch_target, (void* platform), { tlvxPage.touchTarget = platform; });
EM_JS(void, tlvx_js_pad_used, (), { tlvxPage.padUsed(); });
// The first `pads` gamepads of navigator.getGamepads(), `1 + 2 * buttons + axes`
// numbers each: connected (1 or 0), each button pressed (1 or 0), each
// button's value (0 to 1), each axis (-1 to 1); 0 for what a pad lacks, so
// that a pad with more buttons or axes than asked for writes no further.
// Returns how many pads' slots it filled.
EM_JS(int, tlvx_js_read_pads, (double* out, int pads, int buttons, int axes), {
    const got = navigator.getGamepads ? navigator.getGamepads() : [];
    const per = 1 + 2 * buttons + axes;
    const n = Math.min(got ? got.length : 0, pads);
    const to = out / 8;
    HEAPF64.fill(0, to, to + n * per);
    for (let i = 0; i < n; ++i) {
        const p = got[i], at = to + i * per;
        if (!p || !p.connected) continue;
        HEAPF64[at] = 1;
        for (let b = 0; b < Math.min(buttons, p.buttons.length); ++b) {
            const button = p.buttons[b];
            const object = typeof button === "object";
            HEAPF64[at + 1 + b] = (object ? button.pressed : button === 1) ? 1 : 0;
            HEAPF64[at + 1 + buttons + b] = Number(object ? button.value : button) || 0;
        }
        for (let a = 0; a < Math.min(axes, p.axes.length); ++a)
            HEAPF64[at + 1 + 2 * buttons + a] = Number(p.axes[a]) || 0;
    }
    return n;
});
// clang-format on

namespace tlvx {

namespace {

// At full speed, and in the pause, the picture goes to the canvas about 60
// times a second, and the browser gets its turn as often.
constexpr double kPresentInterval = 1.0 / 60.0;
// A browser's sleep lasts a few milliseconds at the least (its timers are
// held to 4 ms once they follow each other). At high speeds a pass due sooner
// runs at once, and the passes after it keep the rhythm on average: they run
// a little early until the next one is due far enough ahead to sleep for.
constexpr double kShortestSleep = 0.004;
// Above 60 passes a second, passes that the browser's turns held up are
// caught up on, up to this far behind (a busy machine's browser can take tens
// of milliseconds for a turn); slower speeds keep their rhythm as before.
constexpr double kCatchUp = 0.25;

// The page's key codes ("KeyA", "ArrowUp") hashed into the browser's range of key ids.
int key_id(const char* code) {
    const size_t n = std::hash<std::string>{}(code) % static_cast<size_t>(kBrowserKeyIds.count);
    return kBrowserKeyIds.id(static_cast<int>(n));
}

// The Gamepad API's standard layout: the pad control of each button, by its index.
constexpr PadControl kStandardButtons[] = {
    PadControl::A,
    PadControl::B,
    PadControl::X,
    PadControl::Y,
    PadControl::LeftShoulder,
    PadControl::RightShoulder,
    PadControl::LeftTrigger,
    PadControl::RightTrigger,
    PadControl::Back,
    PadControl::Start,
    PadControl::LeftStickPress,
    PadControl::RightStickPress,
    PadControl::DpadUp,
    PadControl::DpadDown,
    PadControl::DpadLeft,
    PadControl::DpadRight,
};
constexpr int kPadButtons = static_cast<int>(std::size(kStandardButtons));
constexpr int kPadAxes = 4;  // the two sticks, x and y each
constexpr int kPadsRead = 8;
constexpr int kPadValues = 1 + 2 * kPadButtons + kPadAxes;
// The pads are looked at no more often than this (a pass at full speed takes far less).
constexpr double kPadInterval = 0.004;

EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* e, void* user) {
    return static_cast<WebPlatform*>(user)->key_down(e->code, e->key, e->ctrlKey, e->altKey, e->shiftKey, e->metaKey,
                                                     e->repeat)
               ? EM_TRUE
               : EM_FALSE;
}

EM_BOOL on_key_up(int, const EmscriptenKeyboardEvent* e, void* user) {
    static_cast<WebPlatform*>(user)->key_up(e->code);
    return EM_FALSE;
}

EM_BOOL on_blur(int, const EmscriptenFocusEvent*, void* user) {
    static_cast<WebPlatform*>(user)->release_all();
    return EM_FALSE;
}

}  // namespace

// A press (`down` 1) or release of on-screen control `n`, called by the page for the platform
// it was given.
extern "C" EMSCRIPTEN_KEEPALIVE void tlvx_touch_key(void* platform, int n, int down) {
    if (platform) static_cast<WebPlatform*>(platform)->touch_key(n, down != 0);
}

void screen_rgba(const Screen& screen, std::vector<uint8_t>& out) {
    out.resize(screen.pixels.size() * 4);
    for (size_t i = 0; i < screen.pixels.size(); ++i) {
        const Rgb& c = screen.palette[screen.pixels[i]];
        out[4 * i] = c.r;
        out[4 * i + 1] = c.g;
        out[4 * i + 2] = c.b;
        out[4 * i + 3] = 255;
    }
}

WebPlatform::WebPlatform(double speed) : pacer_(speed) {
    pacer_.set_catch_up(pacer_.speed() > 60 ? kCatchUp : 0);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_TRUE, on_key_down);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_TRUE, on_key_up);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_TRUE, on_blur);
    tlvx_js_show_speed(pacer_.speed());
    tlvx_js_touch_target(this);
}

WebPlatform::~WebPlatform() {
    tlvx_js_touch_target(nullptr);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, nullptr);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, nullptr);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
}

void WebPlatform::open_screen() {
    open_ = true;
    last_present_ = -1;
    events_.clear();
}

void WebPlatform::close_screen() {
    open_ = false;
    screen_ = nullptr;
}

bool WebPlatform::key_down(const char* code, const char* key, bool ctrl, bool alt, bool shift, bool meta, bool repeat) {
    const BrowserKey k = browser_key_down(code, key, ctrl, alt, shift, meta);
    // The browser's own repeats are ignored: the platform repeats keys itself.
    if (repeat || !open_) return k.keep;
    if (k.speed_step != 0) change_speed(k.speed_step > 0 ? faster_speed(pacer_.speed()) : slower_speed(pacer_.speed()));
    else if (!k.text.empty()) events_.push_back({KeyEvent::Kind::Press, key_id(code), k.text, time()});
    return k.keep;
}

void WebPlatform::key_up(const char* code) {
    if (open_) events_.push_back({KeyEvent::Kind::Release, key_id(code), {}, time()});
}

void WebPlatform::touch_key(int n, bool down) {
    const std::optional<TouchKey> k = tlvx::touch_key(n);
    if (!k || !open_) return;
    if (down) events_.push_back({KeyEvent::Kind::Press, k->id, std::string(k->text), time()});
    else events_.push_back({KeyEvent::Kind::Release, k->id, {}, time()});
}

void WebPlatform::release_all() {
    if (open_) events_.push_back({KeyEvent::Kind::ReleaseAll, 0, {}, time()});
}

void WebPlatform::change_speed(double speed) {
    pacer_.set_speed(speed);
    pacer_.set_catch_up(pacer_.speed() > 60 ? kCatchUp : 0);
    tlvx_js_show_speed(pacer_.speed());
}

void WebPlatform::present(const Screen& screen) {
    screen_rgba(screen, rgba_);
    tlvx_js_present(rgba_.data(), static_cast<int>(rgba_.size()));
    last_present_ = time();
}

void WebPlatform::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    screen_ = &screen;
    if (paused != paused_) {
        paused_ = paused;
        tlvx_js_paused(paused ? 1 : 0);
    }
    if (paused && keys.empty() && events_.empty() && !quit_requested()) {
        // The pause polls again and again: the browser gets its turn between
        // them, also while a key is held, or its release could never come in
        // and the held key's repeat would end the pause.
        if (between_passes) between_passes();
        take_speed_steps();
        if (time() - last_present_ >= kPresentInterval) present(screen);
        emscripten_sleep(repeat_.holding() ? 5 : 20);
    }
    read_pads();
    std::vector<KeyEvent> events;
    events.swap(events_);
    const double now = time();
    repeat_.deliver(events, now, keys);
    if (last_present_ < 0) present(screen);
}

void WebPlatform::read_pads() {
    const double now = time();
    if (now - last_pad_read_ < kPadInterval && last_pad_read_ >= 0) return;
    last_pad_read_ = now;
    std::array<double, kPadsRead * kPadValues> values{};
    const int pads = tlvx_js_read_pads(values.data(), kPadsRead, kPadButtons, kPadAxes);
    std::vector<PadKey> keys;
    for (int i = 0; i < pads; ++i) {
        const double* v = &values[static_cast<size_t>(i) * kPadValues];
        if (v[0] == 0) {
            pad_keys_.forget(i, keys);
            continue;
        }
        // A pad of another layout than the standard one is read as if it had
        // it: its first buttons and axes are the face buttons and the sticks
        // on most pads.
        const double* pressed = v + 1;
        const double* analog = pressed + kPadButtons;
        const double* axis = analog + kPadButtons;
        PadReading r;
        for (int b = 0; b < kPadButtons; ++b) r.set(kStandardButtons[b], pressed[b] != 0);
        r.left_trigger = static_cast<float>(analog[6]);
        r.right_trigger = static_cast<float>(analog[7]);
        float* const axes[kPadAxes] = {&r.left_x, &r.left_y, &r.right_x, &r.right_y};
        for (int a = 0; a < kPadAxes; ++a) *axes[a] = static_cast<float>(axis[a]);
        pad_keys_.read(i, r, now, keys);
    }
    bool pressed = false;
    for (PadKey& k : keys) {
        if (!k.press) {
            events_.push_back({KeyEvent::Kind::Release, k.id, {}, now});
            continue;
        }
        pressed = true;
        if (open_) events_.push_back({KeyEvent::Kind::Press, k.repeats ? k.id : KeyRepeat::kNoRepeat, k.text, now});
    }
    // The page hides its on-screen controls once a pad is used.
    if (pressed) tlvx_js_pad_used();
}

double WebPlatform::time() { return emscripten_get_now() / 1000.0; }

// Every click of the page's speed buttons counts, however many came in
// since the last look.
void WebPlatform::take_speed_steps() {
    const int steps = tlvx_js_take_speed_step();
    double speed = pacer_.speed();
    for (int i = 0; i < steps; ++i) speed = faster_speed(speed);
    for (int i = 0; i > steps; --i) speed = slower_speed(speed);
    if (steps != 0) change_speed(speed);
}

void WebPlatform::wait_while_held() {
    while (tlvx_js_held() && !quit_requested()) {
        if (between_passes) between_passes();
        take_speed_steps();
        if (screen_) present(*screen_);
        emscripten_sleep(20);
    }
}

void WebPlatform::begin_pass(int64_t) {
    if (between_passes) between_passes();
    take_speed_steps();
    wait_while_held();
    const double now = time();
    if (pacer_.speed() == 0) {
        if (now - last_yield_ < kPresentInterval) return;
        if (screen_) present(*screen_);
        last_yield_ = now;
        emscripten_sleep(0);
        return;
    }
    // Above 60 passes a second, several passes run in a browser turn: a pass
    // due within the shortest sleep runs at once, and the browser gets its
    // turn (and a picture) about 60 times a second, or when a pass is due later.
    const bool fast = pacer_.speed() > 60;
    const double start = pacer_.start_time(now);
    const bool soon = fast && start - now < kShortestSleep;
    if (soon && now - last_yield_ < kPresentInterval) return;
    // The picture of the pass that just ended shows while this one waits.
    if (screen_ && (!fast || now - last_present_ >= kPresentInterval)) present(*screen_);
    emscripten_sleep(soon ? 0 : static_cast<unsigned>(std::max(0.0, (start - now) * 1000.0)));
    last_yield_ = time();
}

void WebPlatform::idle(double seconds) {
    if (screen_ && time() - last_present_ >= kPresentInterval) present(*screen_);
    emscripten_sleep(static_cast<unsigned>(std::max(0.0, seconds * 1000.0)));
    last_yield_ = time();
}

bool WebPlatform::quit_requested() { return tlvx_js_quit_asked() != 0; }

}  // namespace tlvx
