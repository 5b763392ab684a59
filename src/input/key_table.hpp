#pragma once
// The one table of keys (kKeyRows, below). Each row is one action: its name, who acts on it
// (the game, a recording's playback, the window or the page), the step of the
// pass that tests it, its key texts and its help for the player. The game's
// steps test their rows by name, each step in its own fixed order (the pass's
// order is shell/game.cpp's); F1's help, `tlvx --help`, the page's key list
// and the README's and the manual page's key tables all come from the rows'
// help, in the table's order (input/key_help.hpp).
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/key_codes.hpp"
#include "data/layer.hpp"
#include "input/key_names.hpp"

namespace tlvx {

enum class KeySource {
    Game,      // a key text the pass tests
    Playback,  // a key text a recording's playback answers (tlvx --play)
    Window,    // the window's own key, which never reaches the game
    Page,      // the browser page's own key, in place of the window's
    Pad,       // a gamepad's controls (input/pad.hpp), in the window and on the page
};

// The step of the pass that tests a game row (the table at the top of
// shell/game.cpp); None for the rows of the other sources.
enum class PassStep { None, DisplayToggles, EditingKeys, StepKeys, FacingKeys, RoadToggle, Quit, Pause };

enum class KeyName {
    StepUp,
    StepRight,
    StepDown,
    StepLeft,
    FaceUp,
    FaceRight,
    FaceDown,
    FaceLeft,
    FaceNowhere,
    TurnLeft,
    TurnRight,
    RoadFollowing,
    GroundUp,
    GroundDown,
    GroundUp16,
    GroundDown16,
    CreatureClear,
    CreatureUp,
    CreatureDown,
    StructureClear,
    StructureUp,
    StructureDown,
    StatusPanel,
    StoredSetting,
    Pause,
    Quit,
    PlaybackHold,
    PlaybackStop,
    PlaybackFaster,
    PlaybackSlower,
    WindowHelp,
    WindowFullscreen,
    WindowAspect,
    WindowScreenshot,
    WindowSpeed,
    WindowClose,
    PageHelp,
    PageFaster,
    PageSlower,
    PageFullscreen,
    PageBrowserKeys,
    PadWalk,
    PadGround,
    PadStructure,
    PadPause,
    PadQuit,
};

// What a row means to a player. A row with empty texts is described by the
// row before it (the README's "`+`, `-`" covers two rows).
struct KeyHelpText {
    std::string_view keys;  // key names in backticks, named keys plain, as in the README
    std::string_view what;
};
// The same for the help drawn over the 320x200 picture, in two columns: short.
struct KeyScreenText {
    std::string_view keys;
    std::string_view what;
};

// What an editing key does to the cell in front (input/editing.cpp): adds
// `delta` to the value of `layer` while the value is below `limit` (a rise)
// or above it (a fall); a delta of 0 clears a value above `limit` to 0.
struct KeyEdit {
    int32_t layer = 0;  // kGroundFile, kCreatureFile or kStructureFile; 0: no edit
    int32_t delta = 0;
    int32_t limit = 0;
};

// The key of a window row, by its place on the keyboard: `key` or `also`,
// with Alt held when `alt` (otherwise any modifiers).
struct WindowChord {
    PhysicalKey key = PhysicalKey::Other;
    PhysicalKey also = PhysicalKey::Other;
    bool alt = false;
};

struct KeyRow {
    KeyName name;
    KeySource source;
    PassStep step;
    // The row's key is pressed when CC$ (" " + KEY + " ") occurs in `set`
    // (" Y y 8 "), or when KEY is one of `texts` whole.
    std::string_view set;
    std::array<std::string_view, 3> texts;
    KeyHelpText help;
    KeyScreenText screen;
    KeyEdit edit;
    WindowChord chord;
};

// The rows are written with these short names and a maker that fills the
// fields a row leaves out.
namespace key_table_rows {

using K = KeyName;
using S = KeySource;
using P = PassStep;

// The README's, the manual page's and `--help`'s texts are the `help` pairs;
// the picture's two columns take the `screen` pairs (at most 19 characters a
// row with the keys' column: the help test checks the fit).
constexpr KeyRow row(KeyName name, KeySource source, PassStep step, std::string_view set,
                     std::array<std::string_view, 3> texts = {}, KeyHelpText help = {}, KeyScreenText screen = {},
                     KeyEdit edit = {}, WindowChord chord = {}) {
    return {name, source, step, set, texts, help, screen, edit, chord};
}

using PK = PhysicalKey;

// What F1 does, in the window and on the page.
constexpr std::string_view kHelpWhat =
    "the key table over the picture, until F1 again; the game is held meanwhile and no key reaches it";

// The table. A new key is a name in KeyName and a row here, at the same place.
inline constexpr KeyRow kKeyRows[] = {
    row(K::StepUp, S::Game, P::StepKeys, "", {"y", kKeyUp},
        {"`y` or Up, `h` or Right, `b` or Down, `g` or Left", "face that way and step one cell (if the cell is free)"},
        {"y h b g", "face, step"}),
    row(K::StepRight, S::Game, P::StepKeys, "", {"h", kKeyRight}),
    row(K::StepDown, S::Game, P::StepKeys, "", {"b", kKeyDown}),
    row(K::StepLeft, S::Game, P::StepKeys, "", {"g", kKeyLeft}),
    row(K::FaceUp, S::Game, P::FacingKeys, " Y y 8 ", {kKeyUp},
        {"`Y` `8`, `H` `6`, `B` `2`, `G` `4`", "face up, right, down, left without stepping"},
        {"Y H B G", "face only"}),
    row(K::FaceRight, S::Game, P::FacingKeys, " H h 6 ", {kKeyRight}),
    row(K::FaceDown, S::Game, P::FacingKeys, " B b 2 ", {kKeyDown}),
    row(K::FaceLeft, S::Game, P::FacingKeys, " G g 4 ", {kKeyLeft}),
    row(K::FaceNowhere, S::Game, P::FacingKeys, " 5 ", {},
        {"`5`", "face nowhere: the \"cell in front\" is then your own cell"}, {"5", "face none"}),
    row(K::TurnLeft, S::Game, P::FacingKeys, " 7 ", {}, {"`7`, `9`", "turn a quarter counter-clockwise, clockwise"},
        {"7 9", "turn L, R"}),
    row(K::TurnRight, S::Game, P::FacingKeys, " 9 "),
    row(K::RoadFollowing, S::Game, P::RoadToggle, "", {"."},
        {"`.`",
         "road-following on/off: the character walks along road cells by itself, preferring left, straight on, "
         "right, back"},
        {".", "road mode"}),
    // The editing keys, in the order the pass tests them.
    row(K::GroundUp, S::Game, P::EditingKeys, "", {"+"},
        {"`+`, `-`", "ground value of the cell in front +1 / -1 (kept within 1 to 64)"}, {"+ -", "ground +-1"},
        {kGroundFile, 1, 64}),
    row(K::GroundDown, S::Game, P::EditingKeys, "", {"-"}, {}, {}, {kGroundFile, -1, 1}),
    row(K::GroundUp16, S::Game, P::EditingKeys, "", {"f"}, {"`f`, `F`", "ground value +16 / -16"},
        {"f F", "ground+-16"}, {kGroundFile, 16, 48}),
    row(K::GroundDown16, S::Game, P::EditingKeys, "", {"F"}, {}, {}, {kGroundFile, -16, 17}),
    row(K::CreatureClear, S::Game, P::EditingKeys, "", {kKeyBackspace},
        {"`*`, `/`, Backspace", "creature value +1 / -1 / clear"}, {"BkSp", "creature 0"}, {kCreatureFile, 0, 0}),
    // kept: "*" or "]" on an empty cell makes value 1, the player's own picture in
    // the object table, so the first press puts a second figure of the player there.
    row(K::CreatureUp, S::Game, P::EditingKeys, "", {"*"}, {}, {"*", "creature+1"}, {kCreatureFile, 1, 255}),
    row(K::CreatureDown, S::Game, P::EditingKeys, "", {"/"}, {}, {"/", "creature-1"}, {kCreatureFile, -1, 0}),
    row(K::StructureClear, S::Game, P::EditingKeys, "", {"\\"}, {"`]`, `[`, `\\`", "structure value +1 / -1 / clear"},
        {"\\", "struct 0"}, {kStructureFile, 0, 0}),
    row(K::StructureUp, S::Game, P::EditingKeys, "", {"]"}, {}, {"]", "struct +1"}, {kStructureFile, 1, 255}),
    row(K::StructureDown, S::Game, P::EditingKeys, "", {"["}, {}, {"[", "struct -1"}, {kStructureFile, -1, 0}),
    row(K::StatusPanel, S::Game, P::DisplayToggles, "", {"i", "I"},
        {"`i`", "status panel redrawn or not (it also drives the shimmering water colours)"}, {"i", "panel"}),
    row(K::StoredSetting, S::Game, P::DisplayToggles, "", {"o", "O"},
        {"`o`", "cycles a stored setting 1, 2, 3, 4; it is kept in the save file and nothing else uses it"},
        {"o", "stored 1-4"}),
    row(K::Pause, S::Game, P::Pause, "", {"p", "P"}, {"`p`", "pause until any key (that key is swallowed)"},
        {"p", "pause"}),
    row(K::Quit, S::Game, P::Quit, "", {kKeyEscape}, {"Escape", "save the character and quit"},
        {"Escape", "save, quit"}),

    // A recording's playback takes the window's keys for itself; the manual
    // page describes them with --play.
    row(K::PlaybackHold, S::Playback, P::None, "", {" ", "p", "P"}),
    row(K::PlaybackStop, S::Playback, P::None, "", {kKeyEscape}),
    row(K::PlaybackFaster, S::Playback, P::None, "", {"+", "=", kKeyUp}),
    row(K::PlaybackSlower, S::Playback, P::None, "", {"-", kKeyDown}),

    // The window's own keys (platform/sdl), read by their place on the keyboard.
    row(K::WindowHelp, S::Window, P::None, "", {}, {"F1", kHelpWhat}, {"F1", "this help"}, {}, {PK::F1}),
    row(K::WindowFullscreen, S::Window, P::None, "", {},
        {"Alt+Enter", "fullscreen on/off: the whole picture scaled and letterboxed"}, {"Alt+Enter", "fullscreen"}, {},
        {PK::Enter, PK::KeypadEnter, true}),
    row(K::WindowAspect, S::Window, P::None, "", {},
        {"F11", "4:3 aspect on/off: rows 1.2 times as tall, as on the displays of the time"}, {"F11", "4:3 on/off"}, {},
        {PK::F11}),
    row(K::WindowScreenshot, S::Window, P::None, "", {},
        {"F12", "a PNG screenshot into the data directory; the window title names the file for a few seconds"},
        {"F12", "screenshot"}, {}, {PK::F12}),
    row(K::WindowSpeed, S::Window, P::None, "", {},
        {"Ctrl+-, Ctrl++", "slower, faster; the window title shows the speed for a few seconds"},
        {"Ctrl -/+", "speed -/+"}),
    row(K::WindowClose, S::Window, P::None, "", {},
        {"closing the window, Ctrl+C", "save the character and quit, like Escape"}, {"Close", "save, quit"}),

    // The page's own keys (platform/web, the page's script): the browser keeps
    // F11, F12 and Ctrl with + and -.
    row(K::PageHelp, S::Page, P::None, "", {}, {"F1, the Keys button", kHelpWhat}, {"F1, Keys", "this help"}),
    row(K::PageFaster, S::Page, P::None, "", {},
        {"Alt+Shift+Up, Alt+Shift+Down",
         "faster, slower (as the Faster and Slower buttons); the speed shows below the picture. "
         "Ctrl with + and - is the browser's zoom"},
        {"Alt+Sh+Up", "faster"}),
    row(K::PageSlower, S::Page, P::None, "", {}, {}, {"Alt+Sh+Dn", "slower"}),
    row(K::PageFullscreen, S::Page, P::None, "", {}, {"Alt+Enter", "fullscreen on/off (as the Fullscreen button)"},
        {"Alt+Enter", "fullscreen"}),
    row(K::PageBrowserKeys, S::Page, P::None, "", {},
        {"F11, F12", "the browser's own: the 4:3 picture button stands for F11; the page takes no screenshots"}),

    // A gamepad's controls (kPadRows in input/pad.hpp press the game's keys;
    // these rows only describe them), shown in the window and on the page;
    // the picture's help, short of room, shows the main buttons only.
    row(K::PadWalk, S::Pad, P::None, "", {},
        {"gamepad: d-pad or left stick, right stick",
         "step as the arrow keys (held, they repeat like a held key); the right stick only faces that way"}),
    row(K::PadGround, S::Pad, P::None, "", {},
        {"gamepad: A, B; RT, LT; X, Y; RB, LB",
         "ground +1 / -1, ground +16 / -16, structure +1 / -1, creature +1 / -1"},
        {"A B", "ground +-1"}),
    row(K::PadStructure, S::Pad, P::None, "", {}, {}, {"X Y", "struct +-1"}),
    row(K::PadPause, S::Pad, P::None, "", {}, {"gamepad: Start, left stick pressed", "pause, road-following on/off"},
        {"Start", "pause"}),
    row(K::PadQuit, S::Pad, P::None, "", {},
        {"gamepad: Back held for a second", "save the character and quit, like Escape; a short press does nothing"},
        {"Back 1s", "save, quit"}),
};

}  // namespace key_table_rows

using key_table_rows::kKeyRows;

// Every row, in the order of KeyName: the game's in the order of their help,
// then the playback's, the window's, the page's and the gamepad's.
std::span<const KeyRow> key_rows();
// The row of that name.
const KeyRow& key_row(KeyName name);
// True when the key text `key`, with CC$ `cc` (" " + key + " "), is the row's.
bool key_matches(const KeyRow& row, std::string_view key, std::string_view cc);
// The window row whose chord is `key` (Alt held or not); nullptr for any
// other key, which goes on to the game.
const KeyRow* window_row(PhysicalKey key, bool alt);
// A key text the row answers to: its first text, else the first key of its
// set (" 7 " gives "7"); "" for a row with neither.
std::string_view key_text(const KeyRow& row);

}  // namespace tlvx
