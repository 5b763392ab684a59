#pragma once
// Gamepads as a key source, the same for the window and the page: which
// control presses which row of the key table (kPadRows), and the reading of
// a pad's state into key presses and releases (PadKeys), with the sticks'
// dead zone. A pad press becomes the game's own key text and goes through
// the same queue and the same key repeat as the keyboard's, so a session
// played with a pad is a key session like any other. Each backend first
// names its pad's controls as PadControl (a pad of the common layout: four
// face buttons, two shoulders, two triggers, two sticks, a d-pad, Back and
// Start).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/key_table.hpp"

namespace tlvx {

enum class PadControl {
    A,  // the face buttons by their place: A below, B right, X left, Y above
    B,
    X,
    Y,
    Back,
    Start,
    LeftStickPress,
    RightStickPress,
    LeftShoulder,
    RightShoulder,
    LeftTrigger,  // a trigger is pressed when pulled past half way
    RightTrigger,
    DpadUp,
    DpadDown,
    DpadLeft,
    DpadRight,
    LeftStickUp,  // a stick pushed out of its dead zone counts as one direction held
    LeftStickDown,
    LeftStickLeft,
    LeftStickRight,
    RightStickUp,
    RightStickDown,
    RightStickLeft,
    RightStickRight,
};
constexpr int kPadControls = static_cast<int>(PadControl::RightStickRight) + 1;

// How a control presses its key.
enum class PadPress {
    Held,  // a key held for as long as the control is: it repeats as a held key does
    Once,  // the key once a press, never repeated (pause, a toggle)
    Hold,  // the key once the control has been held kPadHoldSeconds; a shorter press does nothing
};
constexpr double kPadHoldSeconds = 1.0;

struct PadRow {
    PadControl control;
    KeyName key;  // the game's row it presses
    PadPress press;
};

// The mapping; the KeySource::Pad rows of the key table describe it for the player.
inline constexpr PadRow kPadRows[] = {
    {PadControl::DpadUp, KeyName::StepUp, PadPress::Held},
    {PadControl::DpadRight, KeyName::StepRight, PadPress::Held},
    {PadControl::DpadDown, KeyName::StepDown, PadPress::Held},
    {PadControl::DpadLeft, KeyName::StepLeft, PadPress::Held},
    {PadControl::LeftStickUp, KeyName::StepUp, PadPress::Held},
    {PadControl::LeftStickRight, KeyName::StepRight, PadPress::Held},
    {PadControl::LeftStickDown, KeyName::StepDown, PadPress::Held},
    {PadControl::LeftStickLeft, KeyName::StepLeft, PadPress::Held},
    {PadControl::RightStickUp, KeyName::FaceUp, PadPress::Once},
    {PadControl::RightStickRight, KeyName::FaceRight, PadPress::Once},
    {PadControl::RightStickDown, KeyName::FaceDown, PadPress::Once},
    {PadControl::RightStickLeft, KeyName::FaceLeft, PadPress::Once},
    {PadControl::A, KeyName::GroundUp, PadPress::Held},
    {PadControl::B, KeyName::GroundDown, PadPress::Held},
    {PadControl::RightTrigger, KeyName::GroundUp16, PadPress::Held},
    {PadControl::LeftTrigger, KeyName::GroundDown16, PadPress::Held},
    {PadControl::X, KeyName::StructureUp, PadPress::Held},
    {PadControl::Y, KeyName::StructureDown, PadPress::Held},
    {PadControl::RightShoulder, KeyName::CreatureUp, PadPress::Held},
    {PadControl::LeftShoulder, KeyName::CreatureDown, PadPress::Held},
    {PadControl::Start, KeyName::Pause, PadPress::Once},
    {PadControl::LeftStickPress, KeyName::RoadFollowing, PadPress::Once},
    {PadControl::Back, KeyName::Quit, PadPress::Hold},
};

// The row of `control`, or nullptr for a control that presses nothing.
const PadRow* pad_row(PadControl control);
// The key text a pad row gives the game: one that the named row answers and
// no row of another meaning (a face row gets "Y", not the arrow, which steps).
std::string_view pad_key_text(const PadRow& row);
// The key id of `control` on pad number `pad`, in the gamepads' range.
int pad_key_id(int pad, PadControl control);

// A pad's state as its backend reads it: the buttons and the d-pad held (a
// bit for each control from A to DpadRight, 1 << PadControl), the triggers
// from 0 (let go) to 1, the sticks from -1 to 1 on each axis, y growing
// downwards.
struct PadReading {
    uint32_t buttons = 0;
    float left_trigger = 0, right_trigger = 0;
    float left_x = 0, left_y = 0, right_x = 0, right_y = 0;
    bool held(PadControl c) const { return (buttons >> static_cast<int>(c)) & 1u; }
    void set(PadControl c, bool on);
};

// A stick or a trigger is pressed once pushed past kPadPressed of its way,
// and let go once back under kPadReleased: a stick resting near the edge of
// its dead zone does not step again and again.
constexpr float kPadPressed = 0.5f;
constexpr float kPadReleased = 0.35f;

// What the game's key queue is to get from a pad: a press of `text` (which
// repeats while held when `repeats`), or the release of the key `id`.
struct PadKey {
    bool press = true;
    int id = 0;
    std::string text;
    bool repeats = false;
};

// The pads' controls held so far, and what changed with each new reading.
class PadKeys {
public:
    // Takes pad `pad`'s reading at `now` (seconds) and appends the presses
    // and releases since its last one to `out`; held controls of the Hold
    // kind press their key once held long enough, so a pad is read again
    // while its controls are held, even if nothing changes.
    void read(int pad, const PadReading& reading, double now, std::vector<PadKey>& out);
    // The pad is gone: its held keys are let go.
    void forget(int pad, std::vector<PadKey>& out);

private:
    struct Pad {
        int number = 0;
        std::array<bool, kPadControls> held{};
        std::array<double, kPadControls> since{};  // when each held control was pressed
        std::array<bool, kPadControls> fired{};    // a Hold control has pressed its key
    };
    Pad& pad(int number);
    std::vector<Pad> pads_;
};

}  // namespace tlvx
