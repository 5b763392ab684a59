#pragma once
// The demo world's pictures, drawn by code: 24 by 24 ground tiles and object
// sprites with their exact masks.
#include <cstdint>
#include <string>
#include <vector>

#include "world/picture_files.hpp"

namespace tlvx::world {

constexpr int kTile = 24;

// A picture being painted: palette indices plus which pixels are painted.
class Canvas {
public:
    Canvas() : pic_(kTile, kTile, 0), painted_(kTile * kTile, false) {}
    void set(int x, int y, uint8_t c);
    void rect(int x0, int y0, int x1, int y1, uint8_t c);  // inclusive corners
    void disc(double cx, double cy, double r, uint8_t c);
    void ellipse(double cx, double cy, double rx, double ry, uint8_t c);
    void line(int x0, int y0, int x1, int y1, uint8_t c);
    // Paint every unpainted pixel next to a painted one (left, right, above,
    // below) with c: a dark rim that sets a sprite off against any ground.
    void outline(uint8_t c);
    bool painted(int x, int y) const;
    uint8_t at(int x, int y) const { return pic_.at(x, y); }

    // The ground tile: every pixel as painted (unpainted pixels hold 0).
    const Picture& picture() const { return pic_; }
    // The sprite picture: painted pixels, 0 elsewhere.
    Picture sprite() const;
    // The mask: 0 where painted, 255 elsewhere.
    Picture mask() const;

private:
    Picture pic_;
    std::vector<bool> painted_;
};

// A deterministic hash of a pixel and a seed, 0 to 65535.
uint32_t pixel_hash(int x, int y, uint32_t seed);

// Ground tiles.
Picture art_grass(uint32_t seed);
Picture art_grass_dark(uint32_t seed);
Picture art_meadow(uint32_t seed);
Picture art_dirt(uint32_t seed);
Picture art_sand(uint32_t seed);
Picture art_water(uint32_t seed);
Picture art_road(uint32_t seed);
Picture art_cobbles(uint32_t seed);
Picture art_slabs(uint32_t seed);
Picture art_farmland(uint32_t seed);
// A cliff edge whose rock face looks to `side`: 1 up, 2 right, 3 down, 4 left.
Picture art_cliff(int side, uint32_t seed);

// Object sprites; `frame` is the animation frame 1 to 4.
Canvas art_hero(int frame);
Canvas art_fox(int frame);
Canvas art_slime(int frame);
Canvas art_chicken(int frame);
Canvas art_sheep(int frame);
Canvas art_oak();
Canvas art_pine();
Canvas art_stone_wall();
Canvas art_house_wall();
Canvas art_door();
Canvas art_roof();
Canvas art_arch();
Canvas art_bridge();  // the deck runs left to right
Canvas art_flowers();
Canvas art_boulder();
Canvas art_marker();
Canvas art_fence();
Canvas art_signpost();

// Placeholders for values without art: the value's number on a ground tile
// framed in magenta, or on a magenta plate of kPlaceholderObjectSide pixels
// for an object. The plate has no pixel of index 0, so that it can be its own
// mask (drawn with "and" and then "or" it shows exactly its pixels).
constexpr int kPlaceholderObjectSide = 16;
Picture art_placeholder_ground(int value);
Picture art_placeholder_object(int value);

}  // namespace tlvx::world
