#pragma once
// Writing the files a world is made of: tile pictures in the short-block layout
// and as 8-bit BMPs, layer grid files, and the small file helpers the world
// commands share.
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/atomic_file.hpp"
#include "base/screen_types.hpp"

namespace tlvx::world {

// A picture of palette indices, row-major, top row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> px;

    Picture() = default;
    Picture(int width, int height, uint8_t fill = 0)
        : w(width), h(height), px(static_cast<size_t>(width * height), fill) {}
    uint8_t& at(int x, int y) { return px[static_cast<size_t>(y * w + x)]; }
    uint8_t at(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }
};

// A picture in the short-block layout: byte 253, four skipped bytes, the data
// length, then a short image header (width * 8 + 1, height) and the rows.
std::string encode_block_picture(const Picture& p);
// An uncompressed 8-bit BMP, bottom row first, with `table` as its colour table.
std::string encode_bmp8(const Picture& p, const std::array<Rgb, 256>& table);

// A failure a tool reports to its user (a file it cannot write, a world it
// will not overwrite): the message goes to standard error, the exit status is 1.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file a tool writes: an AtomicFile whose failures throw ToolError. A file
// of its own replaces its target only by commit(); dropped before that, the
// target stays as it was. A member of a StagedFiles set (see staged_files.hpp)
// is written the same way and put in place by the set, with the others.
class ToolFile {
public:
    explicit ToolFile(const std::string& path);
    // Writes `member`, which its set owns and commits; commit() is the set's.
    explicit ToolFile(AtomicFile& member) : file_(&member) {}

    void write(const void* data, size_t n) { check(file_->write(data, n)); }
    void write(const std::string& text) { check(file_->write(text)); }
    void write_at(int64_t offset, const void* data, size_t n) { check(file_->write_at(offset, data, n)); }
    void set_length(int64_t length) { check(file_->set_length(length)); }
    // The whole file on the disk, not yet in place (see AtomicFile::finish).
    void finish() { check(file_->finish()); }
    // Puts a file of its own in place.
    void commit();
    const std::string& path() const { return file_->path(); }
    // The temporary file, for a writer that fills it by name (a PNG writer
    // replaces it whole through a temporary of its own).
    const std::string& temp_path() const { return file_->temp_path(); }

private:
    void check(bool ok) const {
        if (!ok) throw ToolError(file_->error());
    }
    std::unique_ptr<AtomicFile> own_;  // empty for a member of a set
    AtomicFile* file_;
};

// Write `bytes` to `path` (through a temporary file renamed into place).
void write_file_bytes(const std::string& path, const std::string& bytes);
bool path_exists(const std::string& path);
std::string join_path(const std::string& dir, const std::string& name);

// One text line ending in CR LF, as the game's text files use.
std::string crlf(const std::string& line);
std::string quoted(const std::string& text);

}  // namespace tlvx::world
