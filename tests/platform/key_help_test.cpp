// The key table against the places that show it: the README's table, the
// manual page, and the help drawn over the picture (`--help`: tests/app).
#include "platform/rhythm/key_help.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace tlvx;

namespace {

std::vector<std::string> file_lines(const std::string& name) {
    std::ifstream in(std::string(TLVX_TESTS_DIR) + "/../" + name);
    EXPECT_TRUE(in) << name;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The rows of the README's table headed "| Key | What it does |".
std::vector<std::string> readme_key_rows() {
    const std::vector<std::string> lines = file_lines("README.md");
    std::vector<std::string> rows;
    size_t i = std::find(lines.begin(), lines.end(), "| Key | What it does |") - lines.begin() + 2;
    for (; i < lines.size() && lines[i].rfind('|', 0) == 0; ++i) rows.push_back(lines[i]);
    return rows;
}

// A line of the manual page's source as plain text.
std::string roff_plain(std::string s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == '-') out += '-';
        else if (c == 'e') out += '\\';
        else if (c == 'f' && i + 1 < s.size()) ++i;  // a font change
        else if (c != '&') out += std::string("\\") + c;
    }
    return out;
}

// The entries of the manual page's KEYS section: ".TP", ".B keys", then the
// text lines up to the next request.
std::vector<std::pair<std::string, std::string>> man_key_entries() {
    const std::vector<std::string> lines = file_lines("share/tlvx.6");
    std::vector<std::pair<std::string, std::string>> entries;
    bool in_keys = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH ", 0) == 0) in_keys = lines[i] == ".SH KEYS";
        if (!in_keys || lines[i] != ".TP") continue;
        std::pair<std::string, std::string> e;
        if (i + 1 < lines.size() && lines[i + 1].rfind(".B ", 0) == 0) e.first = roff_plain(lines[++i].substr(3));
        for (; i + 1 < lines.size() && lines[i + 1].rfind('.', 0) != 0; ++i)
            e.second += (e.second.empty() ? "" : " ") + roff_plain(lines[i + 1]);
        entries.push_back(e);
    }
    return entries;
}

std::string squeeze_spaces(const std::string& s) {
    std::istringstream in(s);
    std::string word, out;
    while (in >> word) out += (out.empty() ? "" : " ") + word;
    return out;
}

}  // namespace

// The README's rows and the manual page's entries are the table's, every one, in its order, and no more.
TEST(KeyHelp, ReadmeAndManualPageListExactlyTheTablesKeys) {
    EXPECT_EQ(readme_key_rows(), key_help_markdown());

    std::vector<std::pair<std::string, std::string>> expected;
    for (const KeyHelpRow& r : key_help_rows()) expected.emplace_back(key_help_plain(r.keys), key_help_plain(r.what));
    EXPECT_EQ(man_key_entries(), expected);
}

// The help drawn over the picture fits 40 columns by 25 rows of the 8x8 font,
// printable characters only, and names every row's keys. Every row has all four
// texts, none with a "|" (it would split the README's row); the game's keys come
// before the window's.
TEST(KeyHelp, EveryRowIsCompleteAndItsScreenLinesFitThePicture) {
    const std::vector<std::string> lines = key_help_screen_lines();
    EXPECT_LE(lines.size(), 25u - 2u);  // a row of margin above and below
    std::string all;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), static_cast<size_t>(kScreenKeysWidth + 1 + kScreenWhatWidth)) << line;
        for (char c : line) EXPECT_TRUE(c >= 32 && c < 127) << line;
        all += line + "\n";
    }
    bool window = false;
    for (const KeyHelpRow& r : key_help_rows()) {
        for (std::string_view text : {r.keys, r.what, r.screen_keys, r.screen_what}) {
            EXPECT_FALSE(text.empty()) << r.keys;
            EXPECT_EQ(text.find('|'), std::string_view::npos) << text;
        }
        EXPECT_TRUE(r.window || !window) << r.keys << " (a game key after a window key)";
        window = window || r.window;
        EXPECT_LE(r.screen_keys.size(), static_cast<size_t>(kScreenKeysWidth)) << r.screen_keys;
        EXPECT_LE(r.screen_what.size(), static_cast<size_t>(kScreenWhatWidth)) << r.screen_what;
        EXPECT_NE(all.find(std::string(r.screen_keys)), std::string::npos) << r.screen_keys;
    }
    EXPECT_TRUE(window);
}

// The terminal text wraps at the asked width without losing or reordering a word.
TEST(KeyHelp, TerminalTextWrapsWithoutLosingAWord) {
    std::string words = "Keys (the window's own never reach the game):";
    for (const KeyHelpRow& r : key_help_rows()) words += " " + key_help_plain(r.keys) + " " + key_help_plain(r.what);
    for (int width : {80, 60, 50}) {
        const std::string text = key_help_text(width);
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) EXPECT_LE(line.size(), static_cast<size_t>(width)) << line;
        EXPECT_EQ(squeeze_spaces(text), squeeze_spaces(words)) << width;
    }
}
