#pragma once
// Helpers of the world tool tests: reading PNGs back, running tlvx-tool,
// folder snapshots, layer files, starting the game on a world.
#include <fcntl.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/world_lock.hpp"
#include "data/layer.hpp"
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
    int status = -1;     // the exit status, or minus the signal that ended it
    std::string output;  // standard output and standard error
    double seconds = 0;
};

// Runs tlvx-tool with `args` (already quoted for the shell).
inline ToolRun run_tool(const std::string& args) {
    ToolRun r;
    FILE* p = ::popen((std::string("'") + TLVX_TOOL + "' " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
    const int st = p ? ::pclose(p) : -1;
    r.status = exit_code(st);
    return r;
}

inline constexpr int kNotStarted = 124;  // the child could not be set up as asked

struct RunLimits {
    std::string cwd = ".";
    std::string probe = {};  // when set: without the file mode override, `probe` proving it (drop_file_mode_override)
    rlim_t memory = 0;       // bytes of address space; 0: no limit
    int deadline_s = 600;
    int64_t file_size_limit = -1;  // RLIMIT_FSIZE in bytes, SIGXFSZ ignored (a full disk); -1: none
};

// Starts tlvx-tool with `args` in a session of its own (no terminal), its
// input /dev/null, its output in `log`.
inline pid_t start_tool(const std::vector<std::string>& args, const std::string& log, const RunLimits& l = {}) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setsid();
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0 || ::chdir(l.cwd.c_str()))
        ::_exit(kNotStarted);
    const rlimit lim{l.memory, l.memory};
    if (l.memory != 0 && kAddressSpaceCanBeLimited && ::setrlimit(RLIMIT_AS, &lim) != 0) ::_exit(kNotStarted);
    const rlimit fsize{static_cast<rlim_t>(l.file_size_limit), static_cast<rlim_t>(l.file_size_limit)};
    if (l.file_size_limit >= 0 && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &fsize) != 0))
        ::_exit(kNotStarted);
    if (const std::string why = l.probe.empty() ? "" : drop_file_mode_override(l.probe); !why.empty())
        std::fprintf(stderr, "fault not made: %s\n", why.c_str()), ::_exit(kNotStarted);
    std::vector<char*> argv = {const_cast<char*>(TLVX_TOOL)};  // execv changes none of them
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The exit status of a waitpid status, or minus the signal that ended it.
inline int status_of(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? -WTERMSIG(st) : -1000; }

// Runs tlvx-tool as start_tool does and waits for it, killing it at the deadline.
inline ToolRun run_tool(const std::vector<std::string>& args, const RunLimits& l) {
    TempDir io;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = start_tool(args, io.file("out"), l);
    int st = 0;
    while (::waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(l.deadline_s))
            ::kill(pid, SIGKILL), ::waitpid(pid, &st, 0);
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {status_of(st), read_file(io.file("out")),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// The lines of a file as it is being written; 0 before it exists.
inline int64_t lines_in(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>(), '\n');
}

// True when `s` holds each of `parts`.
inline bool holds(const std::string& s, std::initializer_list<std::string> parts) {
    return std::all_of(parts.begin(), parts.end(), [&](const std::string& p) { return s.find(p) != s.npos; });
}

// The message of the ToolError `f` throws; "" when it throws none.
inline std::string tool_error(const std::function<void()>& f) {
    try {
        f();
    } catch (const world::ToolError& e) {
        return e.what();
    }
    return "";
}

// One line of output at most 200 bytes long.
inline bool one_short_line(const std::string& s) {
    return std::count(s.begin(), s.end(), '\n') == 1 && s.back() == '\n' && s.size() <= 200;
}

// Every entry under `root` (none when it is missing): its kind, permissions
// and a hash of its bytes (links: their target). Worlds' lock files are left
// out, as in names_in.
inline std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> t;
    if (!std::filesystem::exists(root)) return t;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.path().filename() == kWorldLockName) continue;
        const std::string rel = std::filesystem::relative(e.path(), root).string();
        const auto perms = std::to_string(static_cast<int>(e.symlink_status().permissions()));
        if (e.is_symlink()) t[rel] = "link " + std::filesystem::read_symlink(e.path()).string();
        else if (e.is_directory()) t[rel] = "folder " + perms;
        else if (!e.is_regular_file()) t[rel] = "other " + perms;  // a FIFO or a device: never read
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

inline std::string layer_path(const std::string& dir, int k) { return dir + "/" + kLayerNames[k]; }

// A copy of the world in `from` whose three map layers hold other cells
// (row 0, header and anything after the map kept), so that an import into it
// has to write every cell.
inline void copy_with_other_cells(const std::string& from, const std::string& to, int w, int h) {
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    for (int k = 0; k < 3; ++k) {
        std::string bytes = read_file(layer_path(to, k));
        for (int64_t i = *layer_offset(w, 1, 1); i < layer_file_length(w, h); ++i)
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
