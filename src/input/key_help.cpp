#include "input/key_help.hpp"

#include <algorithm>
#include <cstddef>

#include "base/screen_types.hpp"

namespace tlvx {

namespace {

constexpr int kLeft = 4;  // the picture's margin, left and top
constexpr int kTop = 2;
constexpr int kFirstRowLine = 2;  // the title, a blank line, then the rows
constexpr int kLines = (kScreenH - kTop - kScreenGlyph) / kScreenLinePitch + 1;

const char* const kScreenTitle = "Keys            F1: back to the game";

// The rows of `source` with text of the kind `text` picks.
template <class Text>
std::vector<const KeyRow*> rows_with(KeySource source, Text text) {
    std::vector<const KeyRow*> out;
    for (const KeyRow& r : key_rows())
        if (r.source == source && !text(r).empty()) out.push_back(&r);
    return out;
}

}  // namespace

std::vector<const KeyRow*> key_help_rows(KeySource own) {
    const auto help = [](const KeyRow& r) { return r.help.keys; };
    std::vector<const KeyRow*> rows = rows_with(KeySource::Game, help);
    for (const KeySource source : {KeySource::Pad, own})
        for (const KeyRow* r : rows_with(source, help)) rows.push_back(r);
    return rows;
}

std::vector<std::string> key_help_markdown() {
    std::vector<std::string> lines;
    for (const KeyRow* r : key_help_rows())
        lines.push_back("| " + std::string(r->help.keys) + " | " + std::string(r->help.what) + " |");
    return lines;
}

std::vector<std::string> key_help_man() {
    const auto roff = [](std::string_view text) {
        std::string out;
        for (char c : key_help_plain(text)) {
            if (c == '\\') out += "\\e";
            else if (c == '-') out += "\\-";
            else out += c;
        }
        return out;
    };
    std::vector<std::string> lines;
    for (const KeyRow* r : key_help_rows()) {
        const std::string what = roff(r->help.what);
        // A text line may not start with a request's dot or quote.
        const bool request = !what.empty() && (what[0] == '.' || what[0] == '\'');
        lines.insert(lines.end(), {".TP", ".B " + roff(r->help.keys), (request ? "\\&" : "") + what});
    }
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
    for (const KeyRow* r : key_help_rows()) {
        out += "  " + key_help_plain(r->help.keys) + "\n";
        // Word-wrap what the keys do; a word longer than a line stands alone.
        const std::string what = key_help_plain(r->help.what);
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

std::vector<ScreenText> key_help_screen_layout(std::span<const KeyRow* const> rows) {
    // First each row's column and line: a source's rows go under the rows
    // before (after a blank line) when they fit there whole, else at the top
    // of the next column; a source longer than a column flows on.
    struct Place {
        const KeyRow* row;
        int column, line;
    };
    std::vector<Place> places;
    int column = 0;
    int line = kFirstRowLine;
    for (size_t i = 0; i < rows.size();) {
        size_t end = i;
        while (end < rows.size() && rows[end]->source == rows[i]->source) ++end;
        std::vector<const KeyRow*> group;
        for (size_t j = i; j < end; ++j)
            if (!rows[j]->screen.keys.empty()) group.push_back(rows[j]);
        i = end;
        if (group.empty()) continue;
        if (line > kFirstRowLine) {
            const int needed = 1 + static_cast<int>(group.size());
            if (line + needed <= kLines) {
                ++line;
            } else {
                ++column;
                line = kFirstRowLine;
            }
        }
        for (const KeyRow* r : group) {
            if (line == kLines) {
                ++column;
                line = kFirstRowLine;
            }
            places.push_back({r, column, line++});
        }
    }
    // Then the columns' widths: the widest keys, a blank, the widest text.
    std::vector<ScreenText> out{{kLeft, kTop, kScreenTitle, ScreenText::Kind::Title}};
    int x = kLeft;
    for (int c = 0; c <= column; ++c) {
        size_t keys = 0, what = 0;
        for (const Place& p : places)
            if (p.column == c) {
                keys = std::max(keys, p.row->screen.keys.size());
                what = std::max(what, p.row->screen.what.size());
            }
        if (keys == 0) continue;
        for (const Place& p : places) {
            if (p.column != c) continue;
            const int y = kTop + p.line * kScreenLinePitch;
            out.push_back({x, y, std::string(p.row->screen.keys), ScreenText::Kind::Keys});
            out.push_back({x + static_cast<int>(keys + 1) * kScreenGlyph, y, std::string(p.row->screen.what),
                           ScreenText::Kind::What});
        }
        // A blank glyph between two columns.
        x += static_cast<int>(keys + 1 + what + 1) * kScreenGlyph;
    }
    return out;
}

std::vector<ScreenText> key_help_screen(KeySource own) {
    const auto screen = [](const KeyRow& r) { return r.screen.keys; };
    std::vector<const KeyRow*> rows = rows_with(KeySource::Game, screen);
    for (const KeySource source : {KeySource::Pad, own})
        for (const KeyRow* r : rows_with(source, screen)) rows.push_back(r);
    return key_help_screen_layout(rows);
}

std::vector<std::string> key_help_screen_lines(KeySource own) {
    std::vector<std::string> lines;
    for (const ScreenText& t : key_help_screen(own)) {
        const size_t line = static_cast<size_t>((t.y - kTop) / kScreenLinePitch);
        const size_t column = static_cast<size_t>((t.x - kLeft) / kScreenGlyph);
        if (lines.size() <= line) lines.resize(line + 1);
        std::string& l = lines[line];
        if (l.size() < column) l.resize(column, ' ');
        l.replace(column, std::min(l.size() - column, t.text.size()), t.text);
    }
    return lines;
}

}  // namespace tlvx
