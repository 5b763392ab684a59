#include "data/layer.hpp"

#include <cerrno>
#include <unistd.h>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"
#include "data/world_names.hpp"

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

std::array<uint8_t, 4> layer_header(int32_t w, int32_t h) {
    return {static_cast<uint8_t>((w >> 8) & 0xFF), static_cast<uint8_t>(w & 0xFF),
            static_cast<uint8_t>((h >> 8) & 0xFF), static_cast<uint8_t>(h & 0xFF)};
}

void layer_map_size(const uint8_t header[4], int32_t& w, int32_t& h) {
    w = static_cast<int32_t>(header[0]) * 256 + header[1];
    h = static_cast<int32_t>(header[2]) * 256 + header[3];
}

std::optional<int64_t> layer_offset(int64_t wx, int64_t c, int64_t r) {
    int64_t offset = 0;
    if (__builtin_mul_overflow(r, wx, &offset) || __builtin_add_overflow(offset, c, &offset) ||
        __builtin_add_overflow(offset, kLayerHeaderBytes - 1, &offset))
        return std::nullopt;
    return offset;
}

LayerCell layer_cell(int64_t wx, int64_t offset) {
    const int64_t r = (offset - kLayerHeaderBytes) / wx;
    return {offset - (kLayerHeaderBytes - 1) - r * wx, r};
}

int64_t layer_file_length(int64_t w, int64_t h) { return kLayerHeaderBytes + w * (h + 1); }

int64_t cell_position(const State& s, int64_t c, int64_t r) {
    // mended: positions are 64-bit, so cells of maps past 2 GiB are reached.
    // A position beyond 64 bits is as unusable as a negative one.
    const std::optional<int64_t> offset = layer_offset(s.WX, c, r);
    if (!offset || *offset == INT64_MAX) return -1;
    return *offset + 1;
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
    const std::string names[5] = {s.MG_S, s.MGB_S, s.MGC_S, kLayerNames[3], kLayerNames[4]};
    for (int32_t slot = 1; slot <= 5; ++slot) stream_reopen(s, slot, names[slot - 1], FileMode::Binary);

    // The map size from the ground layer's header; bytes missing from a
    // short file read 0.
    OpenFile& f = s.files.get(stream_number(s, 1), "reading the map size from");
    uint8_t header[kLayerHeaderBytes] = {0, 0, 0, 0};
    size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = ::pread(f.fd, header + got, sizeof header - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw RuntimeError(ERR_FILE_IO, "reading the map size from \"" + f.name + "\"");
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    layer_map_size(header, s.WX, s.WY);
}

}  // namespace tlvx
