#include "base/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tlvx {

namespace {

// What a name that is no regular file names, as the end of a message.
const char* not_a_file(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO (a named pipe), not a file";
    if (S_ISCHR(mode)) return "is a terminal or a device, not a file";
    if (S_ISBLK(mode)) return "is a disk device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is not a regular file";
}

}  // namespace

InputFile::InputFile(InputFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)), why(std::move(other.why)), missing(other.missing) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(other.fd, -1);
        why = std::move(other.why);
        missing = other.missing;
    }
    return *this;
}

InputFile::~InputFile() {
    if (fd >= 0) ::close(fd);
}

int InputFile::release() { return std::exchange(fd, -1); }

InputFile open_input_file(const std::string& path, InputLinks links) {
    InputFile f;
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == InputLinks::Refuse ? O_NOFOLLOW : 0);
    int fd = -1;
    do fd = ::open(path.c_str(), flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        // O_NOFOLLOW on a link fails with ELOOP; a folder may fail to open
        // for lack of rights before it could be told apart.
        if (links == InputLinks::Refuse && err == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            f.why = "is a symbolic link (not followed)";
        else if (err != ENOENT && ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            f.why = not_a_file(st.st_mode);
        else f.why = std::string("cannot be read: ") + std::strerror(err);
        f.missing = err == ENOENT;
        return f;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        f.why = std::string("cannot be read: ") + std::strerror(errno);
        ::close(fd);
        return f;
    }
    if (!S_ISREG(st.st_mode)) {
        f.why = not_a_file(st.st_mode);
        ::close(fd);
        return f;
    }
    f.fd = fd;
    return f;
}

}  // namespace tlvx
