#include "input/key_table.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "base/key_codes.hpp"
#include "data/layer.hpp"

namespace tlvx {

namespace {

using K = KeyName;
using S = KeySource;
using P = PassStep;

// The README's, the manual page's and `--help`'s texts are the `help` pairs;
// the picture's two columns take the `screen` pairs (at most 19 characters a
// row with the keys' column: the help test checks the fit).
constexpr KeyRow row(KeyName name, KeySource source, PassStep step, std::string_view set,
                     std::array<std::string_view, 3> texts = {}, KeyHelpText help = {}, KeyScreenText screen = {},
                     KeyEdit edit = {}) {
    return {name, source, step, set, texts, help, screen, edit};
}

constexpr KeyRow kRows[] = {
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
    row(K::WindowHelp, S::Window, P::None, "", {},
        {"F1", "the key table over the picture, until F1 again; the game is held meanwhile and no key reaches it"},
        {"F1", "this help"}),
    row(K::WindowFullscreen, S::Window, P::None, "", {},
        {"Alt+Enter", "fullscreen on/off: the whole picture scaled and letterboxed"}, {"Alt+Enter", "fullscreen"}),
    row(K::WindowAspect, S::Window, P::None, "", {},
        {"F11", "4:3 aspect on/off: rows 1.2 times as tall, as on the displays of the time"}, {"F11", "4:3 on/off"}),
    row(K::WindowScreenshot, S::Window, P::None, "", {},
        {"F12", "a PNG screenshot into the data directory; the window title names the file for a few seconds"},
        {"F12", "screenshot"}),
    row(K::WindowSpeed, S::Window, P::None, "", {},
        {"Ctrl+-, Ctrl++", "slower, faster; the window title shows the speed for a few seconds"},
        {"Ctrl -/+", "speed -/+"}),
    row(K::WindowClose, S::Window, P::None, "", {},
        {"closing the window, Ctrl+C", "save the character and quit, like Escape"}, {"Close", "save, quit"}),

    // The page's own keys (platform/web, the page's script): the browser keeps
    // F11, F12 and Ctrl with + and -.
    row(K::PageHelp, S::Page, P::None, "", {},
        {"F1, the Keys button",
         "the key table over the picture, until F1 again; the game is held meanwhile and no key reaches it"},
        {"F1, Keys", "this help"}),
    row(K::PageFaster, S::Page, P::None, "", {},
        {"Alt+Shift+Up, Alt+Shift+Down",
         "faster, slower (as the Faster and Slower buttons); the speed shows below the picture. Ctrl with + and - is "
         "the "
         "browser's zoom"},
        {"Alt+Sh+Up", "faster"}),
    row(K::PageSlower, S::Page, P::None, "", {}, {}, {"Alt+Sh+Dn", "slower"}),
    row(K::PageFullscreen, S::Page, P::None, "", {}, {"Alt+Enter", "fullscreen on/off (as the Fullscreen button)"},
        {"Alt+Enter", "fullscreen"}),
    row(K::PageBrowserKeys, S::Page, P::None, "", {},
        {"F11, F12", "the browser's own: the 4:3 picture button stands for F11; the page takes no screenshots"}),
};

// The rows stand in the order of their names, so a name finds its row at once.
constexpr bool rows_in_name_order() {
    for (size_t i = 0; i < std::size(kRows); ++i)
        if (static_cast<size_t>(kRows[i].name) != i) return false;
    return std::size(kRows) == static_cast<size_t>(KeyName::PageBrowserKeys) + 1;
}
static_assert(rows_in_name_order(), "one row for each KeyName, in the order of the names");

}  // namespace

std::span<const KeyRow> key_rows() { return kRows; }

const KeyRow& key_row(KeyName name) { return kRows[static_cast<size_t>(name)]; }

bool key_matches(const KeyRow& row, std::string_view key, std::string_view cc) {
    if (!row.set.empty() && row.set.find(cc) != std::string_view::npos) return true;
    return std::any_of(row.texts.begin(), row.texts.end(), [&](std::string_view t) { return !t.empty() && t == key; });
}

}  // namespace tlvx
