#pragma once
// The key help the window shows on F1: the picture dimmed, the key table
// written on it in the game's 8x8 font. It is drawn into the window's own
// copy of the picture, never into the game's screen.
#include <cstdint>
#include <span>

namespace tlvx {

// `argb` holds the kScreenW x kScreenH picture as 0xAARRGGBB, row after row.
void draw_help_overlay(std::span<uint32_t> argb);

}  // namespace tlvx
