#include "world/world_archive.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>

#include "world/paths.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

namespace {

constexpr size_t kBlock = 512;

// The fields of a header block: offset and length.
struct Field {
    size_t at, len;
};
constexpr Field kName{0, 100}, kMode{100, 8}, kUid{108, 8}, kGid{116, 8}, kSize{124, 12}, kMtime{136, 12},
    kChecksum{148, 8}, kType{156, 1}, kMagic{257, 6}, kVersion{263, 2}, kPrefix{345, 155};

void put_octal(std::string& block, Field f, uint64_t value) {
    // Digits, then a NUL, filling the field.
    std::string digits(f.len - 1, '0');
    for (size_t i = digits.size(); i-- > 0 && value > 0; value >>= 3) digits[i] = static_cast<char>('0' + (value & 7));
    std::memcpy(&block[f.at], digits.data(), digits.size());
    block[f.at + f.len - 1] = '\0';
}

unsigned checksum(const std::string& block) {
    unsigned sum = 0;
    for (size_t i = 0; i < kBlock; ++i) {
        const bool in_field = i >= kChecksum.at && i < kChecksum.at + kChecksum.len;
        sum += in_field ? unsigned{' '} : static_cast<unsigned char>(block[i]);
    }
    return sum;
}

// An octal field as written by tar: digits, padded by blanks or NULs.
bool read_octal(const std::string& block, Field f, uint64_t& value) {
    value = 0;
    size_t i = f.at;
    const size_t end = f.at + f.len;
    while (i < end && block[i] == ' ') ++i;
    size_t digits = 0;
    for (; i < end && block[i] >= '0' && block[i] <= '7'; ++i, ++digits) {
        if (value >> 60) return false;
        value = value * 8 + static_cast<uint64_t>(block[i] - '0');
    }
    for (; i < end; ++i)
        if (block[i] != ' ' && block[i] != '\0') return false;
    return digits > 0;
}

std::string field_text(const std::string& block, Field f) {
    const char* p = &block[f.at];
    return std::string(p, strnlen(p, f.len));
}

bool plain_name(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 32 || c == 127) return false;
    return true;
}

// mended: a file name the writer can store, the one test the reader and the
// writer share, so that whatever opens can be downloaded again. The name
// field holds the folder, a slash and the name; hidden names (the lock file
// among them) are never part of a world and are refused, not kept unseen.
bool storable_name(const std::string& name) {
    return plain_name(name) && name[0] != '.' && std::string(kArchiveFolder).size() + 1 + name.size() <= kName.len;
}

bool all_zero(const std::string& bytes, size_t at) {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + kBlock), [](char c) { return c == '\0'; });
}

}  // namespace

bool archive_can_hold(const std::string& name) { return storable_name(name); }

std::string write_world_archive(const std::vector<WorldFile>& files) {
    std::string out;
    auto add_header = [&out](const std::string& name, uint64_t size, char type, uint64_t mode) {
        std::string block(kBlock, '\0');
        std::memcpy(&block[kName.at], name.data(), std::min(name.size(), kName.len));
        put_octal(block, kMode, mode);
        put_octal(block, kUid, 0);
        put_octal(block, kGid, 0);
        put_octal(block, kSize, size);
        put_octal(block, kMtime, 0);
        block[kType.at] = type;
        std::memcpy(&block[kMagic.at], "ustar", 6);
        std::memcpy(&block[kVersion.at], "00", 2);
        put_octal(block, {kChecksum.at, 7}, checksum(block));
        block[kChecksum.at + 7] = ' ';
        out += block;
    };
    const std::string folder = std::string(kArchiveFolder) + "/";
    add_header(folder, 0, '5', 0755);
    for (const WorldFile& f : files) {
        if (!storable_name(f.name))
            throw ToolError("cannot put \"" + f.name +
                            "\" in an archive: the name is not a plain, short, visible file name");
        add_header(folder + f.name, f.bytes.size(), '0', 0644);
        out += f.bytes;
        out.append((kBlock - f.bytes.size() % kBlock) % kBlock, '\0');
    }
    out.append(2 * kBlock, '\0');
    return out;
}

std::vector<WorldFile> read_world_archive(const std::string& bytes) {
    const std::string bad = "this is not a world archive: ";
    if (bytes.size() < kBlock) throw ToolError(bad + "it is too short to be a tar archive");
    std::vector<WorldFile> files;
    std::set<std::string> names;
    std::string folder;  // the one folder the files stand in, when there is one
    size_t total = 0;
    size_t at = 0;
    for (;;) {
        if (at + kBlock > bytes.size()) throw ToolError(bad + "it is cut off (no end marker)");
        if (all_zero(bytes, at)) break;
        const std::string block = bytes.substr(at, kBlock);
        at += kBlock;
        uint64_t stored_sum = 0, size = 0;
        if (!read_octal(block, kChecksum, stored_sum) || stored_sum != checksum(block))
            throw ToolError(bad + "a header's checksum is wrong (a spoiled or foreign file)");
        if (field_text(block, kMagic).rfind("ustar", 0) != 0)
            throw ToolError(bad + "it is not in the POSIX tar (ustar) form");
        if (!read_octal(block, kSize, size)) throw ToolError(bad + "a header's size is not a number");
        std::string path = field_text(block, kName);
        const std::string prefix = field_text(block, kPrefix);
        if (!prefix.empty()) path = prefix + "/" + path;
        // mended: `tar -C dir .` names its entries "./..."; the leading "./"
        // stands for the archive itself, and its own entry "./" is skipped.
        while (path.rfind("./", 0) == 0) path.erase(0, 2);
        const char type = block[kType.at];
        if (path.empty() || path == ".") {
            if (type != '5' || size != 0) throw ToolError(bad + "an entry has no name");
            continue;
        }
        // mended: the long-name headers of pax and GNU tar are named as such,
        // not as links or devices.
        if (type == 'x' || type == 'g' || type == 'L' || type == 'K')
            throw ToolError(bad +
                            "it uses long-name or extended headers (pax or GNU tar); make it with --format=ustar");
        if (type == '5') {
            // A folder: at most one, and nothing inside it but files.
            std::string name = path;
            while (!name.empty() && name.back() == '/') name.pop_back();
            if (!plain_name(name) || (!folder.empty() && folder != name) || !files.empty())
                throw ToolError(bad + "it holds more than one folder (\"" + printable(path) + "\")");
            if (size != 0) throw ToolError(bad + "a folder entry has a size");
            folder = name;
            continue;
        }
        if (type != '0' && type != '\0')
            throw ToolError(bad + "\"" + printable(path) + "\" is not a regular file (a link or a device)");
        std::string name = path;
        if (const size_t slash = path.find('/'); slash != std::string::npos) {
            const std::string head = path.substr(0, slash);
            if (!folder.empty() && head != folder)
                throw ToolError(bad + "it holds more than one folder (\"" + printable(path) + "\")");
            folder = head;
            name = path.substr(slash + 1);
        }
        if (!plain_name(name) || !plain_name(folder.empty() ? "x" : folder))
            throw ToolError(bad + "\"" + printable(path) + "\" is not a file directly in the world folder");
        if (name[0] == '.')
            throw ToolError(bad + "\"" + printable(name) + "\" is a hidden file, which is no part of a world");
        if (!storable_name(name))
            throw ToolError(bad + "the name \"" + printable(name) + "\" is too long to download the world again");
        if (!names.insert(name).second) throw ToolError(bad + "\"" + printable(name) + "\" is in it twice");
        if (files.size() >= kArchiveMaxFiles) throw ToolError(bad + "it holds too many files");
        if (size > bytes.size() - at) throw ToolError(bad + "it is cut off inside \"" + printable(name) + "\"");
        total += static_cast<size_t>(size);
        if (total > kArchiveMaxBytes) throw ToolError(bad + "its files are too large");
        files.push_back({name, bytes.substr(at, static_cast<size_t>(size))});
        const size_t padded = static_cast<size_t>(size) + (kBlock - static_cast<size_t>(size) % kBlock) % kBlock;
        if (padded > bytes.size() - at) throw ToolError(bad + "it is cut off inside \"" + printable(name) + "\"");
        at += padded;
    }
    if (files.empty()) throw ToolError(bad + "it holds no files");
    return files;
}

std::vector<WorldFile> read_world_folder(const std::string& dir) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    if (!d) throw ToolError("cannot read the folder " + dir + ": " + std::strerror(errno));
    std::vector<std::string> names;
    while (const dirent* e = readdir(d.get())) {
        const std::string name = e->d_name;
        // Hidden files, the world's lock file among them, are not part of the world.
        if (name.empty() || name[0] == '.') continue;
        struct stat st {};
        if (lstat(join_path(dir, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<WorldFile> files;
    for (const std::string& name : names) {
        const std::string path = join_path(dir, name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<uint64_t>(st.st_size) > kArchiveMaxBytes) {
            const std::string why = fd < 0 ? std::strerror(errno) : "not a regular file of a bounded size";
            if (fd >= 0) ::close(fd);
            throw ToolError("cannot read " + path + ": " + why);
        }
        std::string bytes(static_cast<size_t>(st.st_size), '\0');
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd, &bytes[got], bytes.size() - got, static_cast<off_t>(got));
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        ::close(fd);
        if (got != bytes.size()) throw ToolError("cannot read " + path + ": it changed while being read");
        files.push_back({name, std::move(bytes)});
    }
    return files;
}

}  // namespace tlvx::world
