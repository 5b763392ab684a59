#pragma once
// Layer grid files: one byte per map cell, a 4-byte header with the map size.
#include <array>
#include <cstdint>
#include <optional>

namespace tlvx {
struct State;

constexpr int32_t kGroundFile = 1;
constexpr int32_t kCreatureFile = 2;
constexpr int32_t kStructureFile = 3;
// The creature value a world's start cell holds: the player's own figure.
constexpr int32_t kPlayerMarker = 1;

// A layer file: a 4-byte header (the map's width and height, each 16 bits,
// high byte first), then the rows of one byte a cell, row 0 first (never
// drawn), each `wx` cells from column 1. Every program that reads or writes
// layer files takes their layout from here.
inline constexpr int64_t kLayerHeaderBytes = 4;
// The header of a w by h map.
std::array<uint8_t, 4> layer_header(int32_t w, int32_t h);
// The map size a header holds.
void layer_map_size(const uint8_t header[4], int32_t& w, int32_t& h);
// The 0-based byte offset of cell (c, r) in a layer file of a map `wx`
// cells wide: c + r * wx + 3; none when it does not fit 64 bits.
std::optional<int64_t> layer_offset(int64_t wx, int64_t c, int64_t r);
// The cell whose byte is at `offset` (at least the first cell of row 0) in
// a map `wx` cells wide; the inverse of layer_offset.
struct LayerCell {
    int64_t c = 0, r = 0;
};
LayerCell layer_cell(int64_t wx, int64_t offset);
// The length of a complete layer file of a w by h map (rows 0 to h).
int64_t layer_file_length(int64_t w, int64_t h);

// 1-based byte position of cell (c, r): layer_offset + 1, -1 when that does
// not fit 64 bits.
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
