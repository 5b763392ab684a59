#include "golden/golden_cases.hpp"

#include <png.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

// The fixture world with patterned pictures, changed by `edit`. Object values: 1 marker,
// 2 creature, 3 tree (blocks), 4 bridge (walkable), 5 roof (over creatures), 6 invisible.
std::function<void(const std::string&)> fixture(std::function<void(FixtureWorld&)> edit) {
    return [edit](const std::string& dir) {
        FixtureWorld w;
        w.patterned = true;
        edit(w);
        w.write(dir);
    };
}

// A layer holding value v at each listed {x, y, v}, 0 elsewhere.
std::function<uint8_t(int, int)> cells(std::vector<std::array<int, 3>> at) {
    return [at](int x, int y) -> uint8_t {
        for (auto [cx, cy, v] : at)
            if (cx == x && cy == y) return static_cast<uint8_t>(v);
        return 0;
    };
}

void demo(const std::string& dir) {
    if (shell_status(std::string(TLVX_TOOL) + " demo " + sh_quote(dir) + " >/dev/null") != 0)
        throw std::runtime_error("tlvx-tool demo failed");
}

}  // namespace

std::vector<GoldenCase> golden_cases() {
    return {
        // right: a tree; up: a creature; down: ground 5, closed moving down; then left twice over the
        // bridge, turn around and walk back
        {.name = "walk_with_blocks",
         .make_world = fixture([](FixtureWorld& w) {
             w.structures = cells({{11, 8, 3}, {8, 8, 4}});
             w.creatures = cells({{10, 8, 1}, {10, 7, 2}});
             w.ground = [](int x, int y) -> uint8_t {
                 return static_cast<uint8_t>(x == 10 && y == 9 ? 5 : 1 + (x + y) % 3);
             };
             w.tile_block = [](int z, int k) { return z == 5 && k == 3 ? 3 : 0; };
         }),
         .keys = "2 h\n4 y\n6 b\n8 g\n10 left\n12 7\n14 9\n16 9\n18 right\n20 Y\n22 esc\n"},
        // road-following takes the left branch at a fork (row 5), turns back at the dead end (column 6),
        // waits for the arm counter
        {.name = "road_following",
         .make_world = fixture([](FixtureWorld& w) {
             w.P = 1, w.I = 1, w.road_list = "2 3";
             w.ground = [](int x, int y) -> uint8_t {
                 return x == 10 && y >= 5 && y <= 8 ? 2 : y == 5 && x >= 6 && x <= 14 ? 3 : 1;
             };
         }),
         .clock = "1000:0.05",
         .passes = 400},
        // the ten editing keys at their limits ("+" twice stops at 64 above, "f" gives 63 on the right, "F"
        // gives 2 on the left, then nothing), facing nowhere, and edits seen by the rest of their pass
        {.name = "editing_session",
         .make_world = fixture([](FixtureWorld& w) {
             w.I = 1;
             w.ground = [](int x, int y) -> uint8_t {
                 return x == 10 && y == 7 ? 63 : x == 11 && y == 8 ? 47 : x == 9 && y == 8 ? 18 : 1;
             };
         }),
         .keys = "2 +\n4 +\n6 +\n8 -\n10 H\n12 f\n14 f\n16 G\n18 F\n20 F\n22 B\n24 *\n26 *\n28 /\n30 bksp\n"
                 "32 ]\n34 ]\n36 ]\n38 [\n40 \\\n42 ]\n44 ]\n46 ]\n48 ]\n50 5\n52 ]\n54 ]\n56 ]\n58 ]\n60 ]\n62 esc\n"},
        // creatures of different move chances wander inside the view while the phase is 4, never into the player
        {.name = "creatures_moving",
         .make_world = fixture([](FixtureWorld& w) {
             w.I = 1;
             w.objects[1].move = 4;  // value 2
             FixtureWorld::Obj slow = w.objects[1];
             slow.move = 2;
             for (auto& f : slow.frames) f[0] = 's';
             w.objects.push_back(slow);  // value 7
             w.structures = cells({{12, 8, 3}});
             w.creatures = cells({{10, 8, 1}, {11, 8, 2}, {8, 6, 2}, {12, 10, 7}});
         }),
         .clock = "1000:0.03",
         .passes = 300},
        // on a 100-wide map a step to column 98 is pulled back to 96 and the marker moves with the player
        {.name = "edge_clamp",
         .make_world = fixture([](FixtureWorld& w) {
             w.w = 100, w.h = 12, w.vx = 97, w.vy = 6;
             w.creatures = cells({{97, 6, 1}, {96, 6, 2}});
         }),
         .keys = "2 h\n4 esc\n"},
        // the status display with toggles, the pause swallowing the next key, the day and clock rows
        {.name = "status_and_pause",
         .make_world = fixture([](FixtureWorld& w) { w.I = 5, w.O = 3; }),
         .keys = "3 o\n5 i\n7 i\n9 i\n11 p\n12 h\n20 5\n30 .\n",
         .clock = "5000.1:0.125",
         .passes = 60},
        // a picture missing on disk ends the first redraw with file not found naming it
        {.name = "missing_picture",
         .make_world =
             [](const std::string& dir) {
                 fixture([](FixtureWorld& w) { w.ground = [](int x, int) -> uint8_t { return x == 12 ? 2 : 1; }; })(
                     dir);
                 std::remove((dir + "/tile2.pic").c_str());
             }},
        // the bundled demo world: up three cells onto the road, follow it for a while; stop, turn right and edit
        // the cell in front; walk back down through the edited world and quit
        {.name = "demo_world",
         .make_world = demo,
         .keys = "3 y\n6 up\n9 y\n12 .\n300 .\n303 H\n306 +\n309 ]\n312 ]\n315 *\n318 bksp\n321 f\n"
                 "330 b\n340 b\n350 g\n400 esc\n",
         .clock = "2000:0.05",
         .passes = 500},
        // the demo world played in the real window (record_window_session.sh): walking, road-following, editing, a
        // pause, wandering creatures; replayed from its recording
        {.name = "window_session", .make_world = demo, .recording = true},
    };
}

GoldenCase golden_case(const std::string& name) {
    for (GoldenCase& c : golden_cases())
        if (c.name == name) return c;
    throw std::runtime_error("no golden case " + name);
}

int play_natively(const GoldenCase& c, const std::string& world, const std::string& dir) {
    write_file(dir + "/keys.txt", c.keys);
    const std::string recording = std::string(TLVX_TESTS_DIR) + "/golden/cases/" + c.name + "/session.tlvxrec";
    const std::string input = c.recording
                                  ? " --replay " + sh_quote(recording)
                                  : " --keys " + sh_quote(dir + "/keys.txt") + " --clock " + c.clock + " --passes " +
                                        std::to_string(c.passes) + " --trace " + sh_quote(dir + "/trace.csv");
    return shell_status(std::string(TLVX_TOOL) + " run --data " + sh_quote(world) + input + " --screenshot " +
                        sh_quote(dir + "/screen.png") + " 2>" + sh_quote(dir + "/native.err"));
}

std::string decoded_png(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return "";
    image.format = PNG_FORMAT_RGB;
    std::string rgb(PNG_IMAGE_SIZE(image), '\0');
    const bool read = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return read ? std::to_string(image.width) + "x" + std::to_string(image.height) + "\n" + rgb : "";
}

}  // namespace tlvx::test
