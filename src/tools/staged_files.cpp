#include "tools/staged_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/stop_signal.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::tools {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + std::strerror(errno));
}

void write_all(int fd, const char* data, size_t n, int64_t pos, const std::string& path) {
    while (n > 0) {
        const ssize_t r = ::pwrite(fd, data, n, static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) fail("cannot write", path);
        data += r;
        n -= static_cast<size_t>(r);
        pos += r;
    }
}

}  // namespace

void StagedFiles::make_folders(const std::string& dir) {
    if (!set_.make_folders(dir)) throw ToolError(set_.error());
}

std::string StagedFiles::add(const std::string& path) {
    AtomicFile* f = set_.add(path);
    if (!f) throw ToolError(set_.error());
    return f->temp_path();
}

void StagedFiles::add_bytes(const std::string& path, const std::string& bytes) {
    AtomicFile* f = set_.add(path);
    if (!f) throw ToolError(set_.error());
    if (!f->write(bytes)) throw ToolError(f->error());
}

void StagedFiles::commit() {
    if (!set_.commit()) throw ToolError(set_.error());
}

void copy_keeping_holes(int from, int to, const std::string& what) {
    struct stat st {};
    if (::fstat(from, &st) != 0) fail("cannot read", what);
    const int64_t size = st.st_size;
    std::vector<char> buf(size_t{1} << 20);
    int64_t pos = 0;
    while (pos < size) {
        check_stop();
        off_t data = ::lseek(from, static_cast<off_t>(pos), SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // a hole up to the end
        if (data < 0) data = static_cast<off_t>(pos);  // no hole information: copy everything
        off_t hole = ::lseek(from, data, SEEK_HOLE);
        if (hole < 0) hole = static_cast<off_t>(size);
        for (pos = data; pos < hole;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), hole - pos));
            const ssize_t r = ::pread(from, buf.data(), n, static_cast<off_t>(pos));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) fail("cannot read", what);
            if (r == 0) break;
            write_all(to, buf.data(), static_cast<size_t>(r), pos, what);
            pos += r;
            check_stop();
        }
        pos = std::max<int64_t>(pos, hole);
    }
    if (::ftruncate(to, static_cast<off_t>(size)) != 0) fail("cannot write a copy of", what);
}

}  // namespace tlvx::tools
