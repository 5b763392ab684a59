#include "platform/record/world_copy.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace tlvx {

namespace fs = std::filesystem;

std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir) {
    std::vector<fs::path> paths;
    int64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(data_dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec)) continue;
        if (name.rfind("tlvx-shot-", 0) == 0 || name.ends_with(".tlvxrec") || name.ends_with(".tmp~")) continue;
        total += static_cast<int64_t>(it->file_size(ec));
        if (total > kWorldCopyLimit || paths.size() >= 4096) return {};
        paths.push_back(it->path());
    }
    if (ec) return {};
    std::sort(paths.begin(), paths.end());
    std::vector<EmbeddedFile> files;
    for (const fs::path& p : paths) {
        std::FILE* f = std::fopen(p.c_str(), "rb");
        if (!f) return {};
        EmbeddedFile e{p.filename().string(), {}};
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) e.bytes.append(buf, n);
        std::fclose(f);
        files.push_back(std::move(e));
    }
    return files;
}

void copy_file_sparse(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw RecordingError("cannot read \"" + from + "\": " + std::strerror(errno));
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    }
    struct Closer {
        int a, b;
        ~Closer() {
            ::close(a);
            ::close(b);
        }
    } closer{in, out};
    struct stat st {};
    if (::fstat(in, &st) != 0 || ::ftruncate(out, st.st_size) != 0)
        throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    std::vector<char> buf(1 << 20);
    off_t pos = 0;
    while (pos < st.st_size) {
        off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;
            data = pos;
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) hole = st.st_size;
        for (off_t at = data; at < hole;) {
            const ssize_t n = ::pread(in, buf.data(), static_cast<size_t>(std::min<off_t>(hole - at, 1 << 20)), at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw RecordingError("cannot read \"" + from + "\"");
            if (::pwrite(out, buf.data(), static_cast<size_t>(n), at) != n)
                throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
            at += n;
        }
        pos = hole;
    }
}

}  // namespace tlvx
