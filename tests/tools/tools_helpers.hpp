#pragma once
// Helpers of the world tool tests: reading PNGs back, running tlvx-tool,
// loading pictures with the game's loader, starting the game on a world.
#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/image.hpp"
#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

struct RgbPicture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline RgbPicture read_png_rgb(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) throw std::runtime_error(img.message);
    img.format = PNG_FORMAT_RGB;
    RgbPicture p;
    p.w = static_cast<int>(img.width);
    p.h = static_cast<int>(img.height);
    p.rgb.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, p.rgb.data(), 0, nullptr)) throw std::runtime_error(img.message);
    return p;
}

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and standard error
};

// Runs tlvx-tool with `args` (already quoted for the shell).
inline ToolRun run_tool(const std::string& args) {
    ToolRun r;
    std::string cmd = std::string("'") + TLVX_TOOL + "' " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("popen failed");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// A picture of 1 byte a pixel as the game loads it (short or long header).
struct LoadedPicture {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
};

inline LoadedPicture load_picture(const std::string& dir, const std::string& name) {
    auto s = std::make_unique<State>();
    s->data_dir = dir;
    load_image(*s, name);
    const uint8_t* b = s->SCN.data();
    LoadedPicture p;
    p.w = (b[0] | b[1] << 8) >> 3;
    p.h = b[2] | b[3] << 8;
    p.px.assign(b + 4, b + 4 + p.w * p.h);
    return p;
}

// The game started on the world in `dir` with a clock standing at 1000 s.
struct StartedGame {
    FakePlatform platform;
    std::unique_ptr<State> s = std::make_unique<State>();
    explicit StartedGame(const std::string& dir) {
        init_state(*s, dir, platform);
        startup(*s);
    }
};

}  // namespace tlvx::test
