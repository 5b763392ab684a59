#pragma once
// The key table (input/key_table.hpp) as the player reads it: the README's
// table, `tlvx --help`, the manual page (checked by the tests), the page's
// key list and the help drawn over the picture on F1. Each shows the game's
// rows, the gamepad's, then the window's own or the page's own.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/key_table.hpp"

namespace tlvx {

// The rows that have help text, the game's first, then the gamepad's, then
// those of `own` (KeySource::Window or KeySource::Page), in the table's order.
std::vector<const KeyRow*> key_help_rows(KeySource own = KeySource::Window);

// The game's and the window's rows as lines of the README's markdown table:
// "| keys | what |".
std::vector<std::string> key_help_markdown();
// The same as the entries of the manual page's KEYS section: ".TP", ".B keys",
// then what they do, escaped for roff.
std::vector<std::string> key_help_man();
// A row's text without markdown: backticks dropped.
std::string key_help_plain(std::string_view text);
// The keys for a terminal (`--help`): a heading line, then for each row its
// keys indented by 2 and what they do indented by 6, wrapped at `width`.
std::string key_help_text(int width = 80);

// The help over the 320x200 picture, in glyphs of the 8x8 font: a title
// line, then the rows' short texts in columns, each row's keys and what they
// do side by side. Lines are kScreenLinePitch pixels apart, so the glyphs of
// two lines never touch; a source's rows start a new column when they do not
// fit whole under the rows before.
constexpr int kScreenGlyph = 8;
constexpr int kScreenLinePitch = 10;
struct ScreenText {
    enum class Kind { Title, Keys, What };
    int x = 0;  // pixels from the picture's left and top edge
    int y = 0;
    std::string text;
    Kind kind = Kind::What;
};
// The layout of `rows` (those with screen text; a blank line between sources).
std::vector<ScreenText> key_help_screen_layout(std::span<const KeyRow* const> rows);
// The layout of the game's rows, the gamepad's and those of `own`.
std::vector<ScreenText> key_help_screen(KeySource own = KeySource::Window);
// The same as lines of text, a character for each glyph's place (the page
// shows them in a box of its own over the picture).
std::vector<std::string> key_help_screen_lines(KeySource own = KeySource::Window);

}  // namespace tlvx
