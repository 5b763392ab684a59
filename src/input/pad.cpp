#include "input/pad.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tlvx {

namespace {

constexpr int index(PadControl c) { return static_cast<int>(c); }
constexpr PadControl control(int i) { return static_cast<PadControl>(i); }

// Up, down, left, right from the stick's first control; -1 for none. The
// direction held stays while the stick is still pushed past kPadReleased
// along it and that is still its larger axis; else the larger axis counts
// once pushed past kPadPressed.
int stick_direction(float x, float y, int current) {
    const float along[4] = {-y, y, -x, x};
    if (current >= 0 && along[current] >= kPadReleased && along[current] >= std::fabs(current < 2 ? x : y))
        return current;
    if (std::max(std::fabs(x), std::fabs(y)) < kPadPressed) return -1;
    if (std::fabs(x) > std::fabs(y)) return x > 0 ? 3 : 2;
    return y > 0 ? 1 : 0;
}

bool trigger_held(float value, bool held) { return value >= (held ? kPadReleased : kPadPressed); }

}  // namespace

const PadRow* pad_row(PadControl c) {
    const auto* row =
        std::find_if(std::begin(kPadRows), std::end(kPadRows), [&](const PadRow& r) { return r.control == c; });
    return row == std::end(kPadRows) ? nullptr : row;
}

std::string_view pad_key_text(const PadRow& row) {
    // A row tested by its set (" Y y 8 ") answers each word of it; the set's
    // first word is the one no other row shares.
    const KeyRow& key = key_row(row.key);
    if (key.set.empty()) return key.texts[0];
    const std::string_view set = key.set.substr(key.set.find_first_not_of(' '));
    return set.substr(0, set.find(' '));
}

int pad_key_id(int pad, PadControl c) {
    constexpr int pads = kPadKeyIds.count / kPadControls;
    return kPadKeyIds.id(((pad % pads + pads) % pads) * kPadControls + index(c));
}

void PadReading::set(PadControl c, bool on) {
    const uint32_t bit = 1u << index(c);
    buttons = on ? buttons | bit : buttons & ~bit;
}

PadKeys::Pad& PadKeys::pad(int number) {
    for (Pad& p : pads_)
        if (p.number == number) return p;
    pads_.push_back({});
    pads_.back().number = number;
    return pads_.back();
}

void PadKeys::read(int number, const PadReading& r, double now, std::vector<PadKey>& out) {
    Pad& p = pad(number);
    std::array<bool, kPadControls> held{};
    for (int i = index(PadControl::A); i <= index(PadControl::DpadRight); ++i) held[i] = r.held(control(i));
    held[index(PadControl::LeftTrigger)] |= trigger_held(r.left_trigger, p.held[index(PadControl::LeftTrigger)]);
    held[index(PadControl::RightTrigger)] |= trigger_held(r.right_trigger, p.held[index(PadControl::RightTrigger)]);
    const auto stick = [&](PadControl first, float x, float y) {
        int current = -1;
        for (int d = 0; d < 4; ++d)
            if (p.held[index(first) + d]) current = d;
        const int d = stick_direction(x, y, current);
        if (d >= 0) held[index(first) + d] = true;
    };
    stick(PadControl::LeftStickUp, r.left_x, r.left_y);
    stick(PadControl::RightStickUp, r.right_x, r.right_y);

    for (int i = 0; i < kPadControls; ++i) {
        const PadRow* row = pad_row(control(i));
        const bool was = p.held[i];
        p.held[i] = held[i];
        if (!row) continue;
        const int id = pad_key_id(number, control(i));
        const std::string text(pad_key_text(*row));
        if (held[i] && !was) {
            p.since[i] = now;
            p.fired[i] = false;
            if (row->press != PadPress::Hold) out.push_back({true, id, text, row->press == PadPress::Held});
        } else if (held[i] && row->press == PadPress::Hold && !p.fired[i] && now - p.since[i] >= kPadHoldSeconds) {
            p.fired[i] = true;
            out.push_back({true, id, text, false});
        } else if (!held[i] && was && row->press == PadPress::Held) {
            out.push_back({false, id, {}, false});
        }
    }
}

void PadKeys::forget(int number, std::vector<PadKey>& out) {
    read(number, PadReading{}, 0, out);
    std::erase_if(pads_, [&](const Pad& p) { return p.number == number; });
}

}  // namespace tlvx
