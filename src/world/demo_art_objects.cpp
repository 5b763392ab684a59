// The demo world's creatures and structures.
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"

namespace tlvx::world {

namespace {

// Frames 2 and 4 are the two halves of a step; 1 and 3 stand.
int stride(int frame) { return frame == 2 ? 1 : frame == 4 ? -1 : 0; }

}  // namespace

Canvas art_hero(int frame) {
    Canvas c;
    int s = stride(frame);
    int bob = (frame == 2 || frame == 4) ? 1 : 0;
    // Legs and boots.
    c.rect(9, 17, 10, 20 - (s > 0 ? 1 : 0), col::DirtDark);
    c.rect(13, 17, 14, 20 - (s < 0 ? 1 : 0), col::DirtDark);
    c.rect(8, 21 - (s > 0 ? 1 : 0), 10, 21 - (s > 0 ? 1 : 0), col::Black);
    c.rect(13, 21 - (s < 0 ? 1 : 0), 15, 21 - (s < 0 ? 1 : 0), col::Black);
    // Tunic, belt, arms.
    c.rect(8, 10 + bob, 15, 17, col::TunicBlue);
    c.rect(9, 10 + bob, 10, 14, col::TunicLight);
    c.rect(8, 15, 15, 15, col::Bark);
    c.rect(6, 11 + bob, 7, 15 + s, col::TunicBlue);
    c.rect(16, 11 + bob, 17, 15 - s, col::TunicBlue);
    c.set(6, 16 + s, col::Skin);
    c.set(17, 16 - s, col::Skin);
    // Head, hair, eyes.
    c.disc(11.5, 6.0 + bob, 3.6, col::Skin);
    c.rect(8, 2 + bob, 15, 3 + bob, col::Hair);
    c.set(8, 4 + bob, col::Hair);
    c.set(15, 4 + bob, col::Hair);
    c.set(10, 6 + bob, col::Eye);
    c.set(13, 6 + bob, col::Eye);
    c.outline(col::Outline);
    return c;
}

Canvas art_fox(int frame) {
    Canvas c;
    int s = stride(frame);
    int wag = (frame == 1 || frame == 3) ? 0 : (frame == 2 ? -2 : 1);
    // Tail with a white tip.
    c.ellipse(5.0, 11.0 + wag, 4.5, 2.5, col::FoxOrange);
    c.disc(1.8, 10.0 + wag, 1.6, col::FoxLight);
    // Legs.
    c.line(8 + s, 16, 8 - s, 20, col::BarkDark);
    c.line(10 - s, 16, 10 + s, 20, col::BarkDark);
    c.line(14 + s, 16, 14 - s, 20, col::BarkDark);
    c.line(16 - s, 16, 16 + s, 20, col::BarkDark);
    // Body and chest.
    c.ellipse(12.0, 13.5, 6.5, 3.5, col::FoxOrange);
    c.ellipse(15.5, 15.0, 2.5, 1.5, col::FoxLight);
    // Head, ears, snout, eye.
    c.disc(18.5, 10.0, 3.2, col::FoxOrange);
    c.line(16, 5, 17, 8, col::FoxOrange);
    c.line(20, 5, 20, 8, col::FoxOrange);
    c.set(16, 5, col::BarkDark);
    c.set(20, 5, col::BarkDark);
    c.rect(20, 11, 22, 12, col::FoxLight);
    c.set(22, 11, col::Eye);
    c.set(19, 9, col::Eye);
    c.outline(col::Outline);
    return c;
}

Canvas art_slime(int frame) {
    Canvas c;
    const double squash[] = {0.0, 1.2, 2.4, 1.2};
    double q = squash[frame - 1];
    double rx = 7.5 + q, ry = 6.5 - q;
    double cy = 21.0 - ry;
    c.ellipse(12.0, cy, rx, ry, col::SlimeMid);
    c.ellipse(12.0, cy + ry * 0.55, rx * 0.85, ry * 0.35, col::SlimeDark);
    c.disc(9.0, cy - ry * 0.4, 1.6, col::SlimeLight);
    c.set(8, static_cast<int>(cy - ry * 0.6), col::White);
    c.set(10, static_cast<int>(cy), col::Eye);
    c.set(14, static_cast<int>(cy), col::Eye);
    c.set(10, static_cast<int>(cy) - 1, col::Eye);
    c.set(14, static_cast<int>(cy) - 1, col::Eye);
    c.outline(col::Outline);
    return c;
}

Canvas art_chicken(int frame) {
    Canvas c;
    bool peck = frame == 2 || frame == 3;
    // Legs.
    c.line(10, 18, 10, 21, col::Beak);
    c.line(13, 18, 13, 21, col::Beak);
    c.set(9, 21, col::Beak);
    c.set(14, 21, col::Beak);
    // Tail and body.
    c.ellipse(5.0, 11.0, 2.5, 3.5, col::FeatherShade);
    c.ellipse(11.0, 14.0, 6.5, 4.5, col::Feather);
    c.ellipse(10.0, 15.0, 3.5, 2.0, col::FeatherShade);
    // Head: up, or down at the ground while pecking.
    double hx = peck ? 17.5 : 16.0, hy = peck ? 14.0 : 8.0;
    c.disc(hx, hy, 2.8, col::Feather);
    c.rect(static_cast<int>(hx) - 1, static_cast<int>(hy) - 4, static_cast<int>(hx) + 1, static_cast<int>(hy) - 3,
           col::Comb);
    c.rect(static_cast<int>(hx) + 3, static_cast<int>(hy), static_cast<int>(hx) + 4, static_cast<int>(hy), col::Beak);
    c.set(static_cast<int>(hx) + 1, static_cast<int>(hy) + 2, col::Comb);
    c.set(static_cast<int>(hx) + 1, static_cast<int>(hy) - 1, col::Eye);
    c.outline(col::Outline);
    return c;
}

Canvas art_sheep(int frame) {
    Canvas c;
    bool grazing = frame >= 3;
    c.rect(7, 16, 8, 21, col::Eye);
    c.rect(15, 16, 16, 21, col::Eye);
    // A fleece of overlapping puffs.
    c.ellipse(11.5, 12.5, 8.0, 5.5, col::FeatherShade);
    for (auto [x, y] : {std::pair{6.5, 10.0}, {11.0, 8.5}, {15.5, 10.0}, {8.5, 14.0}, {14.0, 14.0}})
        c.disc(x, y, 3.0, col::Feather);
    double hy = grazing ? 15.0 : 10.0;
    c.ellipse(19.5, hy, 2.5, 3.0, col::StoneDark);
    c.set(18, static_cast<int>(hy) - 3, col::StoneDark);
    c.set(21, static_cast<int>(hy) - 1, col::White);
    c.outline(col::Outline);
    return c;
}

Canvas art_oak() {
    Canvas c;
    c.rect(10, 14, 13, 22, col::Bark);
    c.rect(10, 14, 10, 22, col::BarkDark);
    c.rect(9, 21, 14, 22, col::Bark);
    c.disc(12.0, 9.0, 8.5, col::LeafDark);
    c.disc(11.0, 8.0, 7.2, col::LeafMid);
    for (auto [x, y] : {std::pair{8.0, 5.0}, {13.0, 4.0}, {7.0, 9.0}, {12.0, 8.0}, {15.0, 9.0}})
        c.disc(x, y, 1.8, col::LeafLight);
    c.outline(col::Outline);
    return c;
}

Canvas art_pine() {
    Canvas c;
    c.rect(11, 18, 12, 22, col::BarkDark);
    for (int tier = 0; tier < 3; ++tier) {
        int top = 1 + tier * 5, bottom = top + 8;
        for (int y = top; y <= bottom; ++y) {
            int half = (y - top) * (4 + tier * 2) / 8 + 1;
            for (int x = 12 - half; x < 12 + half; ++x) c.set(x, y, x < 12 ? col::LeafMid : col::LeafDark);
        }
    }
    c.set(11, 2, col::LeafLight);
    c.outline(col::Outline);
    return c;
}

Canvas art_stone_wall() {
    Canvas c;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            int row = y / 6, shift = (row % 2) * 4;
            int u = (x + shift) % 8, v = y % 6;
            uint8_t k = col::StoneMid;
            if (u == 7 || v == 5) k = col::StoneDark;
            else if (v == 0) k = col::StoneLight;
            else if (pixel_hash(x, y, 31) % 11 == 0) k = col::Moss;
            c.set(x, y, k);
        }
    return c;
}

Canvas art_house_wall() {
    Canvas c;
    c.rect(0, 0, 23, 23, col::Plaster);
    c.rect(0, 0, 23, 1, col::WoodDark);
    c.rect(0, 0, 1, 23, col::WoodDark);
    c.rect(22, 0, 23, 23, col::WoodDark);
    c.rect(0, 21, 23, 23, col::StoneDark);
    c.rect(2, 2, 21, 3, col::PlasterShade);
    c.rect(7, 6, 16, 15, col::WoodDark);
    c.rect(8, 7, 15, 14, col::Window);
    c.rect(8, 10, 15, 10, col::WoodDark);
    c.rect(11, 7, 11, 14, col::WoodDark);
    return c;
}

Canvas art_door() {
    Canvas c;
    c.rect(0, 0, 23, 23, col::Plaster);
    c.rect(0, 0, 23, 1, col::WoodDark);
    c.rect(0, 0, 1, 23, col::WoodDark);
    c.rect(22, 0, 23, 23, col::WoodDark);
    c.rect(2, 2, 21, 3, col::PlasterShade);
    c.rect(6, 5, 17, 23, col::WoodDark);
    for (int x = 7; x <= 16; ++x) c.rect(x, 6, x, 23, (x % 3 == 0) ? col::Door : col::WoodMid);
    c.set(15, 15, col::Beak);
    return c;
}

Canvas art_roof() {
    Canvas c;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            int shift = ((y / 4) % 2) * 3;
            int u = (x + shift) % 6, v = y % 4;
            uint8_t k = col::RoofMid;
            if (v == 3) k = col::RoofDark;
            else if (v == 0 && u > 0 && u < 5) k = col::RoofLight;
            else if (u == 0) k = col::RoofDark;
            c.set(x, y, k);
        }
    return c;
}

Canvas art_arch() {
    Canvas c;
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            double dx = x - 11.5, dy = y - 11.0;
            bool opening = x >= 6 && x <= 17 && y >= 5 && (y >= 11 || dx * dx + dy * dy <= 36.0);
            if (opening) continue;
            int row = y / 4, u = (x + (row % 2) * 3) % 6;
            uint8_t k = (y % 4 == 3 || u == 5) ? col::StoneDark : (y % 4 == 0 ? col::StoneLight : col::StoneMid);
            c.set(x, y, k);
        }
    return c;
}

Canvas art_bridge() {
    Canvas c;
    auto put = [&](int along, int side, uint8_t k) { c.set(along, side, k); };
    for (int along = 0; along < kTile; ++along) {
        for (int side = 4; side <= 19; ++side) {
            uint8_t k = (along % 4 == 3) ? col::WoodDark : ((along / 4) % 2 ? col::WoodMid : col::WoodLight);
            put(along, side, k);
        }
        put(along, 3, col::WoodDark);
        put(along, 20, col::WoodDark);
    }
    for (int post : {1, 12, 22}) {
        put(post, 2, col::BarkDark);
        put(post, 21, col::BarkDark);
    }
    return c;
}

Canvas art_flowers() {
    Canvas c;
    struct Bloom {
        int x, y;
        uint8_t petal, centre;
    };
    const Bloom blooms[] = {{5, 6, col::FlowerRed, col::FlowerYellow},
                            {15, 4, col::FlowerYellow, col::FlowerRed},
                            {11, 12, col::FlowerViolet, col::FlowerWhite},
                            {19, 13, col::FlowerWhite, col::FlowerYellow},
                            {6, 16, col::FlowerYellow, col::FlowerViolet}};
    for (const Bloom& b : blooms) {
        c.line(b.x, b.y + 2, b.x, b.y + 6, col::Reed);
        c.set(b.x + 1, b.y + 4, col::Lily);
        c.set(b.x - 1, b.y + 5, col::Lily);
    }
    for (const Bloom& b : blooms) {
        c.disc(b.x, b.y, 1.6, b.petal);
        c.set(b.x, b.y, b.centre);
    }
    return c;
}

Canvas art_boulder() {
    Canvas c;
    c.ellipse(12.0, 14.0, 9.5, 7.5, col::StoneDark);
    c.ellipse(11.0, 13.0, 8.0, 6.0, col::StoneMid);
    c.ellipse(9.0, 11.0, 3.5, 2.0, col::StoneLight);
    c.ellipse(15.0, 17.0, 3.0, 1.5, col::Moss);
    c.outline(col::Outline);
    return c;
}

Canvas art_marker() {
    Canvas c;
    c.line(4, 4, 19, 19, col::Magenta);
    c.line(4, 19, 19, 4, col::Magenta);
    c.outline(col::Outline);
    return c;
}

Canvas art_fence() {
    Canvas c;
    for (int x = 0; x < kTile; ++x) {
        c.rect(x, 9, x, 10, col::WoodMid);
        c.rect(x, 15, x, 16, col::WoodMid);
        c.set(x, 9, col::WoodLight);
        c.set(x, 15, col::WoodLight);
    }
    c.rect(3, 6, 4, 20, col::WoodDark);
    c.rect(19, 6, 20, 20, col::WoodDark);
    return c;
}

Canvas art_signpost() {
    Canvas c;
    c.rect(11, 9, 12, 22, col::WoodDark);
    c.rect(3, 3, 17, 10, col::WoodLight);
    for (int y = 3; y <= 10; ++y)
        for (int x = 18; x <= 21; ++x)
            if (x - 18 <= 3 - (y > 6 ? y - 7 : 6 - y)) c.set(x, y, col::WoodLight);
    c.rect(5, 5, 15, 5, col::WoodDark);
    c.rect(5, 8, 12, 8, col::WoodDark);
    c.outline(col::Outline);
    return c;
}

}  // namespace tlvx::world
