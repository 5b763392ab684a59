#include "platform/sdl/help_overlay.hpp"

#include <string>

#include "base/screen_types.hpp"
#include "display/screen.hpp"
#include "input/key_help.hpp"

namespace tlvx {

namespace {

constexpr uint32_t kTitleColour = 0xFFFFFFFFu;
constexpr uint32_t kKeysColour = 0xFFFFFF55u;
constexpr uint32_t kWhatColour = 0xFFCCCCCCu;

void draw_text(std::span<uint32_t> argb, int x, int y, const std::string& text, uint32_t colour) {
    for (unsigned char ch : text) {
        for (int r = 0; r < 8; ++r) {
            if (y + r < 0 || y + r >= kScreenH) continue;
            const uint8_t bits = kFont8x8[ch][r];
            for (int c = 0; c < 8; ++c)
                if ((bits & (0x80u >> c)) && x + c >= 0 && x + c < kScreenW)
                    argb[static_cast<size_t>(y + r) * kScreenW + static_cast<size_t>(x + c)] = colour;
        }
        x += 8;
    }
}

}  // namespace

void draw_help_overlay(std::span<uint32_t> argb) {
    if (argb.size() < static_cast<size_t>(kScreenW) * kScreenH) return;
    // A sixth of the brightness or so: the picture stays recognisable behind
    // the text, and the status panel's own bright text does not compete with it.
    for (uint32_t& p : argb) {
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) out |= (((p >> shift) & 0xFFu) * 3 / 16) << shift;
        p = out;
    }
    for (const ScreenText& t : key_help_screen()) {
        const uint32_t colour = t.kind == ScreenText::Kind::Title  ? kTitleColour
                                : t.kind == ScreenText::Kind::Keys ? kKeysColour
                                                                   : kWhatColour;
        draw_text(argb, t.x, t.y, t.text, colour);
    }
}

}  // namespace tlvx
