#include "world/open_world.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <set>
#include <system_error>

#include "base/printable.hpp"
#include "base/state.hpp"
#include "data/layer.hpp"
#include "world/info.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"
#include "world/world_load.hpp"

namespace tlvx::world {

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
    std::vector<OfferedFile> offered;
    for (const WorldFile& f : files) offered.push_back({f.name, static_cast<int64_t>(f.bytes.size())});
    const std::string extra = info.problems.empty() ? offered_world_problem(offered, check_dir) : "";
    clear_folder(check_dir);
    // mended: a problem quotes names from the world's files; it reaches the page escaped, as `info` prints it.
    if (!info.problems.empty()) throw ToolError(printable(info.problems.front()));
    if (!extra.empty()) throw ToolError(printable(extra));
    return files;
}

std::string offered_world_problem(const std::vector<OfferedFile>& files, const std::string& dir) {
    const auto s = std::make_unique<State>();
    const std::vector<LoadFailure> failures = load_world_tables(*s, dir);
    if (!failures.empty()) return "start-up stops at the " + failures[0].step + ": " + failures[0].message;
    const std::set<std::string> names = world_file_names(*s);
    std::vector<std::string> unused;
    for (const OfferedFile& f : files)
        if (names.count(f.name) == 0) unused.push_back(f.name);
    if (!unused.empty())
        return "\"" + unused[0] + "\" is not part of the world: no table of it names it, and it is no layer" +
               (unused.size() > 1 ? " (and " + std::to_string(unused.size() - 1) + " more such files)" : "");
    const auto ground = std::find_if(files.begin(), files.end(),
                                     [](const OfferedFile& f) { return f.name == kLayerNames[0] && f.size >= 4; });
    if (ground == files.end()) return "";  // the check of the whole world names what is missing
    int32_t wx = 0, wy = 0;
    LayerReader(join_path(dir, kLayerNames[0])).header(wx, wy);
    const int64_t needed = layer_file_length(wx, wy);
    for (const OfferedFile& f : files)
        if (std::find(std::begin(kLayerNames), std::end(kLayerNames), f.name) != std::end(kLayerNames) &&
            f.size > needed)
            return f.name + " holds " + std::to_string(f.size) + " bytes, more than the " + std::to_string(needed) +
                   " its map of " + std::to_string(wx) + " x " + std::to_string(wy) + " cells needs";
    return "";
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

}  // namespace tlvx::world
