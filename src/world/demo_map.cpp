// The demo world's map: laid out by hand in broad strokes (where the village,
// roads, lake and plateau are) and filled in with deterministic noise (grass
// patches, trees, flowers, river bends).
#include <algorithm>
#include <cmath>

#include "world/demo_art.hpp"
#include "world/demo_world.hpp"

namespace tlvx::world {

DemoMap::DemoMap(int width, int height)
    : w(width), h(height), ground(static_cast<size_t>(width * height), 0), creatures(ground.size(), 0),
      structures(ground.size(), 0) {}

namespace {

constexpr int kW = 80, kH = 60;

// Smooth noise 0..1 over the map: hashed values on a grid of `step` cells,
// blended between grid points with an S-curve.
double grid_noise(int c, int r, int step, uint32_t seed) {
    auto v = [&](int gx, int gy) { return pixel_hash(gx, gy, seed) / 65535.0; };
    auto fade = [](double t) { return t * t * (3 - 2 * t); };
    int gx = c / step, gy = r / step;
    double fx = fade((c % step) / static_cast<double>(step)), fy = fade((r % step) / static_cast<double>(step));
    double top = v(gx, gy) * (1 - fx) + v(gx + 1, gy) * fx;
    double bottom = v(gx, gy + 1) * (1 - fx) + v(gx + 1, gy + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// Broad patches with ragged edges: a coarse and a fine layer of grid noise.
double value_noise(int c, int r, int step, uint32_t seed) {
    return 0.7 * grid_noise(c, r, step, seed) + 0.3 * grid_noise(c, r, std::max(2, step / 3), seed + 7);
}

bool chance(int c, int r, uint32_t seed, int percent) {
    return static_cast<int>(pixel_hash(c, r, seed) % 100) < percent;
}

int river_column(int r) { return 58 + static_cast<int>(std::lround(3.0 * std::sin((r - 20) / 5.0))); }

void meadows(DemoMap& m) {
    for (int r = 1; r <= m.h; ++r)
        for (int c = 1; c <= m.w; ++c) {
            double n = value_noise(c, r, 7, 11);
            m.g(c, r) = n < 0.3 ? ground::GrassDark : n > 0.72 ? ground::Meadow : ground::Grass;
        }
}

void forest(DemoMap& m) {
    for (int r = 1; r <= 22; ++r)
        for (int c = 1; c <= 28; ++c) {
            if (c > 24 + static_cast<int>(value_noise(c, r, 4, 5) * 6) || r > 18 + (c % 5)) continue;
            m.g(c, r) = ground::GrassDark;
            if (chance(c, r, 21, 55)) m.cs(c, r) = (r < 10 && chance(c, r, 22, 60)) ? object::Pine : object::Oak;
        }
    // A clearing at the end of the forest trail.
    for (int r = 9; r <= 13; ++r)
        for (int c = 10; c <= 15; ++c) {
            m.cs(c, r) = 0;
            m.g(c, r) = ground::Meadow;
        }
}

void lake_and_river(DemoMap& m) {
    for (int r = 1; r <= m.h; ++r)
        for (int c = 1; c <= m.w; ++c) {
            double dx = (c - 63) / 11.0, dy = (r - 13) / 7.0, d = dx * dx + dy * dy;
            if (d <= 1.0) m.g(c, r) = ground::Water;
            else if (d <= 1.45) m.g(c, r) = ground::Sand;
        }
    for (int r = 18; r <= m.h; ++r) {
        int x = river_column(r);
        for (int c = x - 1; c <= x + 2; ++c) {
            if (c == x || c == x + 1) m.g(c, r) = ground::Water;
            else if (m.g(c, r) != ground::Water && chance(c, r, 31, 45)) m.g(c, r) = ground::Sand;
        }
    }
}

void road(DemoMap& m, int c0, int r0, int c1, int r1, uint8_t kind) {
    for (int r = std::min(r0, r1); r <= std::max(r0, r1); ++r)
        for (int c = std::min(c0, c1); c <= std::max(c0, c1); ++c) {
            m.cs(c, r) = 0;
            if (m.g(c, r) == ground::Water || m.g(c, r) == ground::BridgeWater) {
                m.g(c, r) = ground::BridgeWater;
                m.cs(c, r) = object::Bridge;
            } else {
                m.g(c, r) = kind;
            }
        }
}

// Every road cell lies where the player can stand: 4 to w - 3 and 4 to h - 3
// (display/view.cpp centre_clamp pulls the player in from the cells nearer
// the edge, and road-following would stall there).
void roads(DemoMap& m) {
    road(m, 4, 30, 74, 30, ground::Road);      // the main road, over the river by a bridge
    road(m, 30, 22, 46, 22, ground::Cobbles);  // the village loop
    road(m, 30, 22, 30, 29, ground::Cobbles);
    road(m, 46, 22, 46, 29, ground::Cobbles);
    road(m, 38, 8, 38, 21, ground::Road);  // north to the lake shore
    road(m, 39, 8, 51, 8, ground::Road);
    road(m, 12, 13, 12, 29, ground::Road);  // the forest trail, ending in the clearing
    road(m, 18, 31, 18, 44, ground::Road);  // a dead end with a signpost
    m.cs(18, 45) = object::Signpost;
    road(m, 70, 31, 70, 44, ground::Road);  // up onto the plateau
    m.cs(70, 44) = object::Marker;          // an invisible marker at the road's end
}

void house(DemoMap& m, int c, int r, int door) {
    for (int y = r; y <= r + 2; ++y)
        for (int x = c; x <= c + 3; ++x) {
            m.g(x, y) = ground::Slabs;
            m.cs(x, y) = y < r + 2 ? object::Roof : (x == c + door ? object::Door : object::HouseWall);
        }
}

void village(DemoMap& m) {
    for (int r = 23; r <= 29; ++r)
        for (int c = 31; c <= 45; ++c) m.g(c, r) = ground::Grass;
    house(m, 32, 24, 1);
    house(m, 40, 24, 2);
    for (int r = 28; r <= 29; ++r)
        for (int c = 35; c <= 41; ++c) m.g(c, r) = ground::Slabs;
    for (int c : {31, 32, 44, 45}) m.cs(c, 28) = object::Flowers;
}

// A wall north of the village with an arched gate over the road (after the
// roads, which clear the structures on their cells).
void gate(DemoMap& m) {
    for (int c = 33; c <= 43; ++c) m.cs(c, 21) = c == 38 ? object::Arch : object::StoneWall;
}

void farm(DemoMap& m) {
    for (int r = 37; r <= 49; ++r)
        for (int c = 3; c <= 15; ++c) {
            bool border = r == 37 || r == 49 || c == 3 || c == 15;
            if (border) m.cs(c, r) = (c == 15 && r == 42) ? 0 : object::Fence;  // a gap towards the road
            else m.g(c, r) = ground::Field;
        }
    for (int r = 41; r <= 43; ++r) m.g(16, r) = ground::Dirt;
    m.g(17, 42) = ground::Dirt;
}

void plateau(DemoMap& m) {
    for (int r = 40; r <= 52; ++r)
        for (int c = 63; c <= 75; ++c) {
            if (r == 52) m.g(c, r) = ground::CliffSouth;
            else if (c == 63) m.g(c, r) = ground::CliffWest;
            else if (c == 75) m.g(c, r) = ground::CliffEast;
            else m.g(c, r) = chance(c, r, 41, 30) ? ground::Dirt : ground::GrassDark;
            if (r > 40 && r < 51 && c > 64 && c < 74 && c != 70 && chance(c, r, 42, 18)) m.cs(c, r) = object::Boulder;
        }
}

void scatter(DemoMap& m) {
    for (int r = 1; r <= m.h; ++r)
        for (int c = 1; c <= m.w; ++c) {
            if (m.cs(c, r) != 0) continue;
            if (m.g(c, r) == ground::Meadow && chance(c, r, 51, 12)) m.cs(c, r) = object::Flowers;
            else if (m.g(c, r) == ground::Grass && r > 32 && c > 22 && c < 54 && chance(c, r, 52, 4))
                m.cs(c, r) = object::Oak;
            else if (m.g(c, r) == ground::Sand && chance(c, r, 53, 6)) m.cs(c, r) = object::Boulder;
        }
}

void creatures(DemoMap& m) {
    struct Placed {
        int c, r;
        uint8_t v;
    };
    const Placed placed[] = {
        // Around the start.
        {35, 35, object::Fox},
        {41, 34, object::Slime},
        {36, 31, object::Chicken},
        {40, 36, object::Sheep},
        {41, 32, object::Chicken},
        // Elsewhere.
        {37, 26, object::Chicken},
        {44, 27, object::Chicken},
        {6, 42, object::Sheep},
        {10, 45, object::Sheep},
        {12, 40, object::Sheep},
        {48, 12, object::Slime},
        {54, 22, object::Slime},
        {8, 6, object::Fox},
        {20, 16, object::Fox},
        {68, 46, object::Fox},
        {26, 50, object::Slime},
    };
    for (const Placed& p : placed) {
        m.cs(p.c, p.r) = 0;
        if (m.g(p.c, p.r) == ground::Water) m.g(p.c, p.r) = ground::Sand;
        m.cr(p.c, p.r) = p.v;
    }
    m.cs(m.start_x, m.start_y) = 0;
    m.cr(m.start_x, m.start_y) = object::Hero;
}

}  // namespace

DemoMap make_demo_map() {
    DemoMap m(kW, kH);
    m.start_x = 38;
    m.start_y = 33;
    meadows(m);
    forest(m);
    lake_and_river(m);
    village(m);
    farm(m);
    plateau(m);
    roads(m);
    gate(m);
    scatter(m);
    creatures(m);
    return m;
}

}  // namespace tlvx::world
