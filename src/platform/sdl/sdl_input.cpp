// The window thread's events: keys become the game's key texts (sdl_keys.hpp)
// or the window's own keys, which never reach the game.
#include <SDL.h>

#include <string>
#include <utility>

#include "input/key_names.hpp"
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
    show_note("speed " + speed_text(speed_.load()) + (speed_.load() > 0 ? " passes/s" : ""),
              window_clock::kTitleSeconds);
}

}  // namespace tlvx
