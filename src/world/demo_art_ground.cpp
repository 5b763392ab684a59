// The canvas and the demo world's ground tiles.
#include <cstdlib>

#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"

namespace tlvx::world {

void Canvas::set(int x, int y, uint8_t c) {
    if (x < 0 || y < 0 || x >= kTile || y >= kTile) return;
    pic_.at(x, y) = c;
    painted_[static_cast<size_t>(y * kTile + x)] = true;
}

void Canvas::rect(int x0, int y0, int x1, int y1, uint8_t c) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) set(x, y, c);
}

void Canvas::disc(double cx, double cy, double r, uint8_t c) { ellipse(cx, cy, r, r, c); }

void Canvas::ellipse(double cx, double cy, double rx, double ry, uint8_t c) {
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            double dx = (x - cx) / rx, dy = (y - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) set(x, y, c);
        }
}

void Canvas::line(int x0, int y0, int x1, int y1, uint8_t c) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        set(x0, y0, c);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

bool Canvas::painted(int x, int y) const {
    if (x < 0 || y < 0 || x >= kTile || y >= kTile) return false;
    return painted_[static_cast<size_t>(y * kTile + x)];
}

void Canvas::outline(uint8_t c) {
    std::vector<std::pair<int, int>> edge;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x)
            if (!painted(x, y) && (painted(x - 1, y) || painted(x + 1, y) || painted(x, y - 1) || painted(x, y + 1)))
                edge.emplace_back(x, y);
    for (auto [x, y] : edge) set(x, y, c);
}

Picture Canvas::sprite() const {
    Picture p(kTile, kTile, 0);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x)
            if (painted(x, y)) p.at(x, y) = pic_.at(x, y);
    return p;
}

Picture Canvas::mask() const {
    Picture p(kTile, kTile, 255);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x)
            if (painted(x, y)) p.at(x, y) = 0;
    return p;
}

uint32_t pixel_hash(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h & 0xFFFF;
}

namespace {

// A base colour with speckles: `light` on about pl percent of the pixels,
// `dark` on about pd percent.
Picture speckled(uint8_t base, uint8_t light, int pl, uint8_t dark, int pd, uint32_t seed) {
    Picture p(kTile, kTile, base);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            int h = static_cast<int>(pixel_hash(x, y, seed) % 100);
            if (h < pl) p.at(x, y) = light;
            else if (h < pl + pd) p.at(x, y) = dark;
        }
    return p;
}

// Small blades of grass: a bright tip over a darker root.
void tufts(Picture& p, int count, uint8_t tip, uint8_t root, uint32_t seed) {
    for (int i = 0; i < count; ++i) {
        int x = static_cast<int>(pixel_hash(i, 1, seed) % 22) + 1;
        int y = static_cast<int>(pixel_hash(i, 2, seed) % 20) + 2;
        p.at(x, y) = tip;
        p.at(x, y + 1) = root;
        p.at(x - 1, y + 1) = tip;
        p.at(x + 1, y + 1) = tip;
    }
}

}  // namespace

Picture art_grass(uint32_t seed) {
    Picture p = speckled(col::GrassMid, col::GrassLight, 14, col::GrassDark, 10, seed);
    tufts(p, 5, col::GrassBright, col::GrassDark, seed + 1);
    return p;
}

Picture art_grass_dark(uint32_t seed) {
    Picture p = speckled(col::GrassDark, col::GrassMid, 16, col::LeafDark, 12, seed);
    tufts(p, 7, col::GrassMid, col::LeafDark, seed + 1);
    return p;
}

Picture art_meadow(uint32_t seed) {
    Picture p = speckled(col::GrassLight, col::GrassBright, 14, col::GrassYellow, 10, seed);
    const uint8_t petals[] = {col::FlowerWhite, col::FlowerYellow, col::FlowerWhite, col::FlowerViolet};
    for (int i = 0; i < 4; ++i) {
        int x = 3 + (i % 2) * 11 + static_cast<int>(pixel_hash(i, 5, seed) % 6);
        int y = 3 + (i / 2) * 11 + static_cast<int>(pixel_hash(i, 6, seed) % 6);
        p.at(x, y) = col::FlowerYellow;
        if (petals[i] == col::FlowerYellow) p.at(x, y) = col::FlowerRed;
        p.at(x - 1, y) = p.at(x + 1, y) = p.at(x, y - 1) = p.at(x, y + 1) = petals[i];
    }
    return p;
}

Picture art_dirt(uint32_t seed) {
    Picture p = speckled(col::DirtMid, col::DirtLight, 12, col::DirtDark, 14, seed);
    for (int i = 0; i < 4; ++i) {
        int x = static_cast<int>(pixel_hash(i, 3, seed) % 21) + 1;
        int y = static_cast<int>(pixel_hash(i, 4, seed) % 21) + 1;
        p.at(x, y) = col::StoneLight;
        p.at(x + 1, y) = col::StoneMid;
        p.at(x, y + 1) = col::StoneMid;
        p.at(x + 1, y + 1) = col::StoneDark;
    }
    return p;
}

Picture art_sand(uint32_t seed) {
    Picture p = speckled(col::SandMid, col::SandLight, 14, col::SandDark, 10, seed);
    for (int ripple : {5, 13, 20})
        for (int x = 0; x < kTile; ++x) p.at(x, ripple + ((x / 4) % 2)) = col::SandLight;
    return p;
}

Picture art_water(uint32_t seed) {
    // Diagonal stripes over the four rotating entries: as the rotation moves
    // the shades along the entries, the stripes seem to flow. The pattern
    // repeats every 12 pixels, so neighbouring tiles join without a seam.
    Picture p(kTile, kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) p.at(x, y) = static_cast<uint8_t>(col::Water0 + ((x + 2 * y) / 3) % 4);
    for (int i = 0; i < 3; ++i) {
        int x = static_cast<int>(pixel_hash(i, 7, seed) % 20) + 2;
        int y = static_cast<int>(pixel_hash(i, 8, seed) % 22) + 1;
        p.at(x, y) = p.at(x + 1, y) = col::Foam;
    }
    return p;
}

Picture art_road(uint32_t seed) {
    Picture p = speckled(col::RoadMid, col::RoadLight, 18, col::RoadDark, 16, seed);
    for (int i = 0; i < 6; ++i) {
        int x = static_cast<int>(pixel_hash(i, 9, seed) % 23);
        int y = static_cast<int>(pixel_hash(i, 10, seed) % 24);
        p.at(x, y) = col::DirtMid;
        p.at(x + 1, y) = col::DirtLight;
    }
    return p;
}

Picture art_cobbles(uint32_t seed) {
    Picture p(kTile, kTile, col::StoneDark);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            int row = y / 4, shift = (row % 2) * 3;
            int u = (x + shift) % 6, v = y % 4;
            if (u == 5 || v == 3) continue;  // mortar
            uint8_t c = (pixel_hash((x + shift) / 6, row, seed) % 3 == 0) ? col::RoadLight : col::StoneMid;
            if (u == 0 || v == 0) c = col::StoneLight;
            p.at(x, y) = c;
        }
    return p;
}

Picture art_slabs(uint32_t seed) {
    Picture p = speckled(col::SandLight, col::StoneLight, 10, col::SandMid, 12, seed);
    for (int i = 0; i < kTile; ++i) {
        p.at(i, 11) = p.at(i, 23) = col::StoneMid;
        p.at(11, i) = p.at(23, i) = col::StoneMid;
    }
    return p;
}

Picture art_farmland(uint32_t seed) {
    Picture p(kTile, kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            bool ridge = (y % 6) < 3;
            uint8_t c = ridge ? col::DirtLight : col::DirtDark;
            if (ridge && (y % 6) == 1 && (x + (y / 6) * 2) % 4 == 0) c = col::GrassBright;
            else if (ridge && (y % 6) == 2 && (x + (y / 6) * 2) % 4 == 0) c = col::GrassMid;
            else if (pixel_hash(x, y, seed) % 9 == 0) c = col::DirtMid;
            p.at(x, y) = c;
        }
    return p;
}

Picture art_cliff(int side, uint32_t seed) {
    Picture p = art_grass(seed);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            // depth: 0 at the far side of the cell, 23 at the face's foot;
            // across: the coordinate along the face.
            int depth = side == 3 ? y : side == 1 ? 23 - y : side == 2 ? x : 23 - x;
            int across = (side == 1 || side == 3) ? x : y;
            // A ragged upper edge; the edge pattern repeats every 12 pixels so
            // that neighbouring cliff cells join.
            int edge = 6 + static_cast<int>(pixel_hash(across % 12 / 2, 1, 77) % 4);
            if (depth < edge) continue;
            uint8_t c = depth < 12 ? col::CliffLight : depth < 18 ? col::CliffFace : col::CliffShadow;
            if (depth == edge) c = col::White;
            else if ((across + depth / 3) % 6 == 0) c = col::CliffShadow;  // slanting cracks
            else if (pixel_hash(x, y, seed) % 5 == 0) c = depth < 15 ? col::CliffFace : col::StoneDark;
            if (depth >= 22) c = col::Outline;
            p.at(x, y) = c;
        }
    return p;
}

}  // namespace tlvx::world
