#pragma once
// Helpers of the Tiled export and import tests: worlds with known layer
// bytes, folder snapshots, running Tiled itself.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "support/test_support.hpp"
#include "tools/demo_world.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::test {

inline std::string layer_path(const std::string& dir, int k) { return dir + "/" + tools::kLayerNames[k]; }

// The demo world's tables and pictures with random layer files of w x h:
// random cells and row 0, a header of the map size, and `trailing` bytes
// after the last cell of the structure layer.
inline void write_random_world(const std::string& dir, int w, int h, unsigned seed, size_t trailing = 0) {
    tools::write_demo_world(dir, false);
    std::mt19937 rng(seed);
    for (int k = 0; k < 5; ++k) {
        std::string bytes(static_cast<size_t>(tools::layer_file_length(w, h)) + (k == 2 ? trailing : 0), '\0');
        for (char& b : bytes) b = static_cast<char>(rng());
        const auto header = tools::layer_header(w, h);
        bytes.replace(0, 4, reinterpret_cast<const char*>(header.data()), 4);
        write_file(layer_path(dir, k), bytes);
    }
}

// A copy of the world in `from` whose three map layers hold other cells
// (row 0, header and anything after the map kept), so that an import into it
// has to write every cell.
inline void copy_with_other_cells(const std::string& from, const std::string& to, int w, int h) {
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    for (int k = 0; k < 3; ++k) {
        std::string bytes = read_file(layer_path(to, k));
        for (int64_t i = 4 + w; i < tools::layer_file_length(w, h); ++i)
            bytes[static_cast<size_t>(i)] = static_cast<char>(bytes[static_cast<size_t>(i)] ^ 0x5A);
        write_file(layer_path(to, k), bytes);
    }
}

inline bool tiled_installed() { return std::system("command -v tiled >/dev/null 2>&1") == 0; }

// Loads `in` in Tiled and saves it as `out` with its command line.
inline int tiled_resave(const std::string& in, const std::string& out, const std::string& flags = "") {
    const std::string cmd =
        "QT_QPA_PLATFORM=offscreen tiled --export-map " + flags + " json '" + in + "' '" + out + "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

}  // namespace tlvx::test
