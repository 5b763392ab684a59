#pragma once
// Helpers of the world tool tests: reading PNGs back, running tlvx-tool,
// starting the game on a world.
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

struct RgbPicture {
    int w = 0, h = 0;
    std::vector<Rgb> px;  // Rgb is 3 bytes: the rows as libpng hands them over
    Rgb at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

inline RgbPicture read_png_rgb(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    RgbPicture p;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
    img.format = PNG_FORMAT_RGB;
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

// The game started on the world in `dir` with a clock standing at 1000 s.
struct StartedGame {
    FakePlatform platform;
    std::unique_ptr<State> s = std::make_unique<State>();
    explicit StartedGame(const std::string& dir) { init_state(*s, dir, platform), startup(*s); }
};

}  // namespace tlvx::test
