#pragma once
// The one table of keys. Each row is one action: its name, who acts on it
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

namespace tlvx {

enum class KeySource {
    Game,      // a key text the pass tests
    Playback,  // a key text a recording's playback answers (tlvx --play)
    Window,    // the window's own key, which never reaches the game
    Page,      // the browser page's own key, in place of the window's
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
};

// Every row, in the order of KeyName: the game's in the order of their help,
// then the playback's, the window's and the page's.
std::span<const KeyRow> key_rows();
// The row of that name.
const KeyRow& key_row(KeyName name);
// True when the key text `key`, with CC$ `cc` (" " + key + " "), is the row's.
bool key_matches(const KeyRow& row, std::string_view key, std::string_view cc);

}  // namespace tlvx
