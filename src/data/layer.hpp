#pragma once
// Layer grid files: one byte per map cell, a 4-byte header with the map size.
#include <cstdint>

namespace tlvx {
struct State;

constexpr int32_t kGroundFile = 1;
constexpr int32_t kCreatureFile = 2;
constexpr int32_t kStructureFile = 3;
// The creature value a world's start cell holds: the player's own figure.
constexpr int32_t kPlayerMarker = 1;

// 1-based byte position of cell (c, r): c + r * WX + 4, computed in 64 bits.
int64_t cell_position(const State& s, int64_t c, int64_t r);
// Read the byte of cell (c, r) from the layer file open under `fileno`
// (0 beyond the end of the file). Runtime error 1 for a negative position or a
// file number with no open file.
int32_t cell_read(State& s, int32_t fileno, int64_t c, int64_t r);
// Write value mod 256 to cell (c, r). Runtime error 3 when the file is read-only.
void cell_write(State& s, int32_t fileno, int64_t c, int64_t r, int32_t value);
// Start-up step: open the five layer files on slots 1 to 5 and read WX, WY from
// the ground layer's header.
void open_layer_files(State& s);

}  // namespace tlvx
