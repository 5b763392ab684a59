#include "world/staged_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/stop_signal.hpp"
#include "world/paths.hpp"

namespace tlvx::world {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + std::strerror(errno));
}

// Closes the descriptor however the copy ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

ToolFile StagedFiles::add(const std::string& path) {
    AtomicFile* f = set_.add(path);
    if (!f) throw ToolError(set_.error());
    targets_.push_back(path);
    return ToolFile(*f);
}

void StagedFiles::add_bytes(const std::string& path, const std::string& bytes) { add(path).write(bytes); }

void StagedFiles::commit() {
    CreatedPaths created;
    for (const std::string& target : targets_) created.note(target);
    if (!set_.commit()) throw ToolError(set_.error());
    created.keep();
}

void copy_keeping_holes(const std::string& from, ToolFile& to) {
    const Descriptor in{::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (in.fd < 0) fail("cannot read", from);
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) fail("cannot read", from);
    // A FIFO or a device has no size to copy and could make the copy wait.
    if (!S_ISREG(st.st_mode)) throw ToolError("cannot read " + from + ": it is not a regular file");
    const int64_t size = st.st_size;
    std::vector<char> buf(size_t{1} << 20);
    int64_t pos = 0;
    while (pos < size) {
        check_stop();
#ifdef SEEK_DATA
        off_t data = ::lseek(in.fd, static_cast<off_t>(pos), SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;         // a hole up to the end
        if (data < 0) data = static_cast<off_t>(pos);  // no hole information: copy everything
        off_t hole = ::lseek(in.fd, data, SEEK_HOLE);
        if (hole < 0) hole = static_cast<off_t>(size);
#else
        // The browser's file system knows no holes: copy everything.
        const off_t data = static_cast<off_t>(pos);
        const off_t hole = static_cast<off_t>(size);
#endif
        for (pos = data; pos < hole;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), hole - pos));
            const ssize_t r = ::pread(in.fd, buf.data(), n, static_cast<off_t>(pos));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) fail("cannot read", from);
            if (r == 0) break;
            to.write_at(pos, buf.data(), static_cast<size_t>(r));
            pos += r;
            check_stop();
        }
        pos = std::max<int64_t>(pos, hole);
    }
    to.set_length(size);
}

}  // namespace tlvx::world
