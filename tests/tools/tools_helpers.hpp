#pragma once
// Helpers of the world tool tests: reading PNGs back, running tlvx-tool,
// folder snapshots, layer files, starting the game on a world.
#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "shell/game.hpp"
#include "support/test_support.hpp"
#include "world/demo_world.hpp"
#include "world/picture_files.hpp"

namespace tlvx::test {

// A PNG's pixels as RGBA, row by row; 0 x 0 when it cannot be read.
using Rgba = std::array<uint8_t, 4>;
struct RgbaPicture {
    int w = 0, h = 0;
    std::vector<Rgba> px;
    Rgba at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

inline RgbaPicture read_png(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    RgbaPicture p;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
    img.format = PNG_FORMAT_RGBA;
    p.px.resize(size_t(img.width) * img.height);
    if (png_image_finish_read(&img, nullptr, p.px.data(), 0, nullptr)) p.w = int(img.width), p.h = int(img.height);
    return p;
}

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and standard error
};

// Runs tlvx-tool with `args` (already quoted for the shell).
inline ToolRun run_tool(const std::string& args) {
    ToolRun r;
    FILE* p = ::popen((std::string("'") + TLVX_TOOL + "' " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
    const int st = p ? ::pclose(p) : -1;
    r.status = st != -1 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The names in a folder (none when it cannot be read).
inline std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

// Every entry under `root` (none when it is missing): its kind, permissions
// and a hash of its bytes (links: their target).
inline std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> t;
    if (!std::filesystem::exists(root)) return t;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).string();
        const auto perms = std::to_string(static_cast<int>(e.symlink_status().permissions()));
        if (e.is_symlink()) t[rel] = "link " + std::filesystem::read_symlink(e.path()).string();
        else if (e.is_directory()) t[rel] = "folder " + perms;
        else t[rel] = "file " + perms + " " + std::to_string(std::hash<std::string>{}(read_file(e.path().string())));
    }
    return t;
}

// The differences between two trees, by entry name.
inline std::string changes(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    std::string out;
    for (const auto& [k, v] : a)
        if (!b.count(k)) out += " removed " + k;
        else if (b.at(k) != v) out += " changed " + k;
    for (const auto& [k, v] : b)
        if (!a.count(k)) out += " left behind " + k;
    return out;
}

inline std::string layer_path(const std::string& dir, int k) { return dir + "/" + tools::kLayerNames[k]; }

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

// The game started on the world in `dir` with a clock standing at 1000 s.
struct StartedGame {
    FakePlatform platform;
    std::unique_ptr<State> s = std::make_unique<State>();
    explicit StartedGame(const std::string& dir) { init_state(*s, dir, platform), startup(*s); }
};

}  // namespace tlvx::test
