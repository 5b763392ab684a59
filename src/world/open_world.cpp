#include "world/open_world.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <system_error>

#include "world/info.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

namespace tlvx::tools {

namespace fs = std::filesystem;

namespace {

// A file of the check folder: written plainly, as the folder is emptied again
// at once (the atomic writer's syncs cost seconds for a world's files).
void put_check_file(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int err = errno;
    if (fd >= 0) ::close(fd);
    if (fd < 0 || done != bytes.size())
        throw ToolError("cannot write " + path + ": " + std::strerror(fd < 0 || done == 0 ? err : ENOSPC));
}

}  // namespace

std::vector<WorldFile> open_world(std::vector<WorldFile> given, const std::string& check_dir) {
    const auto is_archive = [](const std::string& name) {
        return name.size() > 4 && name.compare(name.size() - 4, 4, ".tar") == 0;
    };
    std::vector<WorldFile> files =
        given.size() == 1 && is_archive(given[0].name) ? read_world_archive(given[0].bytes) : std::move(given);
    if (files.empty()) throw ToolError("there are no files in it");
    // mended: a folder's files are held to the archive's names too, so that
    // the world opened can be downloaded again.
    for (const WorldFile& f : files)
        if (!archive_can_hold(f.name))
            throw ToolError("\"" + printable(f.name) +
                            "\" cannot be part of a world that is downloaded again: it is not a plain, short, "
                            "visible file name");
    ::mkdir(check_dir.c_str(), 0755);
    clear_folder(check_dir);
    for (const WorldFile& f : files) put_check_file(join_path(check_dir, f.name), f.bytes);
    const WorldInfo info = inspect_world(check_dir);
    clear_folder(check_dir);
    // mended: a problem quotes names from the world's files; it reaches the page escaped, as `info` prints it.
    if (!info.problems.empty()) throw ToolError(printable(info.problems.front()));
    return files;
}

void clear_folder(const std::string& dir) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code gone;
        fs::remove_all(it->path(), gone);
        if (gone) throw ToolError("cannot remove " + it->path().string() + ": " + gone.message());
    }
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw ToolError("cannot read the folder " + dir + ": " + ec.message());
}

}  // namespace tlvx::tools
