#pragma once
// The demo world: a small valley with a village, a forest, a lake and river,
// farmland and a rocky plateau, generated entirely by code. Also the "demo
// set" (palette, save file, world description, tables, pictures) that `new`
// copies into a folder so a new map is playable at once.
#include <cstdint>
#include <string>
#include <vector>

#include "data/world_names.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

// Ground values of the demo set.
namespace ground {
enum : uint8_t {
    Grass = 1,
    GrassDark,
    Meadow,
    Dirt,
    Sand,
    Water,
    Road,
    Cobbles,
    BridgeWater,
    CliffSouth,
    CliffEast,
    CliffWest,
    Field,
    Slabs,
};
}
// Object values of the demo set with art (creatures 1 to 5, structures 10
// onwards); every other value 1 to 255 has a numbered placeholder picture.
namespace object {
enum : uint8_t {
    Hero = 1,
    Fox,
    Slime,
    Chicken,
    Sheep,
    Oak = 10,
    Pine,
    StoneWall,
    HouseWall,
    Door,
    Roof,
    Arch,
    Bridge,
    Flowers,
    Boulder,
    Marker,
    Fence,
    Signpost,
};
}

// What object value `value` of the demo set shows ("a fox") and the start of
// its pictures' names ("foxy_wk"); both empty for a numbered placeholder.
struct DemoObjectName {
    std::string what, picture;
};
DemoObjectName demo_object_name(int value);

inline constexpr const char* kDemoWorldBase = "oakvale";  // P1$: the world description is oakvale.txt

// A map held in memory: the three used layers, cells (c, r) 1-based.
struct DemoMap {
    int w = 0, h = 0;
    int start_x = 0, start_y = 0;
    std::vector<uint8_t> ground, creatures, structures;

    DemoMap(int width, int height);
    uint8_t& g(int c, int r) { return ground[index(c, r)]; }
    uint8_t& cr(int c, int r) { return creatures[index(c, r)]; }
    uint8_t& cs(int c, int r) { return structures[index(c, r)]; }
    bool inside(int c, int r) const { return c >= 1 && r >= 1 && c <= w && r <= h; }

private:
    size_t index(int c, int r) const { return static_cast<size_t>((r - 1) * w + (c - 1)); }
};

DemoMap make_demo_map();

// A file of a world: its name in the world folder and its bytes.
struct WorldFile {
    std::string name;
    std::string bytes;
};

// The highest ground value the editing keys make ("+" stops there); ground
// values up to it without art get a numbered placeholder picture.
inline constexpr int kLastEditedGround = 64;
// The name of the demo world, shown on the status display.
inline constexpr const char* kDemoWorldName = "Oakvale";
// The longest world name that fits the status display beside the view.
inline constexpr size_t kMaxWorldName = 8;

// "" when `name` can name a world: 1 to kMaxWorldName printable ASCII
// characters, no double quote, no blank at either end. Else why not.
std::string world_name_problem(const std::string& name);

// Palette, world description (naming the world `world_name`), tile table,
// object table and every picture the tables name (not the save file, not the
// layer files).
std::vector<WorldFile> demo_support_files(const std::string& world_name = kDemoWorldName);
// The save file: world `base` (its description is `base`.txt), the player at
// (x, y), status display on.
WorldFile demo_save_file(int x, int y, const std::string& base = kDemoWorldBase);
// The file base of a world named `name` (passing world_name_problem): its
// letters in lower case and its digits, each other run of characters one "_",
// none at either end; "world" when nothing is left. The save file's first
// field and the world description's name (base + ".txt") use it.
std::string world_file_base(const std::string& name);
// The five layer files of a map held in memory.
std::vector<WorldFile> layer_files(const DemoMap& map);

// Write the whole demo world into `dir` (created when missing), holding the
// world's lock for `program` meanwhile (refused with ToolError when another
// program holds it). Unless `force`, refuses (ToolError) when any of its files
// already exists. Returns the number of files written.
int write_demo_world(const std::string& dir, bool force, const std::string& program = "tlvx-tool demo");

}  // namespace tlvx::world
