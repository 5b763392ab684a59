#include "world/paths.hpp"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "world/picture_files.hpp"

namespace tlvx::world {

namespace fs = std::filesystem;

namespace {

// The folder a path's file goes into, "." for a bare name.
std::string parent_of(const std::string& path) {
    const std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

std::string lower_first(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

}  // namespace

std::string folder_problem(const std::string& dir) {
    if (dir.empty()) return "is an empty name";
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT) return "does not exist";
        if (errno == ENOTDIR) return "does not exist (a part of its path is a file)";
        return "cannot be reached (" + lower_first(std::strerror(errno)) + ")";
    }
    if (!S_ISDIR(st.st_mode)) return "is a file, not a folder";
    return "";
}

void require_folder(const std::string& dir, const char* what) {
    const std::string problem = folder_problem(dir);
    if (!problem.empty()) throw ToolError(std::string("the ") + what + " " + printable(dir) + " " + problem);
}

std::string output_problem(const std::string& path) {
    if (path.empty()) return "the file name is empty";
    const std::string parent = parent_of(path);
    const std::string folder = folder_problem(parent);
    if (!folder.empty()) return "the folder " + printable(parent) + " " + folder;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return "it is a folder";
        if (S_ISLNK(st.st_mode))
            return "it is a link (the new file would replace the link); give the file it points to";
        if (!S_ISREG(st.st_mode)) return "it is not a plain file";
        if (::access(path.c_str(), W_OK) != 0) return "the file is read-only";
    }
    if (::access(parent.c_str(), W_OK | X_OK) != 0)
        return "the folder " + printable(parent) + " cannot be written (" + lower_first(std::strerror(errno)) + ")";
    return "";
}

void require_output(const std::string& path) {
    const std::string problem = output_problem(path);
    if (!problem.empty()) throw ToolError("cannot write " + printable(path) + ": " + problem);
}

std::string cannot_write(const std::string& shown, const std::string& writer_error) {
    const size_t colon = writer_error.rfind(": ");
    return "cannot write " + printable(shown) +
           (colon == std::string::npos ? std::string() : ": " + lower_first(writer_error.substr(colon + 2)));
}

WorldLock lock_world(const std::string& dir, const std::string& program, bool game) {
    try {
        WorldLock lock(dir, program);
        if (!lock.warning().empty() && (game || !lock.folder_unwritable()))
            std::cerr << program << ": warning: " << printable(lock.warning()) << "\n";
        return lock;
    } catch (const WorldLockError& e) {
        throw ToolError(e.what());
    }
}

CreatedPaths::~CreatedPaths() {
    std::error_code ec;
    for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) fs::remove(*it, ec);
}

void CreatedPaths::note(const std::string& path) {
    if (!path_exists(path)) paths_.push_back(path);
}

bool CreatedPaths::made(const std::string& path) const {
    return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

void CreatedPaths::create_folders(const std::string& dir) {
    std::vector<std::string> missing;
    for (fs::path p(dir); !p.empty() && !path_exists(p.string()); p = p.parent_path()) {
        missing.push_back(p.string());
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code ec;
        // mended: only a folder this run's mkdir made is its own to remove: one
        // that another program made meanwhile (create_directory: false, no
        // error) is not, or a refused `new` removed the winner's world.
        if (fs::create_directory(*it, ec)) {
            paths_.push_back(*it);
        } else if (ec) {
            const std::string parent = parent_of(*it);
            const std::string problem = folder_problem(parent);
            throw ToolError(
                "cannot create the folder " + printable(dir) + ": " +
                (problem.empty() ? lower_first(ec.message()) : "the folder " + printable(parent) + " " + problem));
        }
    }
    const std::string problem = folder_problem(dir);
    if (!problem.empty()) throw ToolError("cannot use " + printable(dir) + " as the world folder: it " + problem);
}

}  // namespace tlvx::world
