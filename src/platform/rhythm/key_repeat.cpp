#include "platform/rhythm/key_repeat.hpp"

#include <algorithm>

namespace tlvx {

void KeyRepeat::deliver(const std::vector<KeyEvent>& events, double now, KeyQueue& keys) {
    // The game takes keys from the front of the queue only.
    for (size_t taken = left_ > keys.size() ? left_ - keys.size() : 0; taken > 0 && !waiting_.empty(); --taken)
        waiting_.pop_front();
    for (const KeyEvent& e : events) {
        repeat_until(e.time, keys);
        switch (e.kind) {
        case KeyEvent::Kind::Press:
            push(keys, e.text);
            held_ = e.id != kNoRepeat;
            held_id_ = e.id;
            held_text_ = e.text;
            held_serial_ = serial_;
            next_repeat_ = e.time + delay_;
            break;
        case KeyEvent::Kind::Release:
            if (held_ && held_id_ == e.id) held_ = false;
            break;
        case KeyEvent::Kind::ReleaseAll: held_ = false; break;
        }
    }
    repeat_until(now, keys);
    left_ = keys.size();
}

void KeyRepeat::push(KeyQueue& keys, const std::string& text) {
    // A full queue drops its oldest key; so does the record of it.
    if (keys.size() == KeyQueue::kMax && !waiting_.empty()) waiting_.pop_front();
    keys.push(text);
    waiting_.push_back(++serial_);
}

bool KeyRepeat::waiting(uint64_t serial) const {
    return std::find(waiting_.begin(), waiting_.end(), serial) != waiting_.end();
}

void KeyRepeat::repeat_until(double t, KeyQueue& keys) {
    if (!held_ || t < next_repeat_) return;
    // One repeat at most, however many beats of the rhythm have passed; none
    // while the last one still waits (that beat is skipped).
    if (!waiting(held_serial_)) {
        push(keys, held_text_);
        held_serial_ = serial_;
    }
    while (next_repeat_ <= t) next_repeat_ += interval_;
}

}  // namespace tlvx
