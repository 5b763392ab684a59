#include "base/input_file.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

namespace {

// The open of open_input_file; a FIFO is let through when `fifo` is set
// (its descriptor then reads without waiting, O_NONBLOCK).
InputFile open_checked(const std::string& path, InputLinks links, bool fifo) {
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
    if (!S_ISREG(st.st_mode) && !(fifo && S_ISFIFO(st.st_mode))) {
        f.why = not_a_file(st.st_mode);
        ::close(fd);
        return f;
    }
    f.fd = fd;
    return f;
}

// Whether the pipe open on `fd` is an unnamed one (a shell's `<(...)`): the
// kernel names it "pipe:[INODE]", a FIFO by its place in the file system.
bool unnamed_pipe(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char target[64];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    return n > 5 && std::string(target, 5) == "pipe:";
}

std::string size_text(size_t bytes) {
    if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

InputFile open_input_file(const std::string& path, InputLinks links) { return open_checked(path, links, false); }

std::string input_file_problem(const std::string& what, const std::string& why) {
    const std::string cannot = "cannot be read: ";
    if (why.rfind(cannot, 0) == 0) return "cannot read " + what + ": " + why.substr(cannot.size());
    return what + " " + why;
}

InputBytes read_input_file(const std::string& path, size_t max_bytes, InputLinks links, InputPipes pipes,
                           int silence_ms) {
    InputBytes out;
    InputFile f = open_checked(path, links, pipes == InputPipes::Unnamed);
    out.missing = f.missing;
    if (!f) {
        out.why = std::move(f.why);
        return out;
    }
    struct stat st {};
    const bool pipe = ::fstat(f.fd, &st) == 0 && S_ISFIFO(st.st_mode);
    if (pipe && !unnamed_pipe(f.fd)) {
        out.why = not_a_file(st.st_mode);
        return out;
    }
    const std::string too_large = "is larger than " + size_text(max_bytes);
    if (!pipe && static_cast<uint64_t>(st.st_size) > max_bytes) {
        out.why = too_large;
        return out;
    }
    // One byte past the bound tells a file that grew (or a pipe that sends
    // more) from one that ends exactly at it.
    char buf[65536];
    for (;;) {
        if (pipe) {
            pollfd p{f.fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, silence_ms);
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) {
                out.why = "is a pipe that sent nothing for " + std::to_string(silence_ms / 1000) + " seconds";
                out.bytes.clear();
                return out;
            }
        }
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            out.why = std::string("cannot be read: ") + std::strerror(errno);
            out.bytes.clear();
            return out;
        }
        if (n == 0) break;
        if (out.bytes.size() + static_cast<size_t>(n) > max_bytes) {
            out.why = too_large;
            out.bytes.clear();
            return out;
        }
        out.bytes.append(buf, static_cast<size_t>(n));
    }
    out.ok = true;
    return out;
}

}  // namespace tlvx
