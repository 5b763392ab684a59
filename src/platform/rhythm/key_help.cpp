#include "platform/rhythm/key_help.hpp"

#include <array>

namespace tlvx {

namespace {

constexpr std::array<KeyHelpRow, 19> kRows{{
    {"`y` or Up, `h` or Right, `b` or Down, `g` or Left", "face that way and step one cell (if the cell is free)",
     "y h b g", "face that way, step", false},
    {"`Y` `8`, `H` `6`, `B` `2`, `G` `4`", "face up, right, down, left without stepping", "Y H B G", "face, no step",
     false},
    {"`5`", "face nowhere: the \"cell in front\" is then your own cell", "5", "face nowhere", false},
    {"`7`, `9`", "turn a quarter counter-clockwise, clockwise", "7 9", "turn left, right", false},
    {"`.`",
     "road-following on/off: the character walks along road cells by itself, preferring left, straight on, right, "
     "back",
     ".", "road-following on/off", false},
    {"`+`, `-`", "ground value of the cell in front +1 / -1 (kept within 1 to 64)", "+ -", "ground in front +1 -1",
     false},
    {"`f`, `F`", "ground value +16 / -16", "f F", "ground +16 -16", false},
    {"`*`, `/`, Backspace", "creature value +1 / -1 / clear", "* / BackSp", "creature +1 -1 clear", false},
    {"`]`, `[`, `\\`", "structure value +1 / -1 / clear", "] [ \\", "structure +1 -1 clear", false},
    {"`i`", "status panel redrawn or not (it also drives the shimmering water colours)", "i", "status panel on/off",
     false},
    {"`o`", "cycles a stored setting 1, 2, 3, 4; it is kept in the save file and nothing else uses it", "o",
     "stored setting 1-4", false},
    {"`p`", "pause until any key (that key is swallowed)", "p", "pause until any key", false},
    {"Escape", "save the character and quit", "Escape", "save and quit", false},
    {"F1", "the key table over the picture, until F1 again; the game is held meanwhile and no key reaches it", "F1",
     "this help on/off", true},
    {"Alt+Enter", "fullscreen on/off: the whole picture scaled and letterboxed", "Alt+Enter", "fullscreen on/off",
     true},
    {"F11", "4:3 aspect on/off: rows 1.2 times as tall, as on the displays of the time", "F11", "4:3 picture on/off",
     true},
    {"F12", "a PNG screenshot into the data directory; the window title names the file for a few seconds", "F12",
     "screenshot (PNG)", true},
    {"Ctrl+-, Ctrl++", "slower, faster; the window title shows the speed for a few seconds", "Ctrl -/+",
     "slower, faster", true},
    {"closing the window, Ctrl+C", "save the character and quit, like Escape", "Close", "save and quit, as Escape",
     true},
}};

std::string pad(std::string_view s, size_t width) {
    std::string out(s);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

}  // namespace

std::span<const KeyHelpRow> key_help_rows() { return kRows; }

std::vector<std::string> key_help_markdown() {
    std::vector<std::string> lines;
    for (const KeyHelpRow& r : kRows) lines.push_back("| " + std::string(r.keys) + " | " + std::string(r.what) + " |");
    return lines;
}

std::string key_help_plain(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '`') out += c;
    return out;
}

std::string key_help_text(int width) {
    const size_t indent = 6;
    const size_t limit = width > static_cast<int>(indent) + 20 ? static_cast<size_t>(width) : indent + 20;
    std::string out = "Keys (the window's own never reach the game):\n";
    for (const KeyHelpRow& r : kRows) {
        out += "  " + key_help_plain(r.keys) + "\n";
        // Word-wrap what the keys do; a word longer than a line stands alone.
        const std::string what = key_help_plain(r.what);
        std::string line;
        size_t start = 0;
        while (start < what.size()) {
            size_t end = what.find(' ', start);
            if (end == std::string::npos) end = what.size();
            const std::string_view word(what.data() + start, end - start);
            if (!line.empty() && indent + line.size() + 1 + word.size() > limit) {
                out += std::string(indent, ' ') + line + "\n";
                line.clear();
            }
            if (!line.empty()) line += ' ';
            line += word;
            start = end + 1;
        }
        if (!line.empty()) out += std::string(indent, ' ') + line + "\n";
    }
    return out;
}

std::vector<std::string> key_help_screen_lines() {
    std::vector<std::string> lines{"Keys            F1: back to the game", ""};
    bool window = false;
    for (const KeyHelpRow& r : kRows) {
        if (r.window && !window) {
            lines.emplace_back();
            window = true;
        }
        lines.push_back(pad(r.screen_keys, kScreenKeysWidth) + " " + std::string(r.screen_what));
    }
    return lines;
}

}  // namespace tlvx
