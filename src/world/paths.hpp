#pragma once
// Checks the tools make on the paths a user gives them before they read or
// write anything, and the bookkeeping that lets a failed command leave the
// folder tree as it found it.
#include <string>
#include <vector>

#include "base/printable.hpp"
#include "base/world_lock.hpp"

namespace tlvx::world {

// "" when `dir` is an existing folder, else why not in plain words, e.g.
// "does not exist" or "is a file, not a folder".
std::string folder_problem(const std::string& dir);
// Throws ToolError "the world folder DIR does not exist" (or the other
// reasons) unless `dir` is an existing folder. `what` names the folder's role.
void require_folder(const std::string& dir, const char* what = "world folder");

// "" when a file can be written at `path` (through a temporary file beside
// it, renamed into place), else why not: the folder it goes into is missing,
// not a folder or not writable, or `path` is a folder, a link or read-only.
std::string output_problem(const std::string& path);
// Throws ToolError "cannot write PATH: REASON" when output_problem finds one.
void require_output(const std::string& path);

// "cannot write SHOWN: reason", the reason taken from the atomic file
// writer's message (which names its temporary file rather than `shown`).
std::string cannot_write(const std::string& shown, const std::string& writer_error);

// Takes the lock on the world in `dir` for `program` (e.g. "tlvx-tool demo"),
// for as long as the returned lock lives. A world held by another program (or
// with something other than a file in its lock file's place) is refused with
// ToolError, e.g. `the world in "W" is in use by tlvx (pid 1234); close it
// first`. Where the world cannot be protected (a file system without locks),
// one line "PROGRAM: warning: ..." goes to standard error and the world is
// used as it is. In a folder this program may not write, the warning is given
// only for a game (`game`): it writes its layer and save files in place, while
// a tool, which renames every file it writes into place, can change nothing
// there and fails with its own message.
WorldLock lock_world(const std::string& dir, const std::string& program, bool game = false);

// Files and folders a command creates, removed again (newest first) unless
// the command calls keep(): a refused or failed command leaves nothing behind.
class CreatedPaths {
public:
    CreatedPaths() = default;
    ~CreatedPaths();
    CreatedPaths(const CreatedPaths&) = delete;
    CreatedPaths& operator=(const CreatedPaths&) = delete;

    // Call before writing `path`: remembers it when nothing is there yet.
    void note(const std::string& path);
    // Creates `dir` and its missing parents, remembering each folder this
    // call made (not one another program made meanwhile). Removing a folder
    // removes it only when empty. Throws ToolError when it cannot.
    void create_folders(const std::string& dir);
    // Whether `path` is one this run made and would remove.
    bool made(const std::string& path) const;
    void keep() { paths_.clear(); }

private:
    std::vector<std::string> paths_;
};

}  // namespace tlvx::world
