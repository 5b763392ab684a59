#pragma once
// Making the layer files of a new, empty map (and the rest of the demo set
// when the folder has none of it, so the new world can be played at once).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tlvx::tools {

struct NewMapOptions {
    std::string dir;
    int32_t w = 0, h = 0;                            // 8 to 65535 each
    std::optional<int32_t> fill;                     // ground value for every cell; see new_map()
    bool force = false;                              // replace existing layer files
    std::optional<std::string> name = std::nullopt;  // the world's name, when the world description is new
    std::string program = "tlvx-tool new";           // the name in the world's lock file while writing
};

struct NewMapResult {
    int32_t start_x = 0, start_y = 0;  // where the game will start the player (the marker's cell)
    int32_t fill = 0;                  // the ground value of the map
    bool clearing = false;             // a sparse map with a patch of grass around the start
    std::vector<std::string> written;  // the files written, in order
};

// Maps up to this many cells get the demo grass by default; larger ones stay
// sparse (ground 0) apart from a clearing of grass around the start, so that
// a 65535 x 65535 map takes moments and almost no disk.
constexpr int64_t kDenseDefaultCells = int64_t{4096} * 4096;
constexpr int32_t kClearingSize = 64;

// "WxH" -> {W, H}; nullopt unless both are whole numbers 8 to 65535.
std::optional<std::pair<int32_t, int32_t>> parse_map_size(const std::string& text);

// Writes the five layer files (refusing, unless `force`, when one exists) and
// every file of the demo set that `dir` lacks, holding the world's lock
// meanwhile (refused when another program holds it); a `name` (checked with
// world_name_problem) goes into that new world description, and is refused
// when `dir` has a world description already. An explicit fill is written
// into every cell; fill 0 leaves the ground file sparse. Throws ToolError.
NewMapResult new_map(const NewMapOptions& options);

}  // namespace tlvx::tools
