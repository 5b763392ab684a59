#include "world/world_load.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "display/image.hpp"
#include "display/screen.hpp"
#include "display/status.hpp"
#include "display/view.hpp"
#include "world/demo_world.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

namespace {

bool run_step(std::vector<LoadFailure>& failures, const char* step, const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (const RuntimeError& e) {
        failures.push_back({step, describe(e)});
        return false;
    }
}

}  // namespace

std::vector<LoadFailure> load_world_tables(State& s, const std::string& dir) {
    std::vector<LoadFailure> failures;
    s.data_dir = dir;
    s.names_stay_in_folder = true;
    s.platform = nullptr;
    s.SCRN = 13;
    SCREEN_OPEN(s, s.SCRN);
    run_step(failures, "palette file", [&] { load_palette_file(s); });
    read_world_tables(
        s, [&failures](const char* step, const std::function<void()>& load) { return run_step(failures, step, load); });
    return failures;
}

std::string name_outside_folder(const State& s) {
    const std::string outside = ", outside the world folder";
    const std::string description = world_description_name(s.P1_S);
    if (name_leaves_folder(description))
        return "the save file names the world description \"" + description + "\"" + outside;
    for (int32_t v = 0; v <= 256; ++v)
        if (picture_leaves_folder(s.M_S(v)))
            return "the tile table names the picture \"" + s.M_S(v) + "\" (ground value " + std::to_string(v) + ")" +
                   outside;
    for (int32_t v = 0; v <= 255; ++v)
        for (int32_t f = 1; f <= 4; ++f) {
            const std::string& picture = s.OBJ_S(v, f);
            // The mask name is made from the table entry, whose 12th
            // character a draw rewrites: both spellings are read.
            for (const std::string& name : {picture, mask_name(picture), mask_name(drawn_name(picture))})
                if (picture_leaves_folder(name))
                    return "the object table names the picture \"" + picture + "\" (object value " + std::to_string(v) +
                           ", frame " + std::to_string(f) + ")" +
                           (name == picture ? "" : ", whose mask \"" + name + "\" is") + outside;
        }
    return "";
}

std::set<std::string> world_file_names(const State& s) {
    const std::vector<std::string> start = start_file_names(s.P1_S);
    std::set<std::string> names(start.begin(), start.end());
    const auto add = [&names](std::string name) {
        if (name.empty() || name_leaves_folder(name)) return;
        std::replace(name.begin(), name.end(), '\\', '/');
        while (name.size() >= 2 && name[0] == '.' && name[1] == '/') name.erase(0, 2);
        names.insert(name.substr(0, name.find('/')));
    };
    const auto add_picture = [&add](const std::string& name) {
        add(name);
        add(drawn_name(name));
    };
    for (int32_t v = 0; v <= 256; ++v) add_picture(s.M_S(v));
    for (int32_t v = 0; v <= 255; ++v)
        for (int32_t f = 1; f <= 4; ++f) {
            const std::string& picture = s.OBJ_S(v, f);
            add_picture(picture);
            add_picture(mask_name(picture));
            add_picture(mask_name(drawn_name(picture)));
        }
    return names;
}

std::string load_failure_message(const std::string& dir, const std::vector<LoadFailure>& failures) {
    if (failures.empty()) return "";
    std::string msg = "the world in " + dir + " does not load: " + failures[0].step + ": " + failures[0].message;
    if (failures.size() > 1)
        msg += " (and " + std::to_string(failures.size() - 1) + " more; tlvx-tool info " + dir + " lists them)";
    return msg;
}

LayerReader::LayerReader(const std::string& path) : path_(path) {
    // O_NONBLOCK: a FIFO in a layer file's place is refused below, not waited on.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        exists_ = S_ISDIR(st.st_mode);
        return;
    }
    exists_ = true;
    size_ = st.st_size;
}

LayerReader::~LayerReader() {
    if (fd_ >= 0) ::close(fd_);
}

void LayerReader::header(int32_t& wx, int32_t& wy) const {
    uint8_t h[kLayerHeaderBytes];
    read(0, h, sizeof h);
    layer_map_size(h, wx, wy);
}

void LayerReader::read(int64_t offset, uint8_t* out, size_t n) const {
    std::memset(out, 0, n);
    if (fd_ < 0 || offset >= size_) return;
    size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - offset));
    size_t got = 0;
    while (got < want) {
        ssize_t r = ::pread(fd_, out + got, want - got, static_cast<off_t>(offset + static_cast<int64_t>(got)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throw ToolError("cannot read " + path_ + ": " + std::strerror(errno));
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
}

void LayerReader::read_cells(int64_t wx, int64_t c0, int64_t r, uint8_t* out, size_t n) const {
    read(layer_offset(wx, c0, r).value(), out, n);
}

void LayerReader::count_values(int64_t begin, int64_t end, uint64_t counts[256], ValuePlaces* ones) const {
    if (end <= begin) return;
    const int64_t data_end = std::min(end, fd_ >= 0 ? size_ : 0);
    std::vector<uint8_t> buf(size_t{4} << 20);
    int64_t pos = begin;
    while (pos < data_end) {
        // Skip a hole: it holds zeros and reading it would only cost time.
#ifdef SEEK_DATA
        off_t data = ::lseek(fd_, static_cast<off_t>(pos), SEEK_DATA);
#else
        off_t data = -1;  // the browser's file system knows no holes
        errno = EINVAL;
#endif
        if (data < 0) {
            if (errno == ENXIO) break;       // nothing but a hole up to the end
            data = static_cast<off_t>(pos);  // no hole information: read everything
        }
        int64_t stop = data_end;
        if (data > pos) {
            counts[0] += static_cast<uint64_t>(std::min<int64_t>(data, data_end) - pos);
            pos = data;
            if (pos >= data_end) break;
        }
#ifdef SEEK_HOLE
        off_t hole = ::lseek(fd_, static_cast<off_t>(pos), SEEK_HOLE);
#else
        off_t hole = -1;
#endif
        if (hole > pos) stop = std::min<int64_t>(hole, data_end);
        while (pos < stop) {
            size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), stop - pos));
            read(pos, buf.data(), n);
            for (size_t i = 0; i < n; ++i) ++counts[buf[i]];
            if (ones) {
                const auto* first = static_cast<const uint8_t*>(std::memchr(buf.data(), 1, n));
                if (first) {
                    if (ones->first < 0) ones->first = pos + (first - buf.data());
                    ones->last = pos + (static_cast<const uint8_t*>(::memrchr(buf.data(), 1, n)) - buf.data());
                }
            }
            pos += static_cast<int64_t>(n);
        }
    }
    if (pos < end) counts[0] += static_cast<uint64_t>(end - pos);
}

}  // namespace tlvx::world
