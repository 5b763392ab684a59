#pragma once
// One program at a time on a world. A program that writes into a world folder
// holds a WorldLock on it for as long as it runs: an advisory exclusive lock
// (flock) on the file `.tlvx.lock` in the folder. The kernel drops the lock
// when the holder's descriptor closes, so a crashed or killed program never
// leaves a stale lock behind. The file holds one line, "PROGRAM PID", written
// by the holder once it has the lock, so that a refused program can name it.
//
// The holder also locks the world folder itself (flock on a descriptor of
// the folder): the folder stays the same whatever is done to the lock file,
// so a lock file removed, renamed or replaced by a copy while a program
// holds the world still keeps a second program out. Where a folder cannot be
// locked (a file system that locks files only) the file's lock stands alone.
//
// The file is not removed (but by a command that made the world's folder and
// fails, while it still holds the lock): it names the holder, and a file
// removed by others costs nothing but that name. It is hidden, and nothing
// that copies or records a world takes it along.
#include <stdexcept>
#include <string>

namespace tlvx {

inline constexpr const char* kWorldLockName = ".tlvx.lock";

// The world is held by another program, or its lock file is unusable (a
// link, a folder, a special file). what() is one line, e.g.
// `the world in "W" is in use by tlvx (pid 1234); close it first`.
class WorldLockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WorldLock {
public:
    // Tries the lock once: flock(fd, LOCK_EX | LOCK_NB) as the default.
    // Returns 0 or -1 with errno set, as flock does; a test replaces it to
    // play a file system that has no locks.
    using TryLock = int (*)(int fd);
    static int try_flock(int fd);

    // Takes the lock on the world in `dir` for `program` (the name written
    // into the lock file, e.g. "tlvx-tool import-tiled"), without waiting.
    // Throws WorldLockError when another program holds it (its file or its
    // folder) or the lock file is
    // not a regular file. When the file system has no locks, or the lock file
    // can neither be created nor opened (a read-only folder), the world is
    // used unprotected: held() is false and warning() says why.
    WorldLock(const std::string& dir, const std::string& program, TryLock try_lock = try_flock);
    ~WorldLock();
    WorldLock(WorldLock&& other) noexcept;
    WorldLock& operator=(WorldLock&& other) = delete;
    WorldLock(const WorldLock&) = delete;
    WorldLock& operator=(const WorldLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // Empty when held; otherwise one line saying that the world is not
    // protected against a second program, and why.
    const std::string& warning() const { return warning_; }
    // Not held because the lock file could not be made in a folder this
    // program may not write (the warning then says so).
    bool folder_unwritable() const { return folder_unwritable_; }
    // This lock made the lock file (it was not there: O_EXCL).
    bool created_file() const { return created_; }
    // When set, a lock file this lock made is removed as the lock is released,
    // still held, and only while its name still names it: for a command that
    // made the world's folder and fails, so that the folder can go too.
    void remove_created_file(bool remove) { remove_ = remove; }

private:
    int fd_ = -1;
    int dir_fd_ = -1;
    std::string path_;
    std::string warning_;
    bool folder_unwritable_ = false;
    bool created_ = false;
    bool remove_ = false;
};

// The holder of the lock on the world in `dir`, "PROGRAM (pid PID)" as
// lock_holder gives it, while a program holds it; "" when none does (or the
// world has no usable lock file). Only looks: the lock file is opened for
// reading and never created, links are not followed, and a shared lock is
// tried without waiting and released at once.
std::string world_lock_holder(const std::string& dir);

// The holder named by the text of a lock file, "PROGRAM (pid PID)", or
// "another program" when the text is not one line "PROGRAM PID". Characters
// other than printable ASCII become "?" and the name is cut short, since the
// file may have been written by anyone.
std::string lock_holder(const std::string& text);

}  // namespace tlvx
