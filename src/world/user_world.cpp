// Finding and preparing the player's own world in the per-user data folder.
#include "world/user_world.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/world_lock.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

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

constexpr const char kTempPrefix[] = ".world-new-";
constexpr size_t kTempNameLength = sizeof kTempPrefix - 1 + 6;  // mkdtemp's six letters

// A folder opened to hold or test its lock; closed with the object.
struct FolderLock {
    int fd = -1;
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() {
        if (fd >= 0) ::close(fd);
    }
    // Takes the lock without waiting; false when another process holds it
    // or the file system cannot lock.
    bool take(int at, const char* name) {
        fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
};

// Removes a temporary folder when it was not renamed into place. It is
// locked while it is filled: the kernel drops the lock when the process
// dies, which tells a later start that the folder is left over.
struct TempDirGuard {
    std::string path;
    FolderLock lock;
    ~TempDirGuard() {
        if (path.empty()) return;
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

bool temp_name(const char* name) {
    if (std::strlen(name) != kTempNameLength || std::strncmp(name, kTempPrefix, sizeof kTempPrefix - 1) != 0)
        return false;
    for (const char* c = name + sizeof kTempPrefix - 1; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c))) return false;
    return true;
}

// Empties and removes the folder `name` in `at` when it holds nothing but
// regular files (what a demo world is made of); anything else in it keeps it.
void remove_plain_folder(int at, const char* name, int fd) {
    DIR* d = ::fdopendir(::dup(fd));
    if (!d) return;
    std::vector<std::string> files;
    bool plain = true;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st {};
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) plain = false;
        files.emplace_back(e->d_name);
    }
    ::closedir(d);
    if (!plain) return;
    for (const std::string& f : files) ::unlinkat(fd, f.c_str(), 0);
    ::unlinkat(at, name, AT_REMOVEDIR);
}

bool holds_only_lock_file(const std::string& dir) {
    std::error_code ec;
    int entries = 0;
    bool lock_file = false;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        ++entries;
        lock_file = lock_file || it->path().filename() == kWorldLockName;
    }
    return !ec && entries == 1 && lock_file;
}

}  // namespace

void remove_stale_world_temps(const std::string& parent, std::chrono::seconds min_age) {
    const int at = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (at < 0) return;
    DIR* d = ::fdopendir(::dup(at));
    std::vector<std::string> names;
    while (const dirent* e = d ? ::readdir(d) : nullptr)
        if (temp_name(e->d_name)) names.emplace_back(e->d_name);
    if (d) ::closedir(d);
    const auto now = std::chrono::system_clock::now();
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        // Young folders are left alone: a start that has just made its folder
        // may not have locked it yet.
        const auto changed = std::chrono::system_clock::time_point(std::chrono::seconds(st.st_mtim.tv_sec));
        if (now - changed < min_age) continue;
        FolderLock lock;
        if (!lock.take(at, name.c_str())) continue;  // its start is still at work, or no lock can tell
        struct stat locked {};
        if (::fstat(lock.fd, &locked) != 0 || locked.st_ino != st.st_ino || locked.st_dev != st.st_dev) continue;
        remove_plain_folder(at, name.c_str(), lock.fd);
    }
    ::close(at);
}

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

UserWorld prepare_user_world(const std::string& dir, const std::string& program) {
    UserWorld w{dir, false};
    std::error_code ec;
    // mended: temporary folders of first starts that were killed are removed
    // (they were left for ever, 2 MB each).
    const std::string parent = fs::path(dir).parent_path().string();
    remove_stale_world_temps(parent, kStaleTempAge);
    // Where the world's folder is: `dir` itself, or the folder it links to.
    std::string place = dir;
    const fs::file_status st = fs::symlink_status(dir, ec);
    if (fs::exists(st)) {
        if (!fs::is_directory(fs::status(dir, ec)))
            throw ToolError(dir + " is in the place of the world folder but is not a folder");
        // A folder holding only a lock file (a program locked it and found no
        // world) is as good as empty; it cannot be renamed over, so the demo
        // world is written straight into it, under the lock.
        if (holds_only_lock_file(dir)) {
            write_demo_world(dir, false, program);
            w.created = true;
            return w;
        }
        if (!fs::is_empty(dir, ec)) return w;  // the player's world, as it is
        if (fs::is_symlink(st)) {
            // mended: a link to an empty folder is a place the player chose
            // for the world: the folder it leads to is filled, and the link
            // stays. It was refused as "Not a directory".
            place = fs::canonical(dir, ec).string();
            if (ec) throw ToolError("cannot follow the link " + dir + ": " + ec.message());
        }
    }
    const std::string place_parent = fs::path(place).parent_path().string();
    if (place == dir) make_private_dirs(place_parent);
    else remove_stale_world_temps(place_parent, kStaleTempAge);

    std::string pattern = join_path(place_parent, std::string(kTempPrefix) + "XXXXXX");
    if (!::mkdtemp(pattern.data()))
        throw ToolError("cannot create a folder in " + place_parent + ": " + std::strerror(errno));
    TempDirGuard guard{pattern, {}};
    // The demo writer's world lock also locks the folder while it fills it;
    // the guard takes the same lock once the writer has let it go, until the
    // folder is renamed into place (a second lock on the folder would be
    // refused while the writer holds it, even in this process).
    write_demo_world(pattern, false);
    guard.lock.take(AT_FDCWD, pattern.c_str());
    // rename() also replaces an empty folder; it fails when another start
    // made the world first, and then that world is used.
    if (::rename(pattern.c_str(), place.c_str()) == 0) {
        guard.path.clear();
        w.created = true;
        return w;
    }
    const int err = errno;
    if ((err == ENOTEMPTY || err == EEXIST) && fs::is_directory(place, ec)) return w;
    throw ToolError("cannot create the world folder " + place + ": " + std::strerror(err));
}

std::optional<std::string> chosen_data_dir(const std::optional<std::string>& data, bool world, bool current_has_save) {
    if (data) return data;
    if (world || !current_has_save) return std::nullopt;
    return std::string(".");
}

std::string data_folder_problem(const std::string& dir, bool need_world) {
    const std::string shown = "the data folder " + printable(dir);
    const std::string problem = folder_problem(dir);
    if (!problem.empty()) return shown + " " + problem;
    if (!need_world) return "";
    struct stat st {};
    if (::stat(join_path(dir, kSaveFileName).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return "";
    return shown + " holds no world (there is no " + kSaveFileName + " in it)";
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

}  // namespace tlvx::world
