#include "base/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "base/stop_signal.hpp"

namespace tlvx {

namespace {

constexpr size_t kBlock = 64 * 1024;

// The permissions of the file being replaced, or those of a new file.
mode_t mode_for(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

bool pwrite_all(int fd, const void* data, size_t n, int64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t done = ::pwrite(fd, p, n, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            return false;
        }
        p += done;
        n -= static_cast<size_t>(done);
        offset += done;
    }
    return true;
}

}  // namespace

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

AtomicFile::~AtomicFile() { discard(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)), temp_(std::exchange(other.temp_, {})), error_(std::move(other.error_)),
      fd_(std::exchange(other.fd_, -1)), end_(other.end_), synced_(other.synced_), buffer_(std::move(other.buffer_)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
    if (this != &other) {
        discard();
        path_ = std::move(other.path_);
        temp_ = std::exchange(other.temp_, {});
        error_ = std::move(other.error_);
        fd_ = std::exchange(other.fd_, -1);
        end_ = other.end_;
        synced_ = other.synced_;
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

bool AtomicFile::fail(const char* what, const std::string& name, int err) {
    discard();
    error_ = std::string(what) + " " + name + ": " + std::strerror(err);
    return false;
}

bool AtomicFile::open(const std::string& path) {
    discard();
    path_ = path;
    end_ = 0;
    buffer_.clear();
    error_.clear();
    // A name with a NUL byte would create a different, shorter name.
    if (path.find('\0') != std::string::npos) return fail("cannot create", path_, EINVAL);
    std::string tmpl = path + ".XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return fail("cannot create a file beside", path_, errno);
    fd_ = fd;
    temp_ = tmpl;
    // mkostemp makes the file private; give it the permissions it is meant to have.
    ::fchmod(fd_, mode_for(path_));
    return true;
}

bool AtomicFile::flush() {
    if (fd_ < 0) return fail("cannot write", path_, EBADF);
    if (buffer_.empty()) return true;
    if (!pwrite_all(fd_, buffer_.data(), buffer_.size(), end_)) return fail("cannot write", path_, errno);
    end_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
    return true;
}

bool AtomicFile::write(const void* data, size_t n) {
    if (fd_ < 0) return fail("cannot write", path_, EBADF);
    buffer_.append(static_cast<const char*>(data), n);
    return buffer_.size() < kBlock || flush();
}

bool AtomicFile::write_at(int64_t offset, const void* data, size_t n) {
    if (!flush()) return false;
    if (!pwrite_all(fd_, data, n, offset)) return fail("cannot write", path_, errno);
    return true;
}

bool AtomicFile::set_length(int64_t length) {
    if (!flush()) return false;
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) return fail("cannot write", path_, errno);
    return true;
}

bool AtomicFile::finish() {
    if (temp_.empty()) return fail("cannot write", path_, EBADF);
    if (fd_ < 0) return true;
    if (!flush()) return false;
    if (synced_ && ::fsync(fd_) != 0) return fail("cannot write", path_, errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return fail("cannot write", path_, errno);
    return true;
}

namespace {

// Best effort: makes the renames in the folder of `path` durable.
void sync_folder_of(const std::string& path) {
    const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

bool AtomicFile::commit(bool sync_folder) {
    if (!finish()) return false;
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return fail("cannot replace", path_, errno);
    temp_.clear();
    if (sync_folder && synced_) sync_folder_of(path_);
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

AtomicFile* AtomicFileSet::add(const std::string& path) {
    auto file = std::make_unique<AtomicFile>();
    if (!file->open(path)) {
        error_ = file->error();
        return nullptr;
    }
    files_.push_back(std::move(file));
    return files_.back().get();
}

bool AtomicFileSet::commit() {
    for (const auto& f : files_) {
        if (!f->finish()) {
            error_ = f->error();
            return false;
        }
        check_stop();
    }
    const HoldStopSignals hold;
    check_stop();
    std::set<std::string> folders;
    for (const auto& f : files_) {
        if (!f->commit(false)) {
            error_ = f->error();
            return false;
        }
        folders.insert(folder_of(f->path()));
    }
    for (const std::string& folder : folders) sync_folder_of(folder + "/");
    return true;
}

}  // namespace tlvx
