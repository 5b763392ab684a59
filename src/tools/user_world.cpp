// Finding and preparing the player's own world in the per-user data folder.
#include "tools/user_world.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "world/demo_world.hpp"
#include "world/picture_files.hpp"

namespace tlvx::tools {

namespace fs = std::filesystem;

namespace {

bool absolute_value(const char* v) { return v && v[0] == '/'; }

// mkdir -p with mode 0700 for each folder it makes.
void make_private_dirs(const std::string& dir) {
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        size_t next = dir.find('/', pos + 1);
        path = dir.substr(0, next);
        pos = next;
        if (path.empty() || path == "/") continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw ToolError("cannot create the folder " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw ToolError(dir + " is not a folder");
}

// Removes a temporary folder when it was not renamed into place.
struct TempDirGuard {
    std::string path;
    ~TempDirGuard() {
        if (path.empty()) return;
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

}  // namespace

WorldEnv process_world_env() {
    WorldEnv env;
    env.xdg_data_home = std::getenv("XDG_DATA_HOME");
    env.home = std::getenv("HOME");
    if (!absolute_value(env.home)) {
        // getpwuid_r: the buffer is ours, nothing is shared between callers.
        std::vector<char> buf(16384);
        struct passwd pw {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
            env.account_home = found->pw_dir;
    }
    return env;
}

std::string user_world_dir(const WorldEnv& env) {
    std::string base;
    if (absolute_value(env.xdg_data_home)) {
        base = env.xdg_data_home;
    } else {
        std::string home;
        if (absolute_value(env.home)) home = env.home;
        else if (!env.account_home.empty() && env.account_home[0] == '/') home = env.account_home;
        else throw ToolError("cannot find your home folder for the world: set HOME or XDG_DATA_HOME");
        while (home.size() > 1 && home.back() == '/') home.pop_back();
        base = (home == "/" ? "" : home) + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return (base == "/" ? "" : base) + "/tlvx/world";
}

UserWorld prepare_user_world(const std::string& dir) {
    UserWorld w{dir, false};
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(dir, ec);
    if (fs::exists(st)) {
        if (!fs::is_directory(fs::status(dir, ec)))
            throw ToolError(dir + " is in the place of the world folder but is not a folder");
        if (!fs::is_empty(dir, ec)) return w;  // the player's world, as it is
    }
    const std::string parent = fs::path(dir).parent_path().string();
    make_private_dirs(parent);

    std::string pattern = join_path(parent, ".world-new-XXXXXX");
    if (!::mkdtemp(pattern.data()))
        throw ToolError("cannot create a folder in " + parent + ": " + std::strerror(errno));
    TempDirGuard guard{pattern};
    write_demo_world(pattern, false);
    // rename() also replaces an empty folder; it fails when another start
    // made the world first, and then that world is used.
    if (::rename(pattern.c_str(), dir.c_str()) == 0) {
        guard.path.clear();
        w.created = true;
        return w;
    }
    const int err = errno;
    if ((err == ENOTEMPTY || err == EEXIST) && fs::is_directory(dir, ec)) return w;
    throw ToolError("cannot create the world folder " + dir + ": " + std::strerror(err));
}

std::optional<std::string> chosen_data_dir(const std::optional<std::string>& data, bool world, bool current_has_save) {
    if (data) return data;
    if (world || !current_has_save) return std::nullopt;
    return std::string(".");
}

namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string shell_word(const std::string& w) {
    if (!w.empty() && w.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-+,:=") ==
                          std::string::npos)
        return w;
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

std::string play_command(const std::string& dir, const std::string& self_dir, const char* path_env) {
    std::string game = "tlvx";
    const std::string beside = join_path(self_dir.empty() ? "." : self_dir, "tlvx");
    if (!self_dir.empty() && is_executable_file(beside)) {
        std::string found;
        const std::string path = path_env ? path_env : "";
        for (size_t start = 0; found.empty() && start <= path.size();) {
            size_t end = path.find(':', start);
            if (end == std::string::npos) end = path.size();
            const std::string entry = path.substr(start, end - start);
            // An empty entry or "." means the current folder, which changes
            // with the cd: not a place to rely on.
            if (!entry.empty() && entry != "." && is_executable_file(join_path(entry, "tlvx"))) found = entry;
            start = end + 1;
        }
        std::error_code ec;
        if (found.empty() || !fs::equivalent(found, self_dir, ec)) game = shell_word(fs::absolute(beside, ec).string());
    }
    return "cd " + shell_word(dir) + " && " + game;
}

std::string own_program_dir() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

std::string created_world_message(const std::string& dir) {
    return "Created the demo world in " + dir + "; your game is kept there from now on.";
}

}  // namespace tlvx::tools
