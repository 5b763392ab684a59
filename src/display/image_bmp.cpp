// BMP pictures: 1, 4 and 8 bits per pixel, uncompressed, either row order.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/error.hpp"
#include "base/state.hpp"
#include "display/image_bmp.hpp"

namespace tlvx {

namespace {

constexpr int64_t kScnEnd = static_cast<int64_t>(kScnBytes);

[[noreturn]] void malformed(const std::string& name, const char* why) {
    throw RuntimeError(ERR_FILE_IO, picture_place("while loading", name) + ": " + why);
}

struct BmpInfo {
    uint32_t info_size = 0;
    int64_t width = 0;
    int64_t height = 0;  // magnitude
    bool top_down = false;
    uint32_t bpp = 0;
    int64_t data_offset = 0;
};

BmpInfo parse_headers(PictureStart& start, const std::string& name) {
    const uint8_t* b = start.data;
    auto need = [&](size_t bytes) {
        if (!start.want(bytes)) malformed(name, "the headers cannot be read");
        if (start.n < bytes) malformed(name, "the headers are cut short");
    };
    need(18);
    if (le16(b) != 19778) malformed(name, "not a bitmap");
    BmpInfo info;
    info.data_offset = le32(b + 10);
    info.info_size = le32(b + 14);
    int64_t height = 0;
    uint32_t planes = 0, compression = 0;
    if (info.info_size == 12) {
        need(26);
        info.width = le16(b + 18);
        height = le16(b + 20);
        planes = le16(b + 22);
        info.bpp = le16(b + 24);
    } else if (info.info_size == 40 || info.info_size == 56 || info.info_size == 108 || info.info_size == 124) {
        // The larger headers add 16 bytes and four colour masks, which must be
        // present but mean nothing for palette pictures.
        need(info.info_size == 40 ? 38 : 70);
        info.width = static_cast<int32_t>(le32(b + 18));
        height = static_cast<int32_t>(le32(b + 22));
        planes = le16(b + 26);
        info.bpp = le16(b + 28);
        compression = le32(b + 30);
    } else {
        malformed(name, "an unknown info header size");
    }
    if (planes > 1) malformed(name, "more than one plane");
    if (info.width <= 0 || height == 0) malformed(name, "an empty picture size");
    if (compression > 3) malformed(name, "an unknown compression");
    if (height < 0 && compression != 0 && compression != 3) malformed(name, "compressed rows stored top row first");
    if (info.bpp > 8)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, picture_place("while loading", name) + ": " +
                                                          std::to_string(info.bpp) +
                                                          " bits per pixel do not fit the 256-colour screen");
    // Only the depths and the row layout that tile pictures use are decoded;
    // 2-bit and run-length compressed pictures are refused.
    if (info.bpp != 1 && info.bpp != 4 && info.bpp != 8) malformed(name, "an unsupported pixel depth");
    if (compression == 1 || compression == 2) malformed(name, "run-length compressed rows");
    info.top_down = height < 0;
    info.height = height < 0 ? -height : height;
    return info;
}

// Where the picture goes in SCN: its size limits, row distance and pixel stride.
struct Target {
    int64_t w = 0, h = 0, pitch = 0, base = 0, stride = 1;
};

Target choose_target(State& s, const BmpInfo& info) {
    uint8_t* scn = s.SCN.data();
    Target t;
    // kept: a header already in the buffer (often the one the previous picture
    // left) limits the picture's size and stays in place.
    if (le32(scn) == 7) {
        t.stride = std::max<int64_t>(static_cast<int32_t>(le32(scn + 4)), 1);
        t.w = std::min<int64_t>(info.width, static_cast<int32_t>(le32(scn + 8)));
        t.h = std::min<int64_t>(info.height, static_cast<int32_t>(le32(scn + 12)));
        t.pitch = static_cast<int32_t>(le32(scn + 16));
        t.base = 32;
        return t;
    }
    const uint16_t word = le16(scn);
    const int bytes = word & 7;
    if (bytes == 1 || bytes == 2 || bytes == 4) {
        const int64_t header_w = word >> 3;
        t.stride = bytes;
        t.w = std::min(info.width, header_w);
        t.h = std::min<int64_t>(info.height, le16(scn + 2));
        t.pitch = header_w * bytes;
        t.base = 4;
        return t;
    }
    // A fresh short header; a picture larger than its fields can describe is cut
    // to 8191 by 65535 (only the rows that fit the buffer are stored anyway).
    t.w = std::min<int64_t>(info.width, 8191);
    t.h = std::min<int64_t>(info.height, 65535);
    t.pitch = t.w;
    t.base = 4;
    const uint32_t w8 = static_cast<uint32_t>(t.w * 8 + 1);
    scn[0] = static_cast<uint8_t>(w8 & 0xFF);
    scn[1] = static_cast<uint8_t>(w8 >> 8);
    scn[2] = static_cast<uint8_t>(t.h & 0xFF);
    scn[3] = static_cast<uint8_t>(t.h >> 8);
    return t;
}

bool pread_full(int fd, uint8_t* buf, size_t size, int64_t offset) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::pread(fd, buf + got, size - got, static_cast<off_t>(offset + static_cast<int64_t>(got)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

uint8_t pixel_at(const uint8_t* row, int64_t x, uint32_t bpp) {
    switch (bpp) {
    case 1: return static_cast<uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return static_cast<uint8_t>((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    default: return row[x];
    }
}

}  // namespace

void load_bmp(State& s, PictureStart& start, const std::string& name) {
    const BmpInfo info = parse_headers(start, name);

    const int64_t entries = int64_t{1} << info.bpp;
    const int64_t entry_size = info.info_size == 12 ? 3 : 4;
    const int64_t table = 14 + int64_t{info.info_size};
    const int64_t table_end = table + entries * entry_size;
    if (!start.want(static_cast<size_t>(table_end))) malformed(name, "the colour table cannot be read");
    if (table_end > static_cast<int64_t>(start.n)) malformed(name, "the colour table is cut short");
    // mended: a data offset of 0 means the rows follow the colour table. Counted in
    // bytes (entries times entry size), not in entries, or the rows would be
    // read from inside the colour table.
    const int64_t offset = info.data_offset != 0 ? info.data_offset : table_end;
    const int64_t row_bytes = (info.width * info.bpp + 31) / 32 * 4;
    // The rows must all be in the file. Those of a tile picture are in the
    // buffer by now; only a larger file needs its size asked for.
    const int64_t rows_end = offset + row_bytes * info.height;
    if (!start.want(static_cast<size_t>(std::max<int64_t>(rows_end, 0))))
        malformed(name, "the pixel rows cannot be read");
    if (rows_end > static_cast<int64_t>(start.n)) {
        struct stat st {};
        if (!start.at_end && ::fstat(start.fd, &st) != 0) malformed(name, "its size cannot be read");
        const int64_t size = start.at_end ? static_cast<int64_t>(start.n) : static_cast<int64_t>(st.st_size);
        if (rows_end > size) malformed(name, "the pixel rows are cut short");
    }

    // Everything is checked: the colour table replaces the palette from entry 0.
    for (int64_t i = 0; i < entries; ++i) {
        const uint8_t* e = start.data + table + i * entry_size;
        s.screen.palette[static_cast<size_t>(i)] = Rgb{e[2], e[1], e[0]};
    }
    ++s.screen.palette_serial;

    const Target t = choose_target(s, info);
    auto& row_buf = s.scratch.picture_row;
    for (int64_t r = 0; r < t.h && t.w > 0; ++r) {
        const int64_t dst = t.base + r * t.pitch;
        if (dst < 0 || dst >= kScnEnd) {
            if (t.pitch > 0 && dst >= kScnEnd) break;
            continue;
        }
        // Pixels whose byte lies inside the buffer; the rest of the row is cut off.
        const int64_t count = std::min(t.w, (kScnEnd - dst + t.stride - 1) / t.stride);
        const int64_t file_row = info.top_down ? r : info.height - 1 - r;
        const int64_t src = offset + file_row * row_bytes;
        const int64_t bytes = (count * info.bpp + 7) / 8;
        const uint8_t* row = start.data + src;
        if (src + bytes > static_cast<int64_t>(start.n)) {
            if (!pread_full(start.fd, row_buf.data(), static_cast<size_t>(bytes), src))
                malformed(name, "the pixel rows cannot be read");
            row = row_buf.data();
        }
        if (info.bpp == 8 && t.stride == 1)
            std::memcpy(&s.SCN[static_cast<size_t>(dst)], row, static_cast<size_t>(count));
        else
            for (int64_t x = 0; x < count; ++x)
                s.SCN[static_cast<size_t>(dst + x * t.stride)] = pixel_at(row, x, info.bpp);
    }
}

}  // namespace tlvx
