#include "platform/record/world_copy.hpp"
#include "platform/record/sparse_seek.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>

#include "base/error.hpp"
#include "base/printable.hpp"
#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "data/world_files.hpp"
#include "display/image.hpp"
#include "display/view.hpp"
#include "platform/record/world_hash.hpp"

namespace tlvx {

namespace fs = std::filesystem;
using recording_bytes::plain_world_name;

namespace {

// The game uses a picture name up to this many characters.
constexpr size_t kPictureNameLimit = 259;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// A picture name as the game turns it into a path inside the data folder,
// when that path is a plain file name of the folder itself.
void add_picture(std::set<std::string>& names, const std::string& picture) {
    std::string_view n = std::string_view(picture).substr(0, kPictureNameLimit);
    while (n.size() >= 2 && n[0] == '.' && (n[1] == '/' || n[1] == '\\')) n.remove_prefix(2);
    std::string name(n);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (plain_world_name(name)) names.insert(name);
}

// An object's picture and its mask, under every name drawing may give them
// (drawing rewrites a character of the name in the table).
void add_object_picture(std::set<std::string>& names, const std::string& picture) {
    if (picture.empty()) return;
    for (const std::string& p : {picture, drawn_name(picture)}) {
        add_picture(names, p);
        add_picture(names, mask_name(p));
        add_picture(names, drawn_name(mask_name(p)));
    }
}

// Opens a regular file for reading without following a link or blocking; -1
// (errno set) otherwise.
int open_regular(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool write_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

std::vector<std::string> world_file_names(const std::string& data_dir) {
    std::set<std::string> names;
    for (const std::string& n : start_file_names(data_dir))
        if (plain_world_name(n)) names.insert(n);
    // The pictures the tables name, read as the game reads the tables; a
    // table that cannot be read names none (the game stops there too).
    auto s = std::make_unique<State>();
    s->data_dir = data_dir;
    std::set<std::string> loaded;
    bool stopped = false;
    read_world_tables(*s, [&](const char* step, const std::function<void()>& load) {
        if (stopped) return false;
        try {
            load();
        } catch (const RuntimeError&) {
            stopped = true;
            return false;
        }
        loaded.insert(step);
        return true;
    });
    if (loaded.count("tile table"))
        for (int32_t z = 1; z <= std::min(s->GZ, 256); ++z) {
            add_picture(names, s->M_S(z));
            add_picture(names, drawn_name(s->M_S(z)));
        }
    if (loaded.count("object table"))
        for (int32_t z = 1; z <= 255; ++z)
            for (int32_t frame = 1; frame <= 4; ++frame) add_object_picture(names, s->OBJ_S(z, frame));
    std::vector<std::string> present;
    for (const std::string& n : names) {
        struct stat st {};
        if (::lstat((fs::path(data_dir) / n).c_str(), &st) == 0) present.push_back(n);
    }
    return present;
}

std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir) {
    std::vector<EmbeddedFile> files;
    int64_t total = 0;
    for (const std::string& name : world_file_names(data_dir)) {
        struct stat st {};
        Fd f{open_regular((fs::path(data_dir) / name).string(), st)};
        // A link or anything but a regular file is not copied: no copy at all,
        // since the replay would then miss a file the game reads.
        if (f.fd < 0) return {};
        total += st.st_size;
        if (total > kWorldCopyLimit || files.size() >= recording_bytes::kMaxCopyFiles) return {};
        EmbeddedFile e{name, std::string(static_cast<size_t>(st.st_size), '\0')};
        size_t got = 0;
        while (got < e.bytes.size()) {
            const ssize_t n = ::read(f.fd, e.bytes.data() + got, e.bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return {};
            got += static_cast<size_t>(n);
        }
        files.push_back(std::move(e));
    }
    return files;
}

void copy_file_sparse(const std::string& from, const std::string& to) {
    struct stat st {};
    Fd in{open_regular(from, st)};
    if (in.fd < 0) throw RecordingError("cannot read \"" + from + "\": " + std::strerror(errno));
    Fd out{::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
    if (out.fd < 0) throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    if (::ftruncate(out.fd, st.st_size) != 0)
        throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    std::vector<char> buf(1 << 20);
    off_t pos = 0;
    while (pos < st.st_size) {
        off_t data = ::lseek(in.fd, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;
            data = pos;
        }
        off_t hole = ::lseek(in.fd, data, SEEK_HOLE);
        if (hole < 0) hole = st.st_size;
        for (off_t at = data; at < hole;) {
            const ssize_t n = ::pread(in.fd, buf.data(), static_cast<size_t>(std::min<off_t>(hole - at, 1 << 20)), at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw RecordingError("cannot read \"" + from + "\"");
            if (::pwrite(out.fd, buf.data(), static_cast<size_t>(n), at) != n)
                throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
            at += n;
        }
        pos = hole;
    }
}

// --- A world in a private folder ------------------------------------------------

PrivateWorld::PrivateWorld(const std::string& parent, const std::string& what) {
    std::string pattern = (fs::path(parent) / ".tlvx-world-XXXXXX").string();
    // mended: the folder is new and only this user's (mkdtemp), so nothing
    // planted in a shared place can redirect what is written into it.
    if (!::mkdtemp(pattern.data()))
        throw RecordingError("cannot make a folder in \"" + printable(parent) + "\"" +
                             (what.empty() ? "" : " (" + what + ")") + ": " + std::strerror(errno));
    dir_ = pattern;
    dir_fd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir_fd_ < 0) {
        const int err = errno;
        ::rmdir(dir_.c_str());
        throw RecordingError("cannot open the folder \"" + dir_ + "\": " + std::strerror(err));
    }
}

PrivateWorld::~PrivateWorld() {
    if (!moved_) {
        // A second SIGINT or SIGTERM waits until the folder is gone.
        HoldStopSignals hold;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    ::close(dir_fd_);
}

void PrivateWorld::write(const std::vector<EmbeddedFile>& files) {
    for (const EmbeddedFile& f : files) {
        check_stop();
        if (!plain_world_name(f.name)) throw RecordingError("the world copy names a file that is not plain");
        // mended: created anew and never through a link (the old unpack wrote
        // with a plain create into a folder anyone could have put a link in).
        Fd out{::openat(dir_fd_, f.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
        if (out.fd < 0 || !write_all(out.fd, f.bytes.data(), f.bytes.size()) || ::fsync(out.fd) != 0)
            throw RecordingError("cannot write \"" + printable(f.name) +
                                 "\" of the recorded world: " + std::strerror(errno));
    }
    check_stop();
}

void PrivateWorld::copy_from(const std::string& data_dir) {
    for (const std::string& name : world_file_names(data_dir)) {
        check_stop();
        copy_file_sparse((fs::path(data_dir) / name).string(), (fs::path(dir_) / name).string());
    }
    check_stop();
}

void PrivateWorld::move_to(const std::string& target) {
    const std::string problem = unpack_target_problem(target);
    if (!problem.empty()) throw RecordingError("\"" + target + "\" " + problem);
    if (::fchmod(dir_fd_, 0755) != 0 || ::fsync(dir_fd_) != 0)
        throw RecordingError("cannot finish the folder \"" + dir_ + "\": " + std::strerror(errno));
    // Replaces a missing or empty folder only; a folder that was filled, or
    // a link put in its place, meanwhile makes the rename fail.
    if (::rename(dir_.c_str(), target.c_str()) != 0) {
        const int err = errno;
        throw RecordingError("cannot put the recorded world in \"" + target + "\": " +
                             (err == ENOTEMPTY || err == EEXIST ? std::string("the folder is not empty any more")
                                                                : std::string(std::strerror(err))));
    }
    moved_ = true;
    dir_ = target;
    const std::string parent = fs::path(target).parent_path().string();
    Fd p{::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (p.fd >= 0) ::fsync(p.fd);
}

std::string unpack_target_problem(const std::string& target) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return errno == ENOENT ? "" : std::strerror(errno);
    if (S_ISLNK(st.st_mode)) return "is a link; a recorded world is never written through a link";
    if (!S_ISDIR(st.st_mode)) return "is not a folder";
    DIR* d = ::opendir(target.c_str());
    if (!d) return std::string("cannot be read: ") + std::strerror(errno);
    bool empty = true;
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
    ::closedir(d);
    return empty ? "" : "is not empty; the recorded world is only written into an empty or new folder";
}

}  // namespace tlvx
