#pragma once
// The one table of the keys a player has: the game's keys and the window's
// own. The README's key table, `tlvx --help`, the manual page and the help
// the window shows on F1 are all made from it, or checked against it by the
// tests, so that none of them can drift from the others.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

struct KeyHelpRow {
    std::string_view keys;  // as in the README: key names in backticks, named keys plain
    std::string_view what;  // what they do, as in the README
    // The same, short enough for the help drawn over the 320x200 picture.
    std::string_view screen_keys;
    std::string_view screen_what;
    bool window = false;  // handled by the window, never seen by the game
};

// Columns of the on-screen help, in characters of the 8x8 font.
constexpr int kScreenKeysWidth = 11;
constexpr int kScreenWhatWidth = 26;

// Every key, the game's first, then the window's.
std::span<const KeyHelpRow> key_help_rows();

// The rows as lines of the README's markdown table: "| keys | what |".
std::vector<std::string> key_help_markdown();
// A row's text without markdown: backticks dropped.
std::string key_help_plain(std::string_view text);
// The keys for a terminal (`--help`): a heading line, then for each row its
// keys indented by 2 and what they do indented by 6, wrapped at `width`.
std::string key_help_text(int width = 80);
// The on-screen help: lines of at most kScreenKeysWidth + 1 +
// kScreenWhatWidth characters, a title first, the window's keys after a
// blank line.
std::vector<std::string> key_help_screen_lines();

}  // namespace tlvx
