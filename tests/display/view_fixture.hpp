#pragma once
// A view over layer files written by the test, with tiles and objects whose
// pictures are solid blocks of known colours.
#include "data/layer.hpp"
#include "display/view.hpp"
#include "display_fixture.hpp"

namespace tlvx::test {

using Cell = std::function<uint8_t(int c, int r)>;

// The name a picture is read from: its 12th character is "v".
inline std::string as_read(std::string name) {
    if (name.size() >= 12) name[11] = 'v';
    return name;
}

struct ViewFixture : ScreenFixture {
    ViewFixture() { s.OBJ_M(0) = 1; }

    void make_map(int w, int h, Cell ground, Cell creatures = nullptr, Cell structures = nullptr) {
        put("tlvx_gr1.tmp", layer_bytes(w, h, ground));
        put("tlvx_gr2.tmp", layer_bytes(w, h, creatures));
        put("tlvx_gr3.tmp", layer_bytes(w, h, structures));
        put("tlvx_gr4.tmp", layer_bytes(w, h, nullptr));
        put("tlvx_gr5.tmp", layer_bytes(w, h, nullptr));
        open_layer_files(s);
    }
    void tile(int z, uint8_t colour) {
        s.M_S(z) = "g" + std::to_string(z) + ".pic";
        put(s.M_S(z), solid_picture(24, 24, colour));
    }
    // Object n: frame f is a solid picture of colour base + f, with an all-0 mask.
    void object(int n, int size, int mode, uint8_t base) {
        s.OBJ(n) = size;
        s.OBJ_M(n) = mode;
        for (int f = 1; f <= 4; ++f) {
            s.OBJ_S(n, f) = "o" + std::to_string(n) + "f" + std::to_string(f) + ".pic";
            put(as_read(s.OBJ_S(n, f)), solid_picture(size, size, static_cast<uint8_t>(base + f)));
            put(as_read(mask_name(s.OBJ_S(n, f))), solid_picture(size, size, 0));
        }
    }
    void draw_cell(int x, int y) {
        s.X = x;
        s.Y = y;
        full_cell_draw(s);
    }
    uint8_t px(int x, int y) const { return s.screen.at(x, y); }
};

}  // namespace tlvx::test
