// The window thread's events: keys become the game's key texts (sdl_keys.hpp)
// or the window's own keys, which never reach the game; a game controller's
// controls become the game's key texts through the pads' table (input/pad.hpp).
#include <SDL.h>

#include <algorithm>
#include <string>
#include <utility>

#include "input/key_names.hpp"
#include "input/key_table.hpp"
#include "platform/rhythm/pass_pacer.hpp"
#include "platform/sdl/sdl_keys.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "platform/sdl/window_clock.hpp"

namespace tlvx {

using window_clock::monotonic_seconds;

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
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION: handle_pad_event(e); break;
    default: break;
    }
}

void SdlPlatform::handle_pad_event(const SDL_Event& e) {
    if (e.type == SDL_CONTROLLERDEVICEADDED) {
        // `which` is the device's index here, its instance id in every other event.
        SDL_GameController* c = SDL_GameControllerOpen(e.cdevice.which);
        if (!c) return;
        const int instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c));
        for (const Pad& p : pads_)
            if (p.instance == instance) {
                SDL_GameControllerClose(c);  // open already: SDL counts the opens
                return;
            }
        // What is held already when the controller comes (a button held
        // while it is plugged in) counts as pressed now.
        Pad pad{c, instance, {}};
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b)
            if (PadControl control; pad_control(static_cast<SDL_GameControllerButton>(b), control))
                pad.reading.set(control, SDL_GameControllerGetButton(c, static_cast<SDL_GameControllerButton>(b)) != 0);
        for (int a = 0; a < SDL_CONTROLLER_AXIS_MAX; ++a)
            set_pad_axis(pad.reading, static_cast<SDL_GameControllerAxis>(a),
                         SDL_GameControllerGetAxis(c, static_cast<SDL_GameControllerAxis>(a)));
        pads_.push_back(pad);
        read_pads();
        return;
    }
    const int which = e.type == SDL_CONTROLLERAXISMOTION      ? e.caxis.which
                      : e.type == SDL_CONTROLLERDEVICEREMOVED ? e.cdevice.which
                                                              : e.cbutton.which;
    const auto pad = std::find_if(pads_.begin(), pads_.end(), [&](const Pad& p) { return p.instance == which; });
    if (pad == pads_.end()) return;
    if (e.type == SDL_CONTROLLERDEVICEREMOVED) {
        std::vector<PadKey> keys;
        pad_keys_.forget(pad->instance, keys);
        for (const PadKey& k : keys) add_key_event({KeyEvent::Kind::Release, k.id, {}, 0});
        SDL_GameControllerClose(pad->controller);
        pads_.erase(pad);
        return;
    }
    if (e.type == SDL_CONTROLLERAXISMOTION) {
        set_pad_axis(pad->reading, static_cast<SDL_GameControllerAxis>(e.caxis.axis), e.caxis.value);
    } else if (PadControl c; pad_control(static_cast<SDL_GameControllerButton>(e.cbutton.button), c)) {
        pad->reading.set(c, e.type == SDL_CONTROLLERBUTTONDOWN);
    }
    // Each change is read at once, so that a press shorter than the window
    // thread's sleep still counts.
    read_pads();
}

// The pads' presses and releases since the last look; a control held long
// enough presses its key even when nothing changed. While the key help shows,
// presses are dropped, as keys are.
void SdlPlatform::read_pads() {
    std::vector<PadKey> keys;
    const double now = monotonic_seconds();
    for (const Pad& p : pads_) pad_keys_.read(p.instance, p.reading, now, keys);
    for (PadKey& k : keys) {
        if (!k.press) add_key_event({KeyEvent::Kind::Release, k.id, {}, 0});
        else if (!help_shown_.load(std::memory_order_relaxed))
            add_key_event({KeyEvent::Kind::Press, k.repeats ? k.id : KeyRepeat::kNoRepeat, std::move(k.text), 0});
    }
}

void SdlPlatform::handle_key_down(const SDL_Event& e) {
    const SDL_Scancode sc = e.key.keysym.scancode;
    const Uint16 mod = e.key.keysym.mod;
    text_owner_ = TextOwner::Swallow;
    // The desktop's own repeats are ignored: the window repeats keys itself.
    if (e.key.repeat) return;
    if (const KeyRow* own = window_row(physical_key(sc), (mod & KMOD_ALT) != 0)) {
        window_key(own->name);
    } else if (int step = speed_key(e.key.keysym.sym, mod)) {
        change_speed(step > 0);
    } else if (help_shown_.load(std::memory_order_relaxed)) {
        // The help shows: the key is dropped, and its text with it.
    } else if (std::string key = key_text_for(physical_key(sc), (mod & KMOD_NUM) != 0); !key.empty()) {
        add_key_event({KeyEvent::Kind::Press, key_id(sc), std::move(key), 0});
    } else {
        text_owner_ = TextOwner::Key;
        text_key_ = key_id(sc);
    }
}

// The window's own keys of the key table (the rows with a chord).
void SdlPlatform::window_key(KeyName name) {
    switch (name) {
    case KeyName::WindowHelp: toggle_help(); break;
    case KeyName::WindowFullscreen: toggle_fullscreen(); break;
    case KeyName::WindowAspect:
        aspect_4_3_ = !aspect_4_3_;
        present_due_ = true;
        break;
    case KeyName::WindowScreenshot: take_screenshot(); break;
    default: break;
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
    show_note("speed " + speed_text(speed_.load()) + (speed_.load() > 0 ? " passes/s" : ""),
              window_clock::kTitleSeconds);
}

}  // namespace tlvx
