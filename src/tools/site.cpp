#include "tools/site.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "base/input_file.hpp"
#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "world/info.hpp"
#include "world/open_world.hpp"
#include "world/paths.hpp"
#include "world/staged_files.hpp"
#include "world/world_archive.hpp"
#include "world/world_load.hpp"

namespace tlvx::tools {

namespace fs = std::filesystem;

namespace {

// A file read whole for the site: a regular file, not through a link, of at
// most `limit` bytes.
std::string read_whole(const std::string& path, size_t limit) {
    InputBytes in = read_input_file(path, limit, InputLinks::Refuse);
    if (!in.ok) throw world::ToolError(input_file_problem(printable(path), in.why));
    return std::move(in.bytes);
}

// The world's files that go into the site: those of world_file_names that
// are there (a mask or a second spelling may not be), each a plain file of
// the folder, their sizes bounded all together before any is read. The
// folder's other visible files go to `left_out`.
std::vector<world::WorldFile> world_files(const std::string& dir, const State& s, std::vector<std::string>& left_out) {
    const std::set<std::string> names = world::world_file_names(s);
    std::vector<std::string> taken;
    uint64_t total = 0;
    for (const std::string& name : names) {
        struct stat st {};
        if (::lstat(world::join_path(dir, name).c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode))
            throw world::ToolError("cannot publish the world in " + printable(dir) + ": its " + printable(name) +
                                   (S_ISDIR(st.st_mode)
                                        ? " is a folder (a published world keeps every file in one folder)"
                                        : " is not a plain file"));
        if (!world::archive_can_hold(name))
            throw world::ToolError("cannot publish the world in " + printable(dir) + ": \"" + printable(name) +
                                   "\" is not a plain, short, visible file name");
        total += static_cast<uint64_t>(st.st_size);
        taken.push_back(name);
    }
    if (total > world::kArchiveMaxBytes)
        throw world::ToolError("cannot publish the world in " + printable(dir) + ": its files hold " +
                               std::to_string(total) + " bytes, more than the " +
                               std::to_string(world::kArchiveMaxBytes) + " a page opens");
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.' && names.count(name) == 0) left_out.push_back(name);
    }
    std::sort(left_out.begin(), left_out.end());
    std::vector<world::WorldFile> files;
    for (const std::string& name : taken) {
        check_stop();
        files.push_back({name, read_whole(world::join_path(dir, name), world::kArchiveMaxBytes)});
    }
    return files;
}

// The files of the web build's site, by their paths inside it: regular
// files, not hidden, no links followed, bounded in number and size.
std::vector<world::WorldFile> site_files(const std::string& from) {
    world::require_folder(from, "web build's site folder");
    std::vector<world::WorldFile> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(from, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink() || !it->is_regular_file()) continue;
        if (files.size() == kSiteMaxFiles)
            throw world::ToolError("the web build's site " + printable(from) + " holds more than " +
                                   std::to_string(kSiteMaxFiles) + " files; is it the right folder?");
        files.push_back({fs::relative(it->path(), from).string(), read_whole(it->path().string(), kSiteMaxFileBytes)});
    }
    if (ec) throw world::ToolError("cannot read the folder " + printable(from) + ": " + ec.message());
    return files;
}

// Whether `dir` holds anything, hidden files too.
bool holds_anything(const std::string& dir) {
    std::error_code ec;
    return fs::directory_iterator(dir, ec) != fs::directory_iterator() && !ec;
}

}  // namespace

std::string default_site_dir() { return TLVX_DEFAULT_WEB_SITE; }

std::string html_attribute(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
            else out += c;
        }
    }
    return out;
}

SiteResult write_site(const SiteOptions& opt) {
    SiteResult result;
    world::require_folder(opt.world);
    // The output first, so that a refusal comes before anything is read at length.
    if (world::path_exists(opt.out)) {
        world::require_folder(opt.out, "site folder");
        if (!opt.force && holds_anything(opt.out))
            throw world::ToolError("the site folder " + printable(opt.out) +
                                   " is not empty; name a new folder, or use --force to write the site into it");
    }

    const world::WorldInfo info = world::inspect_world(opt.world);
    if (!info.problems.empty()) {
        const size_t more = info.problems.size() - 1;
        throw world::ToolError(
            "the world in " + printable(opt.world) + " is not published, as info finds: " + info.problems.front() +
            (more ? " (and " + std::to_string(more) + " more: tlvx-tool info " + printable(opt.world) + ")"
                  : std::string()));
    }
    auto s = std::make_unique<State>();
    const std::vector<world::LoadFailure> failures = world::load_world_tables(*s, opt.world);
    if (!failures.empty()) throw world::ToolError(world::load_failure_message(opt.world, failures));
    result.name = s->P2_S;

    std::vector<world::WorldFile> world = world_files(opt.world, *s, result.left_out);
    // What the page asks before it takes a world: the same answer here.
    std::vector<world::OfferedFile> offered;
    for (const world::WorldFile& f : world) {
        result.published.push_back(f.name);
        offered.push_back({f.name, static_cast<int64_t>(f.bytes.size())});
    }
    if (const std::string problem = world::offered_world_problem(offered, opt.world); !problem.empty())
        throw world::ToolError("the world in " + printable(opt.world) + " is not published: " + problem);
    const std::string archive = world::write_world_archive(world);
    world.clear();
    result.archive_bytes = static_cast<int64_t>(archive.size());

    const std::string from = opt.from.empty() ? default_site_dir() : opt.from;
    std::error_code same;
    if (world::path_exists(opt.out) && fs::equivalent(from, opt.out, same))
        throw world::ToolError("the site folder " + printable(opt.out) + " is the web build's site it is made from");
    std::vector<world::WorldFile> site = site_files(from);
    bool has_page = false;
    for (world::WorldFile& f : site) {
        if (f.name == kSiteWorldArchive)
            throw world::ToolError(printable(from) + " holds a " + kSiteWorldArchive +
                                   ": it is a published site, not the web build's");
        if (f.name != kSitePage) continue;
        const size_t at = f.bytes.find(kSitePageMarker);
        if (at == std::string::npos)
            throw world::ToolError(printable(world::join_path(from, kSitePage)) +
                                   " is not the web build's page (it has no place for a world); is " + printable(from) +
                                   " the folder bash scripts/web.sh --build-only makes?");
        f.bytes.replace(at, std::string(kSitePageMarker).size(),
                        std::string("<meta name=\"tlvx-world\" content=\"") + kSiteWorldArchive + "\" data-name=\"" +
                            html_attribute(result.name) + "\" data-bytes=\"" + std::to_string(archive.size()) + "\">");
        has_page = true;
    }
    if (!has_page)
        throw world::ToolError("there is no web build's site in " + printable(from) + " (no " + kSitePage +
                               "): build it with bash scripts/web.sh --build-only, or name one with --from SITE");
    site.push_back({kSiteWorldArchive, archive});

    world::CreatedPaths created;
    created.create_folders(opt.out);
    world::StagedFiles staged;
    for (const world::WorldFile& f : site) {
        const std::string path = world::join_path(opt.out, f.name);
        const std::string folder = fs::path(path).parent_path().string();
        if (!folder.empty()) created.create_folders(folder);
        world::require_output(path);
        staged.add_bytes(path, f.bytes);
        check_stop();
    }
    staged.commit();
    created.keep();
    result.site_files = site.size();
    return result;
}

}  // namespace tlvx::tools
