#include "platform/record/world_hash.hpp"
#include "platform/record/sparse_seek.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"

namespace tlvx {

namespace fs = std::filesystem;

namespace {

constexpr size_t kHashBlock = 64 * 1024;

}  // namespace

bool hash_file(const std::string& path, int64_t& size, uint64_t& hash) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RecordingError("cannot read \"" + path + "\": " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) throw RecordingError("cannot read \"" + path + "\"");
    size = st.st_size;
    XXH3_state_t* state = XXH3_createState();
    if (!state) throw RecordingError("out of memory while hashing \"" + path + "\"");
    struct StateFree {
        XXH3_state_t* s;
        ~StateFree() { XXH3_freeState(s); }
    } state_free{state};
    XXH3_64bits_reset(state);
    std::vector<char> block(kHashBlock);
    std::fill(block.begin(), block.end(), 0);
    const uint64_t zero_block = XXH3_64bits(block.data(), kHashBlock);
    off_t pos = 0, next_data = 0;
    const off_t end = st.st_size;
    while (pos < end) {
        const size_t len = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(kHashBlock), end - pos));
        if (next_data <= pos) {
            next_data = ::lseek(fd, pos, SEEK_DATA);
            // No data after pos: the rest is a hole. No hole support: read everything.
            if (next_data < 0) next_data = errno == ENXIO ? end : pos;
        }
        uint64_t h;
        if (next_data >= pos + static_cast<off_t>(len)) {
            if (len == kHashBlock) {
                h = zero_block;
            } else {
                std::fill(block.begin(), block.end(), 0);
                h = XXH3_64bits(block.data(), len);
            }
        } else {
            size_t got = 0;
            while (got < len) {
                const ssize_t n = ::pread(fd, block.data() + got, len - got, pos + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw RecordingError("cannot read \"" + path + "\": the file changed or a read failed");
                got += static_cast<size_t>(n);
            }
            h = XXH3_64bits(block.data(), len);
        }
        XXH3_64bits_update(state, &h, sizeof h);
        pos += static_cast<off_t>(len);
    }
    const uint64_t n = static_cast<uint64_t>(size);
    XXH3_64bits_update(state, &n, sizeof n);
    hash = XXH3_64bits_digest(state);
    return true;
}

std::vector<std::string> start_file_names(const std::string& data_dir) {
    // The world description is the one the save file names, read as the game reads it.
    std::optional<std::string> base;
    auto s = std::make_unique<State>();
    s->data_dir = data_dir;
    name_world_files(*s);
    try {
        load_save_file(*s);
        base = s->P1_S;
    } catch (const RuntimeError&) {
        // No readable save file: the game stops there too.
    }
    return start_file_names(base);
}

std::vector<StartFile> world_start_state(const std::string& data_dir) {
    const std::vector<std::string> names = start_file_names(data_dir);
    std::vector<StartFile> files;
    for (const std::string& n : names) {
        StartFile f;
        f.name = n;
        if (!hash_file((fs::path(data_dir) / n).string(), f.size, f.hash)) f.size = -1;
        files.push_back(f);
    }
    return files;
}

std::string first_world_difference(const std::vector<StartFile>& recorded, const std::string& data_dir) {
    for (const StartFile& want : recorded) {
        StartFile have;
        if (!hash_file((fs::path(data_dir) / want.name).string(), have.size, have.hash)) have.size = -1;
        if (want.size < 0 && have.size < 0) continue;
        if (want.size < 0) return want.name + " exists here but did not exist when the session was recorded";
        if (have.size < 0) return want.name + " is missing";
        if (have.size != want.size)
            return want.name + " has " + std::to_string(have.size) + " bytes, the recorded world had " +
                   std::to_string(want.size);
        if (have.hash != want.hash) return want.name + " has other contents than in the recorded world";
    }
    return {};
}

}  // namespace tlvx
