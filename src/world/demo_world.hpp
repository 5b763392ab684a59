#pragma once
// The demo world: a small valley with a village, a forest, a lake and river,
// farmland and a rocky plateau, generated entirely by code. Also the "demo
// set" (palette, save file, world description, tables, pictures) that `new`
// copies into a folder so a new map is playable at once.
#include <cstdint>
#include <string>
#include <vector>

#include "world/picture_files.hpp"

namespace tlvx::tools {

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
// Object values of the demo set (creatures 1 to 5, structures 10 onwards).
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

inline constexpr const char* kDemoWorldBase = "oakvale";  // P1$: the world description is oakvale.txt
inline constexpr const char* kSaveFileName = "Pndx_001.sav";
inline constexpr const char* kPaletteFileName = "tlvx_w05.pal";
inline constexpr const char* kTileTableName = "tlvx_w05.mem";
inline constexpr const char* kObjectTableName = "tlvx_w05.mom";
inline constexpr const char* kLayerNames[5] = {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp", "tlvx_gr4.tmp",
                                               "tlvx_gr5.tmp"};

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

// Palette, world description, tile table, object table and every picture the
// tables name (not the save file, not the layer files).
std::vector<WorldFile> demo_support_files();
// The save file: world oakvale, the player at (x, y), status display on.
WorldFile demo_save_file(int x, int y);
// The five layer files of a map held in memory.
std::vector<WorldFile> layer_files(const DemoMap& map);

// Write the whole demo world into `dir` (created when missing). Unless `force`,
// refuses (ToolError) when any of its files already exists. Returns the number
// of files written.
int write_demo_world(const std::string& dir, bool force);

}  // namespace tlvx::tools
