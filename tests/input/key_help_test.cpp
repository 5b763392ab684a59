// The key table against the places that show it: the README's table, the
// manual page, and the help drawn over the picture (`--help`: tests/app).
#include "input/key_help.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "support/test_support.hpp"

using namespace tlvx;
using namespace tlvx::test;

namespace {

using Lines = std::vector<std::string>;
using Range = std::pair<size_t, size_t>;  // lines [first, end) of a document

// The rows of the README's table headed "| Key | What it does |".
Range readme_key_rows(const Lines& lines) {
    const size_t i = std::min<size_t>(
        std::find(lines.begin(), lines.end(), "| Key | What it does |") - lines.begin() + 2, lines.size());
    size_t j = i;
    while (j < lines.size() && lines[j].rfind('|', 0) == 0) ++j;
    return {i, j};
}

// The lines of the manual page's KEYS section from its first entry to the next section.
Range man_key_entries(const Lines& lines) {
    size_t i = std::find(lines.begin(), lines.end(), ".SH KEYS") - lines.begin();
    while (i < lines.size() && lines[i] != ".TP" && (lines[i].rfind(".SH ", 0) != 0 || lines[i] == ".SH KEYS")) ++i;
    size_t j = i;
    while (j < lines.size() && lines[j].rfind(".SH ", 0) != 0) ++j;
    return {i, j};
}

// The part of the project's document `name` that `find` locates. With TLVX_WRITE_KEY_DOCS set, that
// part is first written from the key table, so that a new or changed key needs no edit of the
// README's table or the manual page by hand (HACKING.md).
Lines key_docs(const char* name, Range (*find)(const Lines&), const Lines& table) {
    Lines lines = project_lines(name);
    if (const auto [first, end] = find(lines); std::getenv("TLVX_WRITE_KEY_DOCS") && first < lines.size()) {
        lines.erase(lines.begin() + static_cast<long>(first), lines.begin() + static_cast<long>(end));
        lines.insert(lines.begin() + static_cast<long>(first), table.begin(), table.end());
        write_project_lines(name, lines);
        lines = project_lines(name);
    }
    const auto [first, end] = find(lines);
    return {lines.begin() + static_cast<long>(first), lines.begin() + static_cast<long>(end)};
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
    EXPECT_EQ(key_docs("README.md", readme_key_rows, key_help_markdown()), key_help_markdown());
    EXPECT_EQ(key_docs("share/tlvx.6", man_key_entries, key_help_man()), key_help_man());
}

// Every row that has help has both texts, none with a "|" (it would split the
// README's row); the game's rows come first, and every game row is shown on the
// picture (on its own screen line or its group's).
TEST(KeyHelp, EveryHelpRowIsComplete) {
    for (const KeySource source : {KeySource::Window, KeySource::Page}) {
        bool own = false;
        for (const KeyRow* r : key_help_rows(source)) {
            for (std::string_view text : {r->help.keys, r->help.what}) {
                EXPECT_FALSE(text.empty()) << r->help.keys;
                EXPECT_EQ(text.find('|'), std::string_view::npos) << text;
            }
            EXPECT_TRUE(r->source == KeySource::Game || r->source == KeySource::Pad || r->source == source)
                << r->help.keys;
            EXPECT_TRUE(r->source != KeySource::Game || !own) << r->help.keys << " (a game key after the own keys)";
            own = r->source != KeySource::Game;
        }
        EXPECT_TRUE(own);
    }
    EXPECT_FALSE(key_rows().front().screen.keys.empty());
}

// Every glyph of the help over the picture lies inside the 320x200 picture, and
// no glyph box of one word touches one of another word, not even at a corner;
// the window's and the page's help, and the window's with six more game rows as
// long as the longest (room for the next keys).
TEST(KeyHelp, ScreenGlyphsOfDifferentWordsNeverTouchAndRowsStillFit) {
    struct Box {
        int x, y;
        size_t word;
    };
    const auto check = [](const std::vector<ScreenText>& texts, size_t rows, const char* what) {
        SCOPED_TRACE(what);
        std::vector<Box> boxes;
        size_t word = 0;
        for (const ScreenText& t : texts) {
            ++word;
            for (size_t i = 0; i < t.text.size(); ++i) {
                if (t.text[i] == ' ') {
                    ++word;
                    continue;
                }
                const Box b{t.x + static_cast<int>(i) * kScreenGlyph, t.y, word};
                EXPECT_TRUE(t.text[i] > 32 && t.text[i] < 127) << t.text;
                EXPECT_TRUE(b.x >= 0 && b.y >= 0 && b.x + kScreenGlyph <= 320 && b.y + kScreenGlyph <= 200)
                    << b.x << "," << b.y;
                boxes.push_back(b);
            }
        }
        for (size_t i = 0; i < boxes.size(); ++i)
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                const Box &a = boxes[i], &b = boxes[j];
                const bool touch = a.x <= b.x + kScreenGlyph && b.x <= a.x + kScreenGlyph &&
                                   a.y <= b.y + kScreenGlyph && b.y <= a.y + kScreenGlyph;
                EXPECT_FALSE(touch && a.word != b.word) << a.x << "," << a.y << " and " << b.x << "," << b.y;
            }
        // The title, and each row's keys and what they do.
        EXPECT_EQ(texts.size(), 1 + 2 * rows);
    };
    const auto screen_rows = [](KeySource own) {
        std::vector<const KeyRow*> rows;
        for (const KeyRow& r : key_rows())
            if ((r.source == KeySource::Game || r.source == KeySource::Pad || r.source == own) &&
                !r.screen.keys.empty())
                rows.push_back(&r);
        return rows;
    };
    const std::vector<const KeyRow*> window = screen_rows(KeySource::Window);
    check(key_help_screen(), window.size(), "window");
    check(key_help_screen(KeySource::Page), screen_rows(KeySource::Page).size(), "page");

    // Six more game rows, each with the longest keys and the longest text of a game row.
    KeyRow longest = *window.front();
    for (const KeyRow* r : window) {
        if (r->source != KeySource::Game) continue;
        if (r->screen.keys.size() > longest.screen.keys.size()) longest.screen.keys = r->screen.keys;
        if (r->screen.what.size() > longest.screen.what.size()) longest.screen.what = r->screen.what;
    }
    std::vector<const KeyRow*> more = window;
    more.insert(more.begin(), 6, &longest);
    check(key_help_screen_layout(more), more.size(), "six more rows");
}

// The page's box shows the picture's help as text, glyph for character.
TEST(KeyHelp, ScreenLinesHoldTheLayoutsTexts) {
    const std::vector<std::string> lines = key_help_screen_lines(KeySource::Page);
    for (const ScreenText& t : key_help_screen(KeySource::Page)) {
        const size_t line = static_cast<size_t>(t.y / kScreenLinePitch);
        ASSERT_LT(line, lines.size()) << t.text;
        EXPECT_NE(lines[line].find(t.text), std::string::npos) << t.text << " in " << lines[line];
    }
    for (const std::string& line : lines) EXPECT_LE(line.size(), 40u) << line;
}

// The terminal text wraps at the asked width without losing or reordering a word.
TEST(KeyHelp, TerminalTextWrapsWithoutLosingAWord) {
    std::string words = "Keys (the window's own never reach the game):";
    for (const KeyRow* r : key_help_rows())
        words += " " + key_help_plain(r->help.keys) + " " + key_help_plain(r->help.what);
    for (int width : {80, 60, 50}) {
        const std::string text = key_help_text(width);
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) EXPECT_LE(line.size(), static_cast<size_t>(width)) << line;
        EXPECT_EQ(squeeze_spaces(text), squeeze_spaces(words)) << width;
    }
}
