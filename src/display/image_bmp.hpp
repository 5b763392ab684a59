#pragma once
// Internals of picture loading shared by image.cpp and image_bmp.cpp.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bytes.hpp"

namespace tlvx {
struct State;

// The place text of a picture error, e.g. `while loading picture "tree.08x"`.
std::string picture_place(const char* what, const std::string& name);

// The first bytes of an open picture file, read on demand: the first read
// asks for the whole buffer and so brings any tile picture at once; further
// reads happen only when a layout needs bytes that it did not bring.
struct PictureStart {
    int fd = -1;
    uint8_t* data = nullptr;
    size_t cap = 0;       // size of `data`
    size_t n = 0;         // bytes read so far
    bool at_end = false;  // a read found the end of the file: n is its size

    // Read until at least min(bytes, cap) bytes are here or the file ends.
    // False when a read fails.
    bool want(size_t bytes);
};

// Load the BMP whose first bytes `start` holds (at least one) into SCN; bytes
// beyond the buffer are fetched with pread.
void load_bmp(State& s, PictureStart& start, const std::string& name);

}  // namespace tlvx
