#pragma once
// The on-screen controls a touch screen gets on the page: each one is a row of
// the key table (its KeyName), so a touch sends the game the very key text a
// keyboard would, through the platform's key queue, and a touch session is a
// key session like any other. The page builds its controls from these rows
// (app/web_main.cpp hands them over), so labels and keys are written only here
// and in the key table.
#include <optional>
#include <string_view>

#include "input/key_table.hpp"

namespace tlvx {

// Where a control stands on the page: the direction pad, the turn pair, the
// editing keys, the toggles, and leaving the game.
enum class TouchGroup { Pad, Turn, Edit, Toggle, Leave };

struct TouchControl {
    std::string_view id;  // the page's name for it ("step-up"): its place in the layout
    KeyName key;
    TouchGroup group;
    std::string_view label;    // the glyph on it
    std::string_view caption;  // the small word under the glyph, if any
    std::string_view what;     // what it does, for screen readers and the tooltip
    // Held, it repeats as a held keyboard key does. A toggle never repeats:
    // a long press of pause would otherwise end the pause it began.
    bool repeats = true;
    // The page asks first ("save and leave") and only then sends the key.
    bool confirm = false;
};

// clang-format off
inline constexpr TouchControl kTouchControls[] = {
    {"step-up", KeyName::StepUp, TouchGroup::Pad, "\u25B2", "", "step up"},
    {"step-left", KeyName::StepLeft, TouchGroup::Pad, "\u25C0\uFE0E", "", "step left"},
    {"step-right", KeyName::StepRight, TouchGroup::Pad, "\u25B6\uFE0E", "", "step right"},
    {"step-down", KeyName::StepDown, TouchGroup::Pad, "\u25BC", "", "step down"},
    {"turn-left", KeyName::TurnLeft, TouchGroup::Turn, "\u21BA", "turn", "turn a quarter counter-clockwise"},
    {"turn-right", KeyName::TurnRight, TouchGroup::Turn, "\u21BB", "turn", "turn a quarter clockwise"},
    {"ground-down", KeyName::GroundDown, TouchGroup::Edit, "\u2212", "ground", "ground of the cell in front -1"},
    {"ground-up", KeyName::GroundUp, TouchGroup::Edit, "+", "ground", "ground of the cell in front +1"},
    {"creature-down", KeyName::CreatureDown, TouchGroup::Edit, "\u2212", "creature", "creature in front -1"},
    {"creature-up", KeyName::CreatureUp, TouchGroup::Edit, "+", "creature", "creature in front +1"},
    {"creature-clear", KeyName::CreatureClear, TouchGroup::Edit, "\u00D7", "creature", "clear the creature in front"},
    {"structure-down", KeyName::StructureDown, TouchGroup::Edit, "\u2212", "structure", "structure in front -1"},
    {"structure-up", KeyName::StructureUp, TouchGroup::Edit, "+", "structure", "structure in front +1"},
    {"structure-clear", KeyName::StructureClear, TouchGroup::Edit, "\u00D7", "structure",
     "clear the structure in front"},
    {"road", KeyName::RoadFollowing, TouchGroup::Toggle, "\u21DD", "road", "road-following on/off", false},
    {"status", KeyName::StatusPanel, TouchGroup::Toggle, "i", "panel", "status panel on/off", false},
    {"pause", KeyName::Pause, TouchGroup::Toggle, "\u275A\u275A", "pause", "pause until the next touch", false},
    {"leave", KeyName::Quit, TouchGroup::Leave, "\u23CF\uFE0E", "leave", "save the character and leave the game",
     false, true},
};
// clang-format on

// What a press of control `n` gives the game: the id of its key events (in
// kTouchKeyIds; -1 for a control that must not repeat) and its row's key text.
struct TouchKey {
    int id = 0;
    std::string_view text;
};
// Nothing for a number that names no control (the page's input is not trusted).
std::optional<TouchKey> touch_key(int n);

}  // namespace tlvx
