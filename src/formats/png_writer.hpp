#pragma once
// PNG output: the indexed screen as an RGB picture, and a streaming row writer
// for pictures too large to hold in memory (world maps). Every write goes to a
// temporary file beside the target and is renamed over it only when complete,
// so a failed write never leaves a half-written PNG behind.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/screen_types.hpp"

namespace tlvx {

// Any failure to create, write or finish a PNG file. The message names the file.
class PngError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The pixel layout of the rows handed to a PngRowWriter.
enum class PngColour { Rgb, Rgba };

// Writes an 8-bit RGB (or RGBA) PNG one row at a time, top row first.
//   PngRowWriter out(path, w, h);
//   for each row: out.write_row(rgb);   // 3 * w bytes (4 * w for Rgba)
//   out.finish();                       // renames into place
// Destroying a writer that was not finished removes its temporary file and
// leaves any existing file at `path` untouched.
class PngRowWriter {
public:
    PngRowWriter(const std::string& path, int width, int height, PngColour colour = PngColour::Rgb);
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    int width() const;
    int height() const;
    // `rgb` holds 3 * width() bytes: red, green, blue per pixel (4 * width()
    // with alpha last for Rgba).
    void write_row(const uint8_t* rgb);
    // All height() rows must have been written.
    void finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The 320x200 screen with its palette applied (screen.palette holds the
// components as shown).
void write_screen_png(const Screen& screen, const std::string& path);

}  // namespace tlvx
