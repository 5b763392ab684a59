#pragma once
// Checking a world before it is shared: its size, its layer files, the values
// its map uses, and everything that would stop the game at start-up or when a
// cell comes into view.
#include <string>
#include <vector>

namespace tlvx::world {

struct WorldInfo {
    std::vector<std::string> lines;     // map size, layer files, value counts, start
    std::vector<std::string> problems;  // the game would stop with a runtime error or draw wrong pixels
    std::vector<std::string> notes;     // worth a look, though the game runs
};

// Reads the world in `dir` without changing anything in it.
WorldInfo inspect_world(const std::string& dir);
// The report as `tlvx-tool info` prints it.
std::string format_info(const WorldInfo& info);

}  // namespace tlvx::world
