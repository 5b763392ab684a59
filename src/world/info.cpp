#include "world/info.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "base/error.hpp"
#include "base/input_file.hpp"
#include "base/state.hpp"
#include "base/world_lock.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "display/image.hpp"
#include "display/view.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::world {

namespace {

// What info says of a name that leads out of the world folder.
constexpr const char* kOutsideFolder =
    " is outside the world folder: the game reads it from there, where a copy of the world does not bring it, "
    "and the tools do not read it";

const char* const kLayerRoles[5] = {"ground", "creatures", "structures", "unused", "unused"};

int64_t file_size(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

// Up to `limit` bytes from the start of a file.
// Only a regular file is read, so that a FIFO or a terminal never waits.
bool read_file_prefix(const std::string& path, size_t limit, std::string& out) {
    const InputFile f = open_input_file(path, InputLinks::Follow);
    if (!f) return false;
    out.resize(limit);
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(f.fd, out.data() + got, limit - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return true;
}

std::string cells(uint64_t n) { return std::to_string(n) + (n == 1 ? " cell" : " cells"); }

// The label and the values with their counts, wrapped into rows of about 90
// characters; each row is a line of the report of its own, so the escaping of
// names from files never touches these line breaks.
void add_value_counts(std::vector<std::string>& lines, const std::string& label, const uint64_t counts[256]) {
    std::string prefix = label, row;
    for (int v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        std::string item = std::to_string(v) + " x " + std::to_string(counts[v]);
        if (!row.empty() && row.size() + item.size() > 90) {
            lines.push_back(prefix + row + ",");
            prefix = "      ";
            row.clear();
        } else if (!row.empty()) {
            row += ", ";
        }
        row += item;
    }
    lines.push_back(prefix + (row.empty() ? "none" : row));
}

uint32_t le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(k)]);
    return v;
}

// Why a picture that loads without an error still draws wrong pixels, or "":
// a block file shorter than its header says, or an image whose rows reach
// beyond the data loaded (the rest shows what the picture before left in the
// image buffer) or beyond the buffer (cut off).
std::string picture_defect(const std::string& path) {
    std::string b;
    if (!read_file_prefix(path, kScnBytes + 64, b) || b.empty()) return "";
    const auto byte0 = static_cast<uint8_t>(b[0]);
    const std::string buffer = std::to_string(kScnBytes);
    if (byte0 == 66) {
        if (b.size() < 26) return "";
        const uint32_t info = le(b, 14, 4);
        int64_t w = 0, h = 0;
        if (info == 12) {
            w = le(b, 18, 2), h = le(b, 20, 2);
        } else {
            w = static_cast<int32_t>(le(b, 18, 4)), h = static_cast<int32_t>(le(b, 22, 4));
            h = h < 0 ? -h : h;
        }
        if (4 + w * h > static_cast<int64_t>(kScnBytes))
            return "it is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, more than the " + buffer +
                   "-byte image buffer holds: the pixels beyond it are not drawn";
        return "";
    }
    if (byte0 != 253 && byte0 != 254) return "";
    const size_t header = byte0 == 253 ? 7 : 5;
    if (b.size() < header) return "";
    const int64_t length = byte0 == 253 ? le(b, 5, 2) : le(b, 1, 4);
    const int64_t size = file_size(path);
    const int64_t held = std::max<int64_t>(size - static_cast<int64_t>(header), 0);
    if (held < length)
        return "its file holds " + std::to_string(held) + " of the " + std::to_string(length) +
               " data bytes its header gives: the rest of the picture shows what the picture before left";
    const int64_t loaded = std::min<int64_t>(length, static_cast<int64_t>(kScnBytes));
    if (loaded < 4) return "";
    const std::string data = b.substr(header);
    int64_t w = 0, h = 0, bpp = 0, pitch = 0, base = 0;
    if (data.size() >= 32 && le(data, 0, 4) == 7) {
        bpp = static_cast<int32_t>(le(data, 4, 4)), w = static_cast<int32_t>(le(data, 8, 4));
        h = static_cast<int32_t>(le(data, 12, 4)), pitch = static_cast<int32_t>(le(data, 16, 4)), base = 32;
    } else {
        const uint32_t word = le(data, 0, 2);
        bpp = (word & 7) == 0 ? 1 : word & 7, w = word >> 3, h = le(data, 2, 2), pitch = w * bpp, base = 4;
    }
    if (w <= 0 || h <= 0 || bpp != 1) return "";  // nothing drawn, or the draw fails
    const int64_t needed = base + (h - 1) * pitch + w;
    if (needed > static_cast<int64_t>(kScnBytes))
        return "it is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, more than the " + buffer +
               "-byte image buffer holds: the pixels beyond it are not drawn";
    if (needed > loaded)
        return "its data ends before its " + std::to_string(w) + " x " + std::to_string(h) +
               " pixels do: the rest shows what the picture before left";
    return "";
}

class Inspector {
public:
    explicit Inspector(const std::string& dir) : dir_(dir) {}
    WorldInfo run();

private:
    void check_tables();
    void check_layers();
    void check_unused_files();
    void count_cells();
    void check_roads();
    void check_pictures();
    void check_start();
    // Draw a picture the way the game does; "" when it draws, else the error.
    std::string draw_error(const std::string& name, const char* mode);
    void check_object(int v, uint64_t count, const char* layer);

    std::string dir_;
    State s_;
    WorldInfo info_;
    bool save_loaded_ = false;
    bool outside_reported_ = false;  // a name leading out of the folder is among the problems
    bool live_ = false;              // a program holds the world's lock
    std::unique_ptr<LayerReader> layers_[5];
    int32_t wx_ = 0, wy_ = 0;
    uint64_t counts_[3][256] = {};
    ValuePlaces markers_;                       // the first and last creature value 1
    std::map<std::string, std::string> drawn_;  // picture name + mode -> error text
};

WorldInfo Inspector::run() {
    // A running game moves the player marker while this reads the
    // layers and the save file, so what they say of it is no finding (the
    // advice to remove a marker would damage the live game).
    const std::string holder = world_lock_holder(dir_);
    live_ = !holder.empty();
    if (live_)
        info_.lines.push_back("in use: the world is in use by " + holder +
                              "; its player markers are not checked while it runs");
    check_tables();
    check_layers();
    check_unused_files();
    if (const std::string problem = read_only_world_problem(dir_); !problem.empty())
        info_.problems.push_back("start-up refuses it: " + problem);
    if (wx_ > 0 && wy_ > 0) {
        count_cells();
        check_roads();
        check_pictures();
    }
    check_start();
    // A name outside the folder in a table entry no cell uses: render and
    // export-tiled refuse the world all the same.
    if (const std::string outside = name_outside_folder(s_); !outside.empty() && !outside_reported_)
        info_.problems.push_back(outside + ": render and export-tiled refuse the world");
    return std::move(info_);
}

void Inspector::check_tables() {
    std::vector<LoadFailure> failures = load_world_tables(s_, dir_);
    save_loaded_ = true;
    for (const LoadFailure& f : failures) {
        if (f.step == "world description" && name_leaves_folder(world_description_name(s_.P1_S))) {
            info_.problems.push_back("the save file names the world description \"" + world_description_name(s_.P1_S) +
                                     "\"" + kOutsideFolder);
            outside_reported_ = true;
            continue;
        }
        info_.problems.push_back("start-up stops at the " + f.step + ": " + f.message);
        if (f.step == "save file") {
            save_loaded_ = false;
            info_.notes.push_back("the world description was not checked: the save file names it");
        }
    }
    if (save_loaded_) info_.lines.push_back("world: \"" + s_.P2_S + "\" (" + world_description_name(s_.P1_S) + ")");
}

void Inspector::check_layers() {
    for (int k = 0; k < 5; ++k) layers_[k] = std::make_unique<LayerReader>(join_path(dir_, kLayerNames[k]));
    layers_[0]->header(wx_, wy_);
    info_.lines.push_back("map: " + std::to_string(wx_) + " x " + std::to_string(wy_) + " cells");
    const int64_t expected = layer_file_length(wx_, wy_);
    for (int k = 0; k < 5; ++k) {
        const LayerReader& l = *layers_[k];
        std::string name = kLayerNames[k];
        std::string line = name + " (" + kLayerRoles[k] + "): ";
        if (!l.exists()) {
            info_.lines.push_back(line + "missing");
            if (k == 0)
                info_.problems.push_back(name +
                                         " is missing: the game creates it empty and stops with runtime "
                                         "error 1 (illegal function call) at the first view read");
            else info_.notes.push_back(name + " is missing: the game creates it empty, every cell 0");
            continue;
        }
        info_.lines.push_back(line + std::to_string(l.size()) + " bytes, expected " + std::to_string(expected));
        if (k > 0 && l.size() >= 4) {
            int32_t w = 0, h = 0;
            l.header(w, h);
            if (w != wx_ || h != wy_)
                info_.notes.push_back(name + " says its map is " + std::to_string(w) + " x " + std::to_string(h) +
                                      "; only the ground layer's size counts, so its cells are read as " +
                                      std::to_string(wx_) + " x " + std::to_string(wy_));
        }
        if (l.size() < expected)
            info_.notes.push_back(name + " is shorter than the map needs (" + std::to_string(l.size()) + " of " +
                                  std::to_string(expected) + " bytes): the cells beyond its end read as 0");
        else if (l.size() > expected)
            info_.notes.push_back(name + " holds " + std::to_string(l.size() - expected) +
                                  " bytes more than the map needs; they are never read");
    }
    if (layers_[0]->exists() && (wx_ == 0 || wy_ == 0))
        info_.problems.push_back(std::string(kLayerNames[0]) + " holds no map (its header gives " +
                                 std::to_string(wx_) + " x " + std::to_string(wy_) +
                                 " cells): start-up stops with runtime error 1 at the first view read");
}

// Files of the folder that the game never reads: a copy of the world carries
// them for nothing, and the page refuses a world that brings one. Hidden files
// are the programs' own (the lock file, a writer's temporary) and are left out.
void Inspector::check_unused_files() {
    if (!save_loaded_) return;
    const std::set<std::string> names = world_file_names(s_);
    std::vector<std::string> unused;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.' && names.count(name) == 0) unused.push_back(std::move(name));
    }
    if (unused.empty()) return;
    std::sort(unused.begin(), unused.end());
    std::string list;
    for (size_t i = 0; i < unused.size() && i < 3; ++i) list += (i ? ", \"" : "\"") + unused[i] + "\"";
    if (unused.size() > 3) list += " and " + std::to_string(unused.size() - 3) + " more";
    info_.notes.push_back(list + (unused.size() == 1 ? " is" : " are") +
                          " not part of the world: no table of it names " + (unused.size() == 1 ? "it" : "them") +
                          " and the game never reads " + (unused.size() == 1 ? "it" : "them"));
}

void Inspector::count_cells() {
    const int64_t begin = layer_offset(wx_, 1, 1).value(), end = layer_file_length(wx_, wy_);
    // One pass over each layer, reading only its data extents (a sparse map
    // of 65535 x 65535 cells costs what its written cells cost); the creature
    // layer's pass also notes where the player markers are.
    for (int k = 0; k < 3; ++k) layers_[k]->count_values(begin, end, counts_[k], k == 1 ? &markers_ : nullptr);
    add_value_counts(info_.lines, "ground values:    ", counts_[0]);
    add_value_counts(info_.lines, "creature values:  ", counts_[1]);
    add_value_counts(info_.lines, "structure values: ", counts_[2]);
}

// Road cells in the margin where the centre clamp never leaves the player:
// road-following that reaches one is pulled back at once, turns and walks on
// (or stops facing the edge) while the clock runs. Only the margin is read.
void Inspector::check_roads() {
    if (!save_loaded_) return;
    bool road[256] = {}, any = false;
    for (int v = 0; v < 256; ++v) {
        road[v] = in_list(s_.RD_S, v);
        any |= road[v] && counts_[0][v] > 0;
    }
    if (!any) return;
    const CentreRange cols = centres_kept(wx_), rows = centres_kept(wy_);
    uint64_t n = 0;
    int64_t ex = 0, ey = 0;
    std::vector<uint8_t> row(static_cast<size_t>(wx_));
    auto scan = [&](int64_t c0, int64_t r, int64_t count) {
        if (count <= 0) return;
        layers_[0]->read_cells(wx_, c0, r, row.data(), static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i)
            if (road[row[static_cast<size_t>(i)]] && n++ == 0) ex = c0 + i, ey = r;
    };
    for (int64_t r = 1; r <= wy_; ++r) {
        if (r < rows.first || r > rows.last) {
            scan(1, r, wx_);
            continue;
        }
        scan(1, r, std::min<int64_t>(cols.first - 1, wx_));
        scan(std::max<int64_t>(cols.last + 1, 1), r, wx_ - std::max<int64_t>(cols.last, 0));
    }
    if (n == 0) return;
    info_.notes.push_back(std::to_string(n) + (n == 1 ? " road cell lies" : " road cells lie") + " outside columns " +
                          std::to_string(cols.first) + " to " + std::to_string(cols.last) + " and rows " +
                          std::to_string(rows.first) + " to " + std::to_string(rows.last) +
                          ", where the player can never stand, e.g. (" + std::to_string(ex) + ", " +
                          std::to_string(ey) + "): road-following is pulled back from there while the clock runs on");
}

std::string Inspector::draw_error(const std::string& name, const char* mode) {
    auto key = name + '\n' + mode;
    auto found = drawn_.find(key);
    if (found != drawn_.end()) return found->second;
    std::string error;
    std::string n = name, m = mode;
    int32_t x = 0, y = 0;
    s_.SCN.fill(0);
    // mended: such a picture was read from beside the world folder; info
    // names it (the tools open nothing outside the world).
    if (picture_leaves_folder(name)) {
        outside_reported_ = true;
        return drawn_[key] = "picture \"" + name + "\"" + kOutsideFolder;
    }
    try {
        GRAPHICPUT(s_, n, x, y, m);
    } catch (const RuntimeError& e) {
        error = describe(e);
    }
    if (error.empty()) {
        const std::string defect = picture_defect(resolve_path(s_, drawn_name(name)));
        if (!defect.empty()) error = "picture \"" + drawn_name(name) + "\" draws wrong pixels: " + defect;
    }
    drawn_[key] = error;
    return error;
}

void Inspector::check_object(int v, uint64_t count, const char* layer) {
    std::string what = std::string(layer) + " value " + std::to_string(v) + " (" + cells(count) + ")";
    int empty = 0;
    for (int f = 1; f <= 4; ++f) {
        const std::string& picture = s_.OBJ_S(v, f);
        if (picture.empty()) {
            ++empty;
            continue;
        }
        // The mask name comes from the table entry, whose 12th character the
        // first draw rewrites: both spellings can be read.
        std::set<std::string> masks = {mask_name(picture), mask_name(drawn_name(picture))};
        for (const std::string& mask : masks) {
            std::string e = draw_error(mask, "and");
            if (!e.empty()) info_.problems.push_back(what + ", frame " + std::to_string(f) + " mask: " + e);
        }
        std::string e = draw_error(picture, "or");
        if (!e.empty()) info_.problems.push_back(what + ", frame " + std::to_string(f) + ": " + e);
    }
    if (empty == 4) info_.notes.push_back(what + " has no pictures: it is not drawn");
    else if (empty > 0)
        info_.notes.push_back(what + " has no picture in " + std::to_string(empty) + " of its 4 frames");
}

void Inspector::check_pictures() {
    for (int v = 0; v < 256; ++v) {
        const uint64_t n = counts_[0][v];
        if (n == 0) continue;
        if (s_.M_S(v).empty()) {
            info_.notes.push_back("ground value " + std::to_string(v) + " (" + cells(n) +
                                  ") has no picture: its cells show whatever was drawn there before");
            continue;
        }
        std::string e = draw_error(s_.M_S(v), "pset");
        if (!e.empty()) info_.problems.push_back("ground value " + std::to_string(v) + " (" + cells(n) + "): " + e);
    }
    for (int v = 1; v < 256; ++v)
        if (counts_[1][v] > 0) check_object(v, counts_[1][v], "creature");
    for (int v = 1; v < 256; ++v)
        if (counts_[2][v] > 0 && s_.OBJ_M(v) <= 2) check_object(v, counts_[2][v], "structure");
}

void Inspector::check_start() {
    if (!save_loaded_) return;
    const int32_t x = s_.VX2, y = s_.VY2;
    s_.WX = wx_;
    s_.WY = wy_;
    centre_clamp(s_);
    std::string line = "start: (" + std::to_string(x) + ", " + std::to_string(y) + ") in the save file";
    if (s_.VX2 != x || s_.VY2 != y)
        line += "; start-up moves the player to (" + std::to_string(s_.VX2) + ", " + std::to_string(s_.VY2) + ")";
    info_.lines.push_back(line);
    // The first view read reads the 49 cells around the start; a negative
    // position stops start-up (maps under 7 cells a side).
    for (int64_t dy = -3; dy <= 3 && wx_ > 0 && wy_ > 0; ++dy)
        for (int64_t dx = -3; dx <= 3; ++dx) {
            if (cell_position(s_, s_.VX2 + dx, s_.VY2 + dy) < 0) {
                info_.problems.push_back(
                    "the map is too small for the view: start-up stops with runtime error 1 "
                    "reading a cell at a negative position");
                dy = dx = 4;
            }
        }
    if (wx_ == 0 || wy_ == 0 || s_.VX2 < 1 || s_.VY2 < 1 || s_.VX2 > wx_ || s_.VY2 > wy_) return;
    uint8_t v[3];
    for (int k = 0; k < 3; ++k) layers_[k]->read_cells(wx_, s_.VX2, s_.VY2, &v[k], 1);
    info_.lines.push_back("start cell: ground " + std::to_string(v[0]) + ", creature " + std::to_string(v[1]) +
                          ", structure " + std::to_string(v[2]));
    if (live_) return;
    if (v[1] == 0)
        info_.notes.push_back("the start cell holds no player marker (creature value 1): the player is not drawn");
    else if (v[1] > 1)
        info_.notes.push_back("the start cell holds creature value " + std::to_string(v[1]) +
                              ", not the player marker 1");
    // A marker anywhere else is left over (from a crash or from another
    // program changing the world): it shows as a second player.
    const int64_t start = layer_offset(wx_, s_.VX2, s_.VY2).value();
    const uint64_t elsewhere = counts_[1][1] - (v[1] == 1 ? 1 : 0);
    if (elsewhere > 0) {
        const int64_t at = markers_.first != start ? markers_.first : markers_.last;
        const LayerCell cell = layer_cell(wx_, at);
        info_.notes.push_back("the creature layer holds the player marker (creature value 1) in " + cells(elsewhere) +
                              " besides the start cell, e.g. (" + std::to_string(cell.c) + ", " +
                              std::to_string(cell.r) +
                              "): each shows as a second player; remove it with Backspace or /");
    }
}

}  // namespace

WorldInfo inspect_world(const std::string& dir) { return Inspector(dir).run(); }

std::string format_info(const WorldInfo& info) {
    std::string out;
    // Names come from the data files: printed escaped, so that none can
    // break a line of the report.
    for (const std::string& l : info.lines) out += printable(l) + "\n";
    if (!info.notes.empty()) {
        out += "\nNotes:\n";
        for (const std::string& n : info.notes) out += "  - " + printable(n) + "\n";
    }
    if (info.problems.empty()) {
        out += "\nNo problems: the world starts and every cell of its map can be drawn.\n";
    } else {
        out += "\nProblems (the game would stop with a runtime error or draw wrong pixels):\n";
        for (const std::string& p : info.problems) out += "  - " + printable(p) + "\n";
    }
    return out;
}

}  // namespace tlvx::world
