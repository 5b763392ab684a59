// The world check behind `info`, over whole worlds: the input is split into
// files (records of a name length byte, the name, a 3-byte little-endian size
// and the bytes) written into a fresh folder. Any world is reported without
// an exception or a crash, and the report prints every line escaped.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "world/info.hpp"
#include "world/open_world.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

using namespace tlvx::world;
using tlvx::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tlvx::fuzz::as_text(data, size);
    static const std::string dir = tlvx::fuzz::scratch_dir() + "/world";
    static const bool made = (::mkdir(dir.c_str(), 0755), true);
    (void)made;
    clear_folder(dir);
    size_t at = 0;
    while (at < in.size()) {
        const size_t name_len = static_cast<unsigned char>(in[at++]);
        if (in.size() - at < name_len + 3) break;
        const std::string name(in.substr(at, name_len));
        at += name_len;
        const size_t len = static_cast<unsigned char>(in[at]) | size_t{static_cast<unsigned char>(in[at + 1])} << 8 |
                           size_t{static_cast<unsigned char>(in[at + 2])} << 16;
        at += 3;
        const std::string_view bytes = in.substr(at, len);
        at += bytes.size();
        // Only names a world's files can have; a name given twice keeps its first file.
        if (!archive_can_hold(name)) continue;
        const int fd = ::open(join_path(dir, name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        check(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "a file is written");
        ::close(fd);
    }
    const WorldInfo info = inspect_world(dir);
    const std::string report = format_info(info);
    for (unsigned char c : report) check(c == '\n' || (c >= 0x20 && c != 0x7f), "the report prints escaped");
    for (const std::string& p : info.problems) check(!p.empty(), "a problem is named");
    check(!info.lines.empty() || !info.problems.empty(), "the report says something");
    return 0;
}
