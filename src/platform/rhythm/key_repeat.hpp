#pragma once
// Key repeat made by the window itself, at the rhythm of a PC keyboard's
// default (half a second before the first repeat, then about eleven a second),
// whatever the desktop's own repeat setting. Only the key pressed last
// repeats, and never while its previous press or repeat still waits in the
// game's key queue: however slow the passes, a held key never runs ahead of the
// game, and the character stops at most one step after the key is let go.
// Every separate press is queued exactly once.
//
// Pure logic on clock readings, free of any window system, so it can be tested
// with made-up times.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/screen_types.hpp"

namespace tlvx {

struct KeyEvent {
    enum class Kind { Press, Release, ReleaseAll };
    Kind kind = Kind::Press;
    int id = 0;        // the physical key; kNoRepeat for a text that must not repeat
    std::string text;  // Press: the game's key text
    double time = 0;   // seconds, the clock of `deliver`'s `now`
};

class KeyRepeat {
public:
    static constexpr int kNoRepeat = -1;
    static constexpr double kDelay = 0.5;
    static constexpr double kInterval = 1.0 / 11.0;

    explicit KeyRepeat(double delay = kDelay, double interval = kInterval) : delay_(delay), interval_(interval) {}

    // Called by each key poll with the key queue as the game left it, which
    // only this class fills: takes note of the keys the game took since the
    // last call, applies `events` in order (a press is queued at once) and
    // queues the held key's repeats due by `now`.
    void deliver(const std::vector<KeyEvent>& events, double now, KeyQueue& keys);
    // True while a key is held and repeats.
    bool holding() const { return held_; }

private:
    void push(KeyQueue& keys, const std::string& text);
    void repeat_until(double t, KeyQueue& keys);
    bool waiting(uint64_t serial) const;

    double delay_, interval_;
    std::deque<uint64_t> waiting_;  // serials of the keys in the queue, oldest first
    size_t left_ = 0;               // the queue's length when the last call returned
    uint64_t serial_ = 0;

    bool held_ = false;
    int held_id_ = 0;
    std::string held_text_;
    double next_repeat_ = 0;
    uint64_t held_serial_ = 0;  // serial of the held key's newest press or repeat
};

}  // namespace tlvx
