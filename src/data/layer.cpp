#include "data/layer.hpp"

#include <cerrno>
#include <unistd.h>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"

namespace tlvx {

namespace {

std::string cell_place(const char* what, int64_t c, int64_t r, const std::string& name) {
    return std::string(what) + " cell (" + std::to_string(c) + ", " + std::to_string(r) + ") of \"" + name + "\"";
}

// The layer file under `fileno` and the cell's position; runtime error 1 for
// no open binary file or a negative position.
OpenFile& cell_file(State& s, int32_t fileno, const char* what, int64_t c, int64_t r, int64_t& pos) {
    // The place text is built only on the way to the error: a pass reads some
    // two hundred cells and must not build a text for each.
    if (!s.files.is_open(fileno)) {
        const std::string verb = std::string(what) + " cell (" + std::to_string(c) + ", " + std::to_string(r) + ") of";
        s.files.get(fileno, verb.c_str());  // throws runtime error 1
    }
    OpenFile& f = s.files.get(fileno, "");
    if (f.mode != FileMode::Binary)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, cell_place(what, c, r, f.name) + ": not a layer file");
    pos = cell_position(s, c, r);
    if (pos < 0)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL,
                           cell_place(what, c, r, f.name) + ": position " + std::to_string(pos));
    return f;
}

}  // namespace

int64_t cell_position(const State& s, int64_t c, int64_t r) {
    int64_t pos = 0;
    // mended: positions are 64-bit, so cells of maps past 2 GiB are reached.
    // A position beyond 64 bits is as unusable as a negative one.
    if (__builtin_mul_overflow(r, int64_t{s.WX}, &pos) || __builtin_add_overflow(pos, c, &pos) ||
        __builtin_add_overflow(pos, int64_t{4}, &pos))
        return -1;
    return pos;
}

int32_t cell_read(State& s, int32_t fileno, int64_t c, int64_t r) {
    int64_t pos = 0;
    OpenFile& f = cell_file(s, fileno, "reading", c, r, pos);
    // mended: position 0 would mean "wherever the last access left off"; without a
    // file position that is no cell at all, so it reads as an empty cell.
    if (pos == 0) return 0;
    unsigned char byte = 0;
    for (;;) {
        ssize_t n = ::pread(f.fd, &byte, 1, static_cast<off_t>(pos - 1));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw RuntimeError(ERR_FILE_IO, cell_place("reading", c, r, f.name));
        return n == 1 ? byte : 0;  // beyond the end of the file a cell reads 0
    }
}

void cell_write(State& s, int32_t fileno, int64_t c, int64_t r, int32_t value) {
    int64_t pos = 0;
    OpenFile& f = cell_file(s, fileno, "writing", c, r, pos);
    if (pos == 0) return;  // no cell at position 0: the write does nothing (see cell_read)
    if (!f.writable) throw RuntimeError(ERR_FILE_IO, cell_place("writing", c, r, f.name) + ": the file is read-only");
    const unsigned char byte = static_cast<unsigned char>(value & 255);
    for (;;) {
        ssize_t n = ::pwrite(f.fd, &byte, 1, static_cast<off_t>(pos - 1));
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) throw RuntimeError(ERR_FILE_IO, cell_place("writing", c, r, f.name));
        return;
    }
}

void open_layer_files(State& s) {
    const std::string names[5] = {s.MG_S, s.MGB_S, s.MGC_S, "tlvx_gr4.tmp", "tlvx_gr5.tmp"};
    for (int32_t slot = 1; slot <= 5; ++slot) stream_reopen(s, slot, names[slot - 1], FileMode::Binary);

    // The map size: two big-endian 16-bit values at positions 1 and 3 of the
    // ground layer; bytes missing from a short file read 0.
    OpenFile& f = s.files.get(stream_number(s, 1), "reading the map size from");
    auto read16 = [&](off_t offset) {
        unsigned char b[2] = {0, 0};
        ssize_t n;
        do n = ::pread(f.fd, b, 2, offset);
        while (n < 0 && errno == EINTR);
        if (n < 0) throw RuntimeError(ERR_FILE_IO, "reading the map size from \"" + f.name + "\"");
        return static_cast<int32_t>(b[0]) * 256 + b[1];
    };
    s.WX = read16(0);
    s.WY = read16(2);
}

}  // namespace tlvx
