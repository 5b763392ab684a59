#include "display/image.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"
#include "display/image_bmp.hpp"

namespace tlvx {

namespace {

constexpr size_t kNameLimit = 259;  // a picture name is used up to this many characters

// Closes the descriptor on every way out, errors included.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Block layouts: a 7-byte header with a 16-bit length (253) or a 5-byte header
// with a 32-bit length (254), then the buffer contents as they stand.
void load_block(State& s, PictureStart& start, const std::string& name) {
    const bool short_block = start.data[0] == 253;
    const size_t header = short_block ? 7 : 5;
    if (!start.want(header)) throw RuntimeError(ERR_FILE_IO, picture_place("while reading", name));
    if (start.n < header) throw RuntimeError(ERR_FILE_IO, picture_place("reading the header of", name));
    const uint32_t length = short_block ? le16(start.data + 5) : le32(start.data + 1);
    if (length == 0) throw RuntimeError(ERR_FILE_IO, picture_place("a zero data length in", name));
    // A file shorter than its length field loads what it has. Data beyond the
    // buffer's 2352 bytes is cut off silently (mended: the buffer is never overrun).
    if (!start.want(header + std::min(static_cast<size_t>(length), kScnBytes)))
        throw RuntimeError(ERR_FILE_IO, picture_place("while reading", name));
    const size_t count = std::min({static_cast<size_t>(length), start.n - header, kScnBytes});
    std::memcpy(s.SCN.data(), start.data + header, count);
}

// The image header at the start of SCN, as the blit reads it.
struct ImageHeader {
    int64_t bpp = 0, w = 0, h = 0, pitch = 0, base = 0;
};

ImageHeader read_header(const std::array<uint8_t, kScnBytes>& scn) {
    ImageHeader hd;
    if (le32(scn.data()) == 7) {
        hd.bpp = static_cast<int32_t>(le32(scn.data() + 4));
        hd.w = static_cast<int32_t>(le32(scn.data() + 8));
        hd.h = static_cast<int32_t>(le32(scn.data() + 12));
        hd.pitch = static_cast<int32_t>(le32(scn.data() + 16));
        hd.base = 32;
    } else {
        const uint16_t word = le16(scn.data());
        hd.bpp = word & 7;
        if (hd.bpp == 0) hd.bpp = 1;  // 0 stands for the screen's own depth
        hd.w = word >> 3;
        hd.h = le16(scn.data() + 2);
        hd.pitch = hd.w * hd.bpp;
        hd.base = 4;
    }
    return hd;
}

enum class PutMode { None, Pset, And, Or };

PutMode put_mode(const std::string& m) {
    if (m == "pset") return PutMode::Pset;
    if (m == "and") return PutMode::And;
    if (m == "or") return PutMode::Or;
    return PutMode::None;
}

}  // namespace

bool PictureStart::want(size_t bytes) {
    const size_t goal = std::min(bytes, cap);
    while (n < goal && !at_end) {
        const ssize_t got = ::read(fd, data + n, cap - n);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) at_end = true;
        n += static_cast<size_t>(got);
    }
    return true;
}

std::string picture_place(const char* what, const std::string& name) {
    return std::string(what) + " picture \"" + name + "\"";
}

void load_image(State& s, const std::string& name) {
    // Rows of a BMP larger than the start buffer are fetched with pread.
    auto& buf = s.scratch.picture_start;
    std::string& path = s.scratch.picture_path;
    const std::string_view used = std::string_view(name).substr(0, kNameLimit);
    if (s.names_stay_in_folder && name_leaves_folder(used))
        throw RuntimeError(ERR_FILE_NOT_FOUND, outside_folder_place("while loading picture", name));
    resolve_path_into(s, used, path);
    // O_NONBLOCK: the open of a FIFO named by the tables does not wait.
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) throw RuntimeError(ERR_FILE_NOT_FOUND, picture_place("while loading", name));
    // mended: only a regular file is read as a picture; a FIFO or a terminal
    // made the read wait for ever, a device that never ends was read on.
    // They fail as a folder always did, as a file that cannot be read.
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw RuntimeError(ERR_FILE_IO, picture_place("while reading", name));
    PictureStart start{file.fd, buf.data(), buf.size()};
    if (!start.want(1)) throw RuntimeError(ERR_FILE_IO, picture_place("while reading", name));
    if (start.n == 0) throw RuntimeError(ERR_FILE_IO, picture_place("reading the empty", name));
    switch (buf[0]) {
    case 253:
    case 254: load_block(s, start, name); break;
    case 66: load_bmp(s, start, name); break;
    default: throw RuntimeError(ERR_FILE_IO, picture_place("an unknown layout in", name));
    }
}

void blit_image(State& s, int32_t x, int32_t y, const std::string& mode) {
    const PutMode op = put_mode(mode);
    if (op == PutMode::None) return;
    if (!s.screen.open) throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, "drawing a picture with no graphics screen open");
    const ImageHeader hd = read_header(s.SCN);
    if (hd.bpp != 1)
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL,
                           "drawing a picture of " + std::to_string(hd.bpp) + " bytes per pixel");
    if (hd.w <= 0 || hd.h <= 0) return;

    // Clip to the screen; pixels keep their place.
    const int64_t xa = std::max<int64_t>(x, 0), xb = std::min<int64_t>(int64_t{x} + hd.w - 1, kScreenW - 1);
    const int64_t ya = std::max<int64_t>(y, 0), yb = std::min<int64_t>(int64_t{y} + hd.h - 1, kScreenH - 1);
    constexpr int64_t kEnd = static_cast<int64_t>(kScnBytes);
    for (int64_t sy = ya; sy <= yb; ++sy) {
        // A header whose rows reach past the buffer draws only the pixels that
        // lie inside it; the buffer is never read beyond its end.
        const int64_t row = hd.base + (sy - y) * hd.pitch;
        const int64_t first = std::max(xa, x - row);              // pixel at buffer index >= 0
        const int64_t last = std::min(xb, x + (kEnd - 1 - row));  // pixel at buffer index < 2352
        if (first > last) continue;
        const uint8_t* src = s.SCN.data() + (row + first - x);
        uint8_t* dst = &s.screen.at(static_cast<int>(first), static_cast<int>(sy));
        const size_t count = static_cast<size_t>(last - first + 1);
        switch (op) {
        case PutMode::Pset: std::memcpy(dst, src, count); break;
        case PutMode::And:
            for (size_t i = 0; i < count; ++i) dst[i] &= src[i];
            break;
        case PutMode::Or:
            for (size_t i = 0; i < count; ++i) dst[i] |= src[i];
            break;
        case PutMode::None: break;
        }
    }
}

void mark_drawn(std::string& name) {
    if (name.size() >= 12) name[11] = 'v';
}

bool picture_leaves_folder(const std::string& name) {
    return name_leaves_folder(std::string_view(name).substr(0, kNameLimit));
}

std::string drawn_name(std::string name) {
    mark_drawn(name);
    return name;
}

void GRAPHICPUT(State& s, std::string& GRPT, int32_t& X, int32_t& Y, std::string& M) {
    mark_drawn(GRPT);
    // kept: the on-screen test uses 640 by 350, not the screen's size.
    // mended: the sums are formed in 64 bits so that positions near
    // the ends of the 32-bit range compare by their true value instead of wrapping.
    if (!(int64_t{X} + s.SZ - 1 < 640 && int64_t{Y} + s.SZ - 1 < 350)) return;
    if (GRPT.empty()) return;
    load_image(s, GRPT);
    blit_image(s, X, Y, M);
}

}  // namespace tlvx
