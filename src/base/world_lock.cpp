#include "base/world_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tlvx {

namespace {

constexpr size_t kHolderTextLimit = 256;  // bytes of the lock file read to name its holder
constexpr size_t kHolderNameLimit = 64;   // characters of the holder's name shown

std::string error_text(int err) { return std::strerror(err); }

// The holder line of the lock file open on `fd`; empty when unreadable.
std::string read_holder_text(int fd) {
    char buf[kHolderTextLimit];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace

int WorldLock::try_flock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB); }

WorldLock::WorldLock(const std::string& dir, const std::string& program, TryLock try_lock) {
    const std::string path = dir.empty() ? std::string(kWorldLockName) : dir + "/" + kWorldLockName;
    const std::string world = "the world in \"" + dir + "\"";
    const std::string unprotected = world + " is not protected against a second program: ";
    // O_NONBLOCK: a FIFO planted in the lock file's place must not hang the
    // open; it is refused below as not a regular file.
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    bool writable = true;
    // Made by this lock only when it was not there at all.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0644);
    const bool created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A folder this program may not write: an existing lock file can still
        // be locked through a descriptor open for reading.
        const int why = errno;
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
        if (fd < 0 && errno == ENOENT) {
            warning_ = unprotected + "its lock file cannot be created (" + error_text(why) + ")";
            folder_unwritable_ = true;
            return;
        }
    }
    if (fd < 0) {
        const int err = errno;
        if (err == ELOOP || err == EISDIR)
            throw WorldLockError(world + " has " + (err == ELOOP ? "a link" : "a folder") +
                                 " in place of its lock file " + kWorldLockName + "; remove it");
        throw WorldLockError("cannot lock " + world + ": " + error_text(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw WorldLockError(world + " has a special file in place of its lock file " + std::string(kWorldLockName) +
                             "; remove it");
    }
    if (try_lock(fd) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            const std::string holder = lock_holder(read_holder_text(fd));
            ::close(fd);
            throw WorldLockError(world + " is in use by " + holder + "; close it first");
        }
        // ENOLCK, EOPNOTSUPP, ENOSYS, EINVAL...: a file system without locks
        // (some network and user-space ones). Refusing would make such a
        // world unplayable; it is used as before, with a warning.
        ::close(fd);
        warning_ = unprotected + "its file system does not support locks (" + error_text(err) + ")";
        return;
    }
    // mended: the folder is locked too, so that the lock holds when its file
    // is removed, renamed or replaced (a second program then locks a new file
    // and was let in). Refused, this lock names the holder the file now names.
    const int dir_fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0 && try_lock(dir_fd) != 0) {
        const int err = errno;
        ::close(dir_fd);
        if (err == EWOULDBLOCK) {
            const std::string holder = lock_holder(read_holder_text(fd));
            ::close(fd);
            throw WorldLockError(world + " is in use by " + holder + "; close it first");
        }
    } else if (dir_fd >= 0) {
        dir_fd_ = dir_fd;
    }
    fd_ = fd;
    path_ = path;
    created_ = created;
    if (writable) {
        // The line only names the holder; the lock holds whether or not it is
        // written. Written over the old line before the rest is cut, so that
        // a reader always finds a whole first line.
        const std::string line = program + " " + std::to_string(::getpid()) + "\n";
        // A failed cut only leaves old text after the first line, which no reader looks at.
        if (::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
            [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(line.size()));
        }
    }
}

WorldLock::~WorldLock() {
    if (fd_ >= 0 && remove_ && created_) {
        // Only the file this lock holds: not one someone put in its place.
        struct stat held {
        }, named{};
        if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            ::unlink(path_.c_str());
    }
    if (fd_ >= 0) ::close(fd_);
    if (dir_fd_ >= 0) ::close(dir_fd_);
}

WorldLock::WorldLock(WorldLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), dir_fd_(std::exchange(other.dir_fd_, -1)), path_(std::move(other.path_)),
      warning_(std::move(other.warning_)), folder_unwritable_(other.folder_unwritable_), created_(other.created_),
      remove_(std::exchange(other.remove_, false)) {}

std::string world_lock_holder(const std::string& dir) {
    const std::string path = dir.empty() ? std::string(kWorldLockName) : dir + "/" + kWorldLockName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return "";
    struct stat st {};
    std::string holder;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        holder = lock_holder(read_holder_text(fd));
    ::close(fd);  // releases the shared lock, if it was taken
    return holder;
}

std::string lock_holder(const std::string& text) {
    const std::string line = text.substr(0, text.find('\n'));
    const size_t blank = line.rfind(' ');
    const std::string anyone = "another program";
    if (blank == std::string::npos || blank == 0) return anyone;
    const std::string pid = line.substr(blank + 1);
    if (pid.empty() || pid.size() > 10 || pid.find_first_not_of("0123456789") != std::string::npos) return anyone;
    std::string name;
    for (size_t i = 0; i < blank && name.size() < kHolderNameLimit; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        name += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (blank > kHolderNameLimit) name += "...";
    return name + " (pid " + pid + ")";
}

}  // namespace tlvx
