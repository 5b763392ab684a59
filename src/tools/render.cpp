#include "tools/render.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

#include "base/error.hpp"
#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "display/image.hpp"
#include "display/view.hpp"
#include "formats/png_writer.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::tools {

namespace {

constexpr int kCell = 24;
// One window of cells drawn on the 320x200 screen at a time.
constexpr int64_t kWindowCols = 13, kWindowRows = 8;
// Pictures reaching further than this many cells beyond their own cell are
// cut off there.
constexpr int64_t kMaxReachCells = 16;

int64_t floor_half(int64_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

int32_t to_int32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// How far, in whole cells, a cell's pictures can reach beyond the cell.
struct Reach {
    int64_t left = 0, right = 0, up = 0, down = 0;
    void widen(int64_t x0, int64_t y0, int64_t w, int64_t h) {  // a picture at (x0, y0) from the cell corner
        auto cells = [](int64_t px) {
            return std::min<int64_t>(kMaxReachCells, (std::max<int64_t>(px, 0) + kCell - 1) / kCell);
        };
        left = std::max(left, cells(-x0));
        up = std::max(up, cells(-y0));
        right = std::max(right, cells(x0 + w - kCell));
        down = std::max(down, cells(y0 + h - kCell));
    }
};

// The size of a picture as the blit would draw it when loaded on its own;
// false when it cannot be loaded (drawing it fails in the game as here).
bool picture_size(State& s, const std::string& name, int64_t& w, int64_t& h) {
    s.SCN.fill(0);
    try {
        load_image(s, drawn_name(name));
    } catch (const RuntimeError&) {
        return false;
    }
    const uint8_t* b = s.SCN.data();
    auto u32 = [&](int at) {
        return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
               static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    };
    if (u32(0) == 7) {
        w = static_cast<int32_t>(u32(8));
        h = static_cast<int32_t>(u32(12));
    } else {
        w = (b[0] | b[1] << 8) >> 3;
        h = b[2] | b[3] << 8;
    }
    return true;
}

// Measuring loads every picture of the tables; the palette changes of BMP
// pictures and the image buffer are undone so that drawing starts as fresh.
Reach world_reach(State& s) {
    const auto palette = s.screen.palette;
    Reach reach;
    for (int z = 1; z <= 255; ++z) {
        int64_t w = 0, h = 0;
        if (!s.M_S(z).empty() && picture_size(s, s.M_S(z), w, h)) reach.widen(0, 0, w, h);
    }
    for (int n = 1; n <= 255; ++n) {
        const int64_t o = floor_half(int64_t{kCell} - s.OBJ(n));
        for (int f = 1; f <= 4; ++f) {
            const std::string& picture = s.OBJ_S(n, f);
            for (const std::string& name : {mask_name(picture), picture}) {
                int64_t w = 0, h = 0;
                if (!name.empty() && picture_size(s, name, w, h)) reach.widen(o, o, w, h);
            }
        }
    }
    s.screen.palette = palette;
    s.SCN.fill(0);
    return reach;
}

// Paints one map cell with its corner at screen pixel (x, y), in the order
// and with the calls of the game's view cell drawing.
void paint_cell(State& s, int64_t x, int64_t y, int32_t ground, int32_t structure, int32_t creature) {
    std::string pset = "pset", and_mode = "and", or_mode = "or";
    int32_t px = to_int32(x), py = to_int32(y);
    GRAPHICPUT(s, s.M_S(ground), px, py, pset);
    auto masked = [&](int32_t n) {
        const int64_t o = floor_half(int64_t{s.SZ} - s.OBJ(n));
        int32_t ox = to_int32(x + o), oy = to_int32(y + o);
        std::string& picture = s.OBJ_S(n, s.GC);
        std::string mask = mask_name(picture);
        GRAPHICPUT(s, mask, ox, oy, and_mode);
        GRAPHICPUT(s, picture, ox, oy, or_mode);
    };
    if (structure > 0 && s.OBJ_M(structure) < 2) masked(structure);
    if (creature > 0) masked(creature);
    if (structure > 0 && s.OBJ_M(structure) == 2) masked(structure);
}

// The three layers of a block of map cells, read once per band.
struct CellBlock {
    int64_t c0 = 0, r0 = 0, cols = 0, rows = 0;
    std::vector<uint8_t> ground, structure, creature;

    void load(world::LayerReader* layers[3], int64_t wx, int64_t first_col, int64_t first_row, int64_t ncols,
              int64_t nrows) {
        c0 = first_col, r0 = first_row, cols = ncols, rows = nrows;
        const size_t n = static_cast<size_t>(cols * rows);
        ground.assign(n, 0), structure.assign(n, 0), creature.assign(n, 0);
        for (int64_t r = 0; r < rows; ++r) {
            const size_t at = static_cast<size_t>(r * cols);
            const size_t len = static_cast<size_t>(cols);
            layers[0]->read_cells(wx, c0, r0 + r, &ground[at], len);
            layers[1]->read_cells(wx, c0, r0 + r, &creature[at], len);
            layers[2]->read_cells(wx, c0, r0 + r, &structure[at], len);
        }
    }
    size_t at(int64_t c, int64_t r) const { return static_cast<size_t>((r - r0) * cols + (c - c0)); }
};

void show_progress(int64_t done, int64_t total) {
    const int width = 40;
    int filled = static_cast<int>(done * width / std::max<int64_t>(total, 1));
    std::fprintf(stderr, "\rrendering [%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), '.').c_str(),
                 static_cast<int>(done * 100 / std::max<int64_t>(total, 1)));
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

std::optional<CellRegion> parse_region(const std::string& text) {
    std::istringstream in(text);
    CellRegion r;
    char c1 = 0, c2 = 0, c3 = 0;
    if (!(in >> r.x >> c1 >> r.y >> c2 >> r.w >> c3 >> r.h) || c1 != ',' || c2 != ',' || c3 != ',') return std::nullopt;
    if (!in.eof() && in.peek() != EOF) return std::nullopt;
    // No map is larger than 65535 cells a side; the bound also keeps the sums
    // of the checks that follow far from overflowing.
    for (const int64_t v : {r.x, r.y, r.w, r.h})
        if (v < 1 || v > 65535) return std::nullopt;
    return r;
}

void render_world(const RenderOptions& opt) {
    world::require_folder(opt.dir);
    world::require_output(opt.out);
    State s;
    std::vector<world::LoadFailure> failures = world::load_world_tables(s, opt.dir);
    if (!failures.empty()) throw world::ToolError(world::load_failure_message(opt.dir, failures));
    // mended: a picture name leading out of the world folder drew a file
    // beside it into the picture; render refuses the world instead.
    if (const std::string outside = world::name_outside_folder(s); !outside.empty())
        throw world::ToolError("cannot draw the world in " + opt.dir + ": " + outside +
                               "; render reads only the world's own files");
    world::LayerReader ground(world::join_path(opt.dir, kLayerNames[0])),
        creature(world::join_path(opt.dir, kLayerNames[1])), structure(world::join_path(opt.dir, kLayerNames[2]));
    world::LayerReader* layers[3] = {&ground, &creature, &structure};
    int32_t wx = 0, wy = 0;
    ground.header(wx, wy);
    if (!ground.exists())
        throw world::ToolError("there is no world in " + opt.dir + ": " + kLayerNames[0] + " is missing");
    if (wx == 0 || wy == 0)
        throw world::ToolError("the ground layer " + world::join_path(opt.dir, kLayerNames[0]) + " holds no map");

    CellRegion reg = opt.region.value_or(CellRegion{1, 1, wx, wy});
    if (reg.x > wx || reg.y > wy || reg.w > wx || reg.h > wy || reg.x + reg.w - 1 > wx || reg.y + reg.h - 1 > wy)
        throw world::ToolError("the region reaches outside the map, which is " + std::to_string(wx) + " x " +
                               std::to_string(wy) + " cells");
    const int64_t pw = reg.w * kCell, ph = reg.h * kCell;
    if (pw > kMaxRenderSide || ph > kMaxRenderSide || pw * ph > kMaxRenderPixels) {
        // mended: for the whole map the suggested part lies around the start
        // (the save file's position), where there is something to see, not in
        // the corner, which a large new map leaves black; a region given keeps
        // its corner.
        const int64_t sw = std::min<int64_t>(reg.w, 400), sh = std::min<int64_t>(reg.h, 400);
        int64_t sx = reg.x, sy = reg.y;
        if (!opt.region) {
            sx = std::clamp<int64_t>(int64_t{s.VX2} - sw / 2, 1, int64_t{wx} - sw + 1);
            sy = std::clamp<int64_t>(int64_t{s.VY2} - sh / 2, 1, int64_t{wy} - sh + 1);
        }
        throw world::ToolError(
            "the picture would be " + std::to_string(pw) + " x " + std::to_string(ph) + " pixels, over the limit of " +
            std::to_string(kMaxRenderSide) + " pixels a side and " + std::to_string(kMaxRenderPixels / 1'000'000) +
            " million pixels; draw a part of the map with --region X,Y,W,H (cells), e.g. --region " +
            std::to_string(sx) + "," + std::to_string(sy) + "," + std::to_string(sw) + "," + std::to_string(sh));
    }

    s.GC = opt.frame;
    const Reach reach = world_reach(s);
    PngRowWriter png(opt.out, static_cast<int>(pw), static_cast<int>(ph));
    std::vector<uint8_t> band(static_cast<size_t>(pw * kWindowRows * kCell));
    std::vector<uint8_t> rgb(static_cast<size_t>(pw * 3));
    CellBlock cells;
    const int64_t bands = (reg.h + kWindowRows - 1) / kWindowRows;

    for (int64_t b = 0; b < bands; ++b) {
        check_stop();
        const int64_t br0 = reg.y + b * kWindowRows;
        const int64_t br1 = std::min(br0 + kWindowRows - 1, reg.y + reg.h - 1);
        // Cells above and below whose pictures can reach into the band.
        const int64_t cr0 = std::max<int64_t>(1, br0 - reach.down), cr1 = std::min<int64_t>(wy, br1 + reach.up);
        const int64_t cc0 = std::max<int64_t>(1, reg.x - reach.right);
        const int64_t cc1 = std::min<int64_t>(wx, reg.x + reg.w - 1 + reach.left);
        cells.load(layers, wx, cc0, cr0, cc1 - cc0 + 1, cr1 - cr0 + 1);

        for (int64_t wc0 = reg.x; wc0 < reg.x + reg.w; wc0 += kWindowCols) {
            const int64_t wc1 = std::min(wc0 + kWindowCols - 1, reg.x + reg.w - 1);
            s.screen.pixels.fill(0);
            const int64_t c_from = std::max(cc0, wc0 - reach.right), c_to = std::min(cc1, wc1 + reach.left);
            for (int64_t r = cr0; r <= cr1; ++r)
                for (int64_t c = c_from; c <= c_to; ++c) {
                    const size_t i = cells.at(c, r);
                    try {
                        paint_cell(s, (c - wc0) * kCell, (r - br0) * kCell, cells.ground[i], cells.structure[i],
                                   cells.creature[i]);
                    } catch (const RuntimeError& e) {
                        throw world::ToolError("drawing cell (" + std::to_string(c) + ", " + std::to_string(r) +
                                               ") fails with " + describe(e) +
                                               "; tlvx-tool info lists every such fault");
                    }
                }
            const int64_t px0 = (wc0 - reg.x) * kCell, cols_px = (wc1 - wc0 + 1) * kCell;
            for (int64_t y = 0; y < (br1 - br0 + 1) * kCell; ++y)
                std::copy_n(&s.screen.at(0, static_cast<int>(y)), cols_px, &band[static_cast<size_t>(y * pw + px0)]);
        }
        for (int64_t y = 0; y < (br1 - br0 + 1) * kCell; ++y) {
            const uint8_t* row = &band[static_cast<size_t>(y * pw)];
            for (int64_t x = 0; x < pw; ++x) {
                const Rgb& c = s.screen.palette[row[x]];
                rgb[static_cast<size_t>(x * 3)] = c.r;
                rgb[static_cast<size_t>(x * 3 + 1)] = c.g;
                rgb[static_cast<size_t>(x * 3 + 2)] = c.b;
            }
            png.write_row(rgb.data());
        }
        if (opt.progress) show_progress(b + 1, bands);
    }
    png.finish();
}

}  // namespace tlvx::tools
