#pragma once
// Internals of picture loading shared by image.cpp and image_bmp.cpp.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tlvx {
struct State;

uint16_t le16(const uint8_t* p);
uint32_t le32(const uint8_t* p);

// The place text of a picture error, e.g. `while loading picture "tree.08x"`.
std::string picture_place(const char* what, const std::string& name);

// Load the BMP open as `fd` into SCN. `start` holds the first `n` bytes of the
// file (at least one); later bytes are fetched with pread.
void load_bmp(State& s, int fd, const uint8_t* start, size_t n, const std::string& name);

}  // namespace tlvx
