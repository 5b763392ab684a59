#pragma once
// The demo world's colours: the palette entries 175 to 255 its palette file
// sets, named for what the pictures paint with them.
#include <array>
#include <cstdint>
#include <string>

#include "base/screen_types.hpp"

namespace tlvx::world {

// Palette indices used by the demo pictures. 0 to 174 are the display's
// default colours; 223 to 238 are the fixed gradient start-up sets; 239 to 242
// rotate while the status display is on.
namespace col {
enum : uint8_t {
    Black = 0,
    Outline = 175,
    GrassDark,
    GrassMid,
    GrassLight,
    GrassYellow,
    GrassBright,  // 176-180
    DirtDark,
    DirtMid,
    DirtLight,  // 181-183
    SandDark,
    SandMid,
    SandLight,  // 184-186
    RoadDark,
    RoadMid,
    RoadLight,  // 187-189
    StoneDark,
    StoneMid,
    StoneLight,  // 190-192
    BarkDark,
    Bark,  // 193-194
    LeafDark,
    LeafMid,
    LeafLight,  // 195-197
    RoofDark,
    RoofMid,
    RoofLight,  // 198-200
    WoodDark,
    WoodMid,
    WoodLight,  // 201-203
    FlowerRed,
    FlowerYellow,
    FlowerWhite,
    FlowerViolet,  // 204-207
    Skin,
    TunicBlue,
    TunicLight,
    Hair,  // 208-211
    FoxOrange,
    FoxLight,  // 212-213
    SlimeDark,
    SlimeMid,
    SlimeLight,  // 214-216
    Feather,
    FeatherShade,
    Beak,
    Comb,  // 217-220
    Eye,
    Foam,                 // 221-222
    GradientFirst = 223,  // 223-238
    Water0 = 239,
    Water1,
    Water2,
    Water3,  // 239-242
    CliffShadow,
    CliffFace,
    CliffLight,  // 243-245
    Magenta,
    Window,
    Door,
    Plaster,
    PlasterShade,
    Moss,
    WaterDeep,  // 246-252
    Reed,
    Lily,
    White,  // 253-255
};
}  // namespace col

struct Level {
    uint8_t r, g, b;  // 0 to 63 each, as the colour should show on screen
};

// Screen colours of entries 175 to 255 (index - 175).
extern const std::array<Level, 81> kDemoLevels;

// The palette file: 81 lines of three items. The file's first item of each
// entry shows as blue and its third as red, so each line holds blue, green, red.
std::string demo_palette_file();

// The whole palette as the demo world shows it after start-up: display
// defaults for 0 to 174, the file's entries, the gradient over 223 to 238.
// Entries 239 to 242 hold the file's values, which equal the rotation's shades
// in its first phase. BMP pictures carry this as their colour table, so loading
// one changes no colour.
std::array<Rgb, 256> demo_screen_palette();

}  // namespace tlvx::world
