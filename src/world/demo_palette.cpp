#include "world/demo_palette.hpp"

#include "display/screen.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

namespace {

// The gradient start-up writes over 223 to 238, as it shows (red, green, blue):
// green level floor(15 + 31.5 k / 16), red level floor(63 k / 16).
constexpr Level gradient(int k) {
    return Level{static_cast<uint8_t>(63 * k / 16), static_cast<uint8_t>(15 + 63 * k / 32), 0};
}

}  // namespace

const std::array<Level, 81> kDemoLevels = {{
    {4, 4, 6},  // 175 outline
    {8, 22, 6},
    {12, 30, 8},
    {18, 38, 10},
    {32, 42, 12},
    {26, 48, 14},  // grass
    {22, 14, 6},
    {32, 22, 10},
    {42, 31, 17},  // dirt
    {46, 39, 22},
    {54, 47, 30},
    {60, 55, 40},  // sand
    {27, 26, 24},
    {38, 37, 34},
    {49, 48, 44},  // road
    {19, 20, 24},
    {31, 32, 36},
    {44, 45, 48},  // stone
    {15, 9, 4},
    {26, 16, 8},  // bark
    {3, 16, 6},
    {7, 26, 10},
    {14, 37, 14},  // leaves
    {30, 7, 6},
    {44, 13, 10},
    {55, 24, 16},  // roof
    {28, 17, 7},
    {40, 27, 13},
    {51, 38, 22},  // wood
    {60, 9, 12},
    {63, 56, 10},
    {60, 60, 58},
    {48, 20, 56},  // flowers
    {58, 43, 31},
    {9, 18, 48},
    {20, 33, 60},
    {22, 12, 5},  // person
    {58, 29, 7},
    {62, 52, 38},  // fox
    {5, 28, 34},
    {14, 44, 50},
    {44, 62, 62},  // slime
    {62, 62, 58},
    {46, 46, 44},
    {62, 46, 8},
    {56, 6, 6},  // chicken
    {2, 2, 5},
    {44, 54, 62},  // eye, foam
    gradient(1),
    gradient(2),
    gradient(3),
    gradient(4),
    gradient(5),
    gradient(6),
    gradient(7),
    gradient(8),
    gradient(9),
    gradient(10),
    gradient(11),
    gradient(12),
    gradient(13),
    gradient(14),
    gradient(15),
    gradient(16),
    // The rotation's four shades in its first phase (shown as blue to pale blue).
    {0, 0, 63},
    {8, 16, 63},
    {16, 32, 63},
    {24, 48, 63},
    {14, 12, 12},
    {29, 25, 21},
    {41, 37, 31},  // cliff
    {63, 0, 63},
    {62, 54, 22},
    {19, 11, 4},
    {56, 52, 44},
    {43, 39, 33},  // marker, window, door, plaster
    {22, 30, 18},
    {0, 8, 30},
    {20, 36, 8},
    {30, 50, 20},
    {63, 63, 63},  // moss, deep water, reed, lily, white
}};

std::string demo_palette_file() {
    std::string out;
    for (const Level& l : kDemoLevels)
        out += crlf(std::to_string(l.b) + "," + std::to_string(l.g) + "," + std::to_string(l.r));
    return out;
}

std::array<Rgb, 256> demo_screen_palette() {
    std::array<Rgb, 256> pal = kVgaDefaultPalette;
    for (size_t i = 0; i < kDemoLevels.size(); ++i) {
        const Level& l = kDemoLevels[i];
        pal[175 + i] = Rgb{level_to_8bit(l.r), level_to_8bit(l.g), level_to_8bit(l.b)};
    }
    return pal;
}

}  // namespace tlvx::world
