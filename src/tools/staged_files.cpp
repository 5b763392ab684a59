#include "tools/staged_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "tools/picture_files.hpp"
#include "tools/stop_signal.hpp"

namespace tlvx::tools {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + std::strerror(errno));
}

std::string folder_of(const std::string& path) {
    const std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
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

StagedFiles::~StagedFiles() {
    for (size_t i = renamed_; i < files_.size(); ++i) ::unlink(files_[i].tmp.c_str());
    if (committed_) return;
    for (auto f = folders_.rbegin(); f != folders_.rend(); ++f) ::rmdir(f->c_str());
}

void StagedFiles::make_folders(const std::string& dir) {
    std::vector<std::string> missing;
    std::error_code ec;
    fs::path p = fs::path(dir).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();  // a trailing slash
    for (; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p.string());
        if (p == p.parent_path()) break;
    }
    for (auto m = missing.rbegin(); m != missing.rend(); ++m) {
        if (::mkdir(m->c_str(), 0777) != 0 && errno != EEXIST) fail("cannot create", *m);
        folders_.push_back(*m);
    }
}

std::string StagedFiles::add(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    std::string tmpl = join_path(folder_of(path), "." + name + ".XXXXXX");
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) fail("cannot create a file beside", path);
    files_.push_back({path, tmpl});
    struct stat st {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = static_cast<mode_t>(0666 & ~mask);
    }
    ::fchmod(fd, mode);
    ::close(fd);
    return tmpl;
}

void StagedFiles::add_bytes(const std::string& path, const std::string& bytes) {
    const std::string tmp = add(path);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) fail("cannot write", tmp);
    try {
        write_all(fd, bytes.data(), bytes.size(), 0, tmp);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) fail("cannot write", tmp);
}

void StagedFiles::commit() {
    std::set<std::string> folders;
    for (const Entry& e : files_) {
        const int fd = ::open(e.tmp.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            if (fd >= 0) ::close(fd);
            fail("cannot write", e.tmp);
        }
        ::close(fd);
        folders.insert(folder_of(e.path));
        check_stop();
    }
    {
        const HoldStopSignals hold;
        check_stop();
        // A failed rename (which the checks before writing make all but
        // impossible) leaves the files before it renamed.
        committed_ = true;
        for (; renamed_ < files_.size(); ++renamed_) {
            const Entry& e = files_[renamed_];
            if (::rename(e.tmp.c_str(), e.path.c_str()) != 0) fail("cannot write", e.path);
        }
        // The renames reach the disk with their folders.
        for (const std::string& f : folders) {
            const int dfd = ::open(f.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dfd >= 0) {
                ::fsync(dfd);
                ::close(dfd);
            }
        }
    }
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
