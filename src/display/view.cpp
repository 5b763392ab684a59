#include "display/view.hpp"

#include <algorithm>
#include <limits>

#include "base/state.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/world_files.hpp"
#include "display/image.hpp"
#include "display/screen.hpp"

namespace tlvx {

namespace {

int32_t to_int32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t floor_half(int64_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

// Cell corner in pixels of view column T, row TT.
int32_t cell_x(const State& s) { return to_int32(int64_t{s.T - 1} * s.SZ); }
int32_t cell_y(const State& s) { return to_int32(int64_t{s.TT - 1} * s.SZ); }

void draw_ground(State& s) {
    int32_t px = cell_x(s), py = cell_y(s);
    std::string mode = "pset";
    GRAPHICPUT(s, s.M_S(s.Z), px, py, mode);
}

// The object's mask with "and", then its picture with "or", centred in the cell.
void masked_object_draw(State& s, int32_t n) {
    const int64_t o = floor_half(int64_t{s.SZ} - s.OBJ(n));
    int32_t px = to_int32(int64_t{s.T - 1} * s.SZ + o);
    int32_t py = to_int32(int64_t{s.TT - 1} * s.SZ + o);
    std::string& picture = s.OBJ_S(n, s.GC);
    // A fresh mask name for every draw, in storage that is reused.
    std::string& mask = s.scratch.mask_name;
    mask_name_into(picture, mask);
    std::string and_mode = "and", or_mode = "or";
    GRAPHICPUT(s, mask, px, py, and_mode);
    GRAPHICPUT(s, picture, px, py, or_mode);
}

}  // namespace

std::string mask_name(const std::string& picture) {
    std::string mask;
    mask_name_into(picture, mask);
    return mask;
}

void mask_name_into(const std::string& picture, std::string& mask) {
    mask.clear();
    // mended: an empty picture name means "no picture": it gets no mask either, so that
    // an object without pictures draws nothing instead of looking for a file "-".
    if (picture.empty()) return;
    const size_t n = picture.size();
    mask.append(picture, 0, 4);
    mask += '-';
    mask.append(picture, n >= 7 ? n - 7 : 0, 7);
}

void full_cell_draw(State& s) {
    s.T = s.X + 4;
    s.TT = s.Y + 4;
    const int64_t c = int64_t{s.VX2} + s.X, r = int64_t{s.VY2} + s.Y;
    s.Z = cell_read(s, kGroundFile, c, r);
    s.GR(s.X, s.Y) = s.Z;
    s.CHRB = cell_read(s, kStructureFile, c, r);
    s.CS(s.X, s.Y) = s.CHRB;
    s.CHRC = cell_read(s, kCreatureFile, c, r);
    s.CR(s.X, s.Y) = s.CHRC;

    draw_ground(s);
    if (s.CHRB > 0 && s.OBJ_M(s.CHRB) < 2) masked_object_draw(s, s.CHRB);
    if (s.CHRC > 0) masked_object_draw(s, s.CHRC);
    if (s.CHRB > 0 && s.OBJ_M(s.CHRB) == 2) masked_object_draw(s, s.CHRB);
}

void creature_redraw(State& s) {
    s.T = s.X + 4;
    s.TT = s.Y + 4;
    const int64_t c = int64_t{s.VX2} + s.X, r = int64_t{s.VY2} + s.Y;
    s.Z = cell_read(s, stream_number(s, 1), c, r);
    s.CHRB = cell_read(s, stream_number(s, 3), c, r);
    s.CHRC = cell_read(s, stream_number(s, 2), c, r);
    if (s.CHRC > 0 && s.OBJ_M(s.CHRB) < 2) {
        draw_ground(s);
        if (s.CHRB > 0) masked_object_draw(s, s.CHRB);
        masked_object_draw(s, s.CHRC);
    }
}

void centre_clamp(State& s) {
    // kept: the right and bottom tests move the centre one cell further in than needed.
    if (int64_t{s.VX2} - 3 < 1) s.VX2 = 4;
    if (int64_t{s.VY2} - 3 < 1) s.VY2 = 4;
    if (int64_t{s.VX2} + 3 > s.WX) s.VX2 = s.WX - 4;
    if (int64_t{s.VY2} + 3 > s.WY) s.VY2 = s.WY - 4;
}

namespace {

// The clamp, and the player's creature-layer byte (the marker) with it.
// mended: when the clamp moves the player, at start-up or in a refresh, the
// marker moves too: the two cells exchange their bytes, so the map keeps no
// stray marker and loses nothing. Maps too small for the clamp to land inside
// them are left alone.
void clamp_with_marker(State& s) {
    const int32_t old_x = s.VX2, old_y = s.VY2;
    centre_clamp(s);
    auto inside = [&](int64_t c, int64_t r) { return c >= 1 && c <= s.WX && r >= 1 && r <= s.WY; };
    if ((s.VX2 == old_x && s.VY2 == old_y) || !inside(old_x, old_y) || !inside(s.VX2, s.VY2)) return;
    const int32_t was = cell_read(s, kCreatureFile, old_x, old_y);
    const int32_t now = cell_read(s, kCreatureFile, s.VX2, s.VY2);
    // As a step does (input/movement.cpp): the save first, the cell left first.
    save_step(s, old_x, old_y);
    cell_write(s, kCreatureFile, old_x, old_y, now);
    cell_write(s, kCreatureFile, s.VX2, s.VY2, was);
}

}  // namespace

CentreRange centres_kept(int64_t size) {
    if (size >= 7) return {4, size - 3};
    return {size - 4, size - 4};
}

void first_view_read(State& s) {
    clamp_with_marker(s);
    s.XLEFT = -3, s.XRIGHT = 3, s.YLEFT = -3, s.YRIGHT = 3;
    s.GR.fill(0);
    BOX_FILL(s, 0, 0, 5 * s.SZ - 1, 5 * s.SZ - 1, 0);
    // mended: the structure and creature grids are read as well as the ground, so that
    // a step in the first pass is blocked by a tree or a creature like any other.
    const int32_t ground = stream_number(s, 1);
    const int32_t structure = stream_number(s, 3);
    const int32_t creature = stream_number(s, 2);
    for (int32_t y = s.YLEFT; y <= s.YRIGHT; ++y) {
        for (int32_t x = s.XLEFT; x <= s.XRIGHT; ++x) {
            const int64_t c = int64_t{s.VX2} + x, r = int64_t{s.VY2} + y;
            s.GR(x, y) = cell_read(s, ground, c, r);
            s.CS(x, y) = cell_read(s, structure, c, r);
            s.CR(x, y) = cell_read(s, creature, c, r);
        }
    }
    s.VX1 = s.VX2;
    s.VY1 = s.VY2;
}

void full_view_refresh(State& s) {
    clamp_with_marker(s);
    s.XLEFT = -3, s.XRIGHT = 3, s.YLEFT = -3, s.YRIGHT = 3;
    s.GR.fill(0);
    s.CR.fill(0);
    for (s.Y = s.YLEFT; s.Y <= s.YRIGHT; ++s.Y)
        for (s.X = s.XLEFT; s.X <= s.XRIGHT; ++s.X) full_cell_draw(s);
}

void redraw_view(State& s) {
    if (s.SCRNUPDT == 1) {
        full_view_refresh(s);
        return;
    }
    for (s.Y = s.YLEFT; s.Y <= s.YRIGHT; ++s.Y)
        for (s.X = s.XLEFT; s.X <= s.XRIGHT; ++s.X) creature_redraw(s);
}

void ground_reread(State& s) {
    for (int32_t y = s.YLEFT; y <= s.YRIGHT; ++y)
        for (int32_t x = s.XLEFT; x <= s.XRIGHT; ++x)
            s.GR(x, y) = cell_read(s, kGroundFile, int64_t{s.VX2} + x, int64_t{s.VY2} + y);
}

}  // namespace tlvx
