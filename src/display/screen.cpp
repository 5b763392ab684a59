#include "display/screen.hpp"

#include <algorithm>
#include <cstring>

#include "base/error.hpp"
#include "base/key_codes.hpp"
#include "base/platform.hpp"
#include "base/state.hpp"
#include "data/text_record.hpp"

namespace tlvx {

namespace {

constexpr int kGlyph = 8;
constexpr int kGraphicsCols = kScreenW / kGlyph;  // 40
constexpr int kGraphicsRows = kScreenH / kGlyph;  // 25

uint8_t low_byte(int64_t v) { return static_cast<uint8_t>(v & 0xFF); }

// Opaque glyph: every pixel of the cell is written, so text overwrites what was there.
void draw_glyph(Screen& sc, uint8_t ch) {
    // After the screen is closed the console is 80 columns wide; its cells beyond
    // the surface have no pixels to draw.
    if (sc.col < 1 || sc.col > kGraphicsCols || sc.row < 1 || sc.row > kGraphicsRows) return;
    const int x0 = (sc.col - 1) * kGlyph;
    const int y0 = (sc.row - 1) * kGlyph;
    const uint8_t fg = low_byte(sc.fg);
    const uint8_t bg = low_byte(sc.bg);
    for (int r = 0; r < kGlyph; ++r) {
        const uint8_t bits = kFont8x8[ch][r];
        uint8_t* p = &sc.at(x0, y0 + r);
        for (int c = 0; c < kGlyph; ++c) p[c] = (bits & (0x80u >> c)) ? fg : bg;
    }
}

// Scroll the text area up one text row; the new bottom row takes the background.
void scroll_up(Screen& sc) {
    const int top = std::clamp(sc.text_top, 1, kGraphicsRows);
    const int bottom = std::clamp(sc.text_bottom, top, kGraphicsRows);
    const size_t row_bytes = static_cast<size_t>(kScreenW) * kGlyph;
    uint8_t* first = &sc.at(0, (top - 1) * kGlyph);
    std::memmove(first, first + row_bytes, row_bytes * static_cast<size_t>(bottom - top));
    std::memset(&sc.at(0, (bottom - 1) * kGlyph), low_byte(sc.bg), row_bytes);
}

void next_row(Screen& sc) {
    sc.col = 1;
    if (sc.row >= sc.text_bottom) {
        sc.row = sc.text_bottom;
        scroll_up(sc);
    } else {
        ++sc.row;
    }
}

void advance(Screen& sc) {
    if (++sc.col > sc.text_cols) next_row(sc);
}

void put_char(Screen& sc, uint8_t ch) {
    switch (ch) {
    case 7:  // bell: nothing to show; the window sounds it
        ++sc.bells;
        break;
    case 8:
        if (sc.col > 1) --sc.col;
        break;
    case 9:  // blanks up to the next tab stop (columns 9, 17, 25, ...)
        do {
            draw_glyph(sc, ' ');
            advance(sc);
        } while ((sc.col - 1) % 8 != 0);
        break;
    case 10: next_row(sc); break;
    case 13: sc.col = 1; break;
    default: draw_glyph(sc, ch); advance(sc);
    }
}

}  // namespace

uint8_t level_to_8bit(uint32_t level) { return static_cast<uint8_t>((level & 63u) * 255u / 63u); }

void SCREEN_OPEN(State& s, int32_t mode) {
    if (mode != 13) throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, "opening screen mode " + std::to_string(mode));
    if (s.platform) s.platform->open_screen();
    Screen& sc = s.screen;
    sc.open = true;
    sc.pixels.fill(0);
    sc.palette = kVgaDefaultPalette;
    ++sc.palette_serial;
    sc.text_cols = kGraphicsCols;
    sc.text_top = 1;
    sc.text_bottom = kGraphicsRows;
    sc.row = 1;
    sc.col = 1;
    sc.fg = 15;
    sc.bg = 0;
}

void TEXT_COLOR(State& s, int32_t fg) { s.screen.fg = low_byte(fg); }

void SCREEN_CLEAR(State& s) {
    s.screen.pixels.fill(low_byte(s.screen.bg));
    s.screen.row = s.screen.text_top;
    s.screen.col = 1;
}

void MOUSE_SET(State& s, int32_t x, int32_t y, int32_t show) {
    const int cx = std::clamp(x, 0, kScreenW - 1);
    const int cy = std::clamp(y, 0, kScreenH - 1);
    if (s.platform) s.platform->set_mouse(cx, cy, show == 1);
}

void PALETTE_SET(State& s, int32_t index, uint32_t packed) {
    Rgb& e = s.screen.palette[low_byte(index)];
    e.r = level_to_8bit(packed);
    e.g = level_to_8bit(packed >> 8);
    e.b = level_to_8bit(packed >> 16);
    ++s.screen.palette_serial;
}

void TEXT_GRID(State& s, int32_t cols, int32_t rows) {
    // The 320x200 surface holds only the 8x8 font: 40 columns by 25 rows.
    if (cols != kGraphicsCols || rows != kGraphicsRows)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL,
                           "setting the text grid to " + std::to_string(cols) + " by " + std::to_string(rows));
    s.screen.text_cols = kGraphicsCols;
    s.screen.text_top = 1;
    s.screen.text_bottom = kGraphicsRows;
    SCREEN_CLEAR(s);
}

void BOX_FILL(State& s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const int xa = std::max(x1, 0), xb = std::min(x2, kScreenW - 1);
    const int ya = std::max(y1, 0), yb = std::min(y2, kScreenH - 1);
    if (xa > xb || ya > yb) return;
    const uint8_t c = low_byte(colour);
    for (int y = ya; y <= yb; ++y) std::memset(&s.screen.at(xa, y), c, static_cast<size_t>(xb - xa + 1));
}

void TEXT_LOCATE(State& s, int32_t row, int32_t col) {
    Screen& sc = s.screen;
    if (row < sc.text_top || row > sc.text_bottom || col < 1 || col > sc.text_cols)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL,
                           "moving the text cursor to row " + std::to_string(row) + ", column " + std::to_string(col));
    sc.row = row;
    sc.col = col;
}

void TEXT_PRINT(State& s, const std::string& text, bool line_end) {
    for (char ch : text) put_char(s.screen, static_cast<uint8_t>(ch));
    if (line_end) next_row(s.screen);
}

void NUMBER_PRINT(State& s, int32_t v) { TEXT_PRINT(s, list_form(v)); }

std::string KEY_POLL(State& s, bool paused) {
    if (s.platform) {
        s.platform->poll(s.screen, s.keys, paused);
        // A window close (or a signal) ends the game the way Escape does.
        if (s.platform->quit_requested()) return std::string(kKeyEscape);
    }
    return s.keys.pop();
}

void SCREEN_CLOSE(State& s) {
    if (s.platform) s.platform->close_screen();
    // Back on the text console: 80 columns, white on blue, whole area, cleared.
    // Only the state changes; the user's terminal is never repainted.
    Screen& sc = s.screen;
    sc.open = false;
    sc.text_cols = 80;
    sc.text_top = 1;
    sc.text_bottom = kGraphicsRows;
    sc.fg = 15;
    sc.bg = 1;
    sc.row = 1;
    sc.col = 1;
}

}  // namespace tlvx
