#include "web_world_actions.hpp"

#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "base/printable.hpp"
#include "base/state.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "web_page.hpp"
#include "world/demo_world.hpp"
#include "world/open_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

namespace tlvx::web_page {

namespace {

using world::WorldFile;

constexpr const char* kIncomingDir = "/incoming";
constexpr const char* kCheckDir = "/incoming-check";
constexpr const char* kArchivePath = "/tlvx-world.tar";

void write_files(const std::string& dir, const std::vector<WorldFile>& files) {
    ::mkdir(dir.c_str(), 0755);
    for (const WorldFile& f : files) world::write_file_bytes(world::join_path(dir, f.name), f.bytes);
}

// The world the page put into /incoming (one archive, or the files of a world
// folder), checked as `tlvx-tool info` checks; the files of the world when
// nothing is wrong with it, a ToolError (and the player's world untouched)
// otherwise.
std::vector<WorldFile> check_incoming_world() {
    std::vector<WorldFile> given = world::read_world_folder(kIncomingDir);
    world::clear_folder(kIncomingDir);
    return world::open_world(std::move(given), kCheckDir);
}

void write_archive() {
    const std::string bytes = world::write_world_archive(world::read_world_folder(kWorldDir));
    world::write_file_bytes(kArchivePath, bytes);
    download(kArchivePath, "tlvx-world.tar");
    ::unlink(kArchivePath);
}

}  // namespace

std::string install_world(const std::vector<WorldFile>& files) {
    // Nothing of the old world stays, hidden files included; no game runs
    // now, so nothing holds the lock file.
    world::clear_folder(kWorldDir);
    write_files(kWorldDir, files);
    return "The world you opened is now yours to play.";
}

void take_world_action(const State* s, OpenedWorld& opened) {
    const std::string action = next_world_action();
    if (action.empty() || opened.ready) return;
    try {
        if (action == "download") {
            if (s) write_save_record(*s, save_record_of(*s), SaveSync::PageCache);
            write_archive();
        } else if (action == "open") {
            opened.files = check_incoming_world();
            opened.ready = true;
            end_for_open();
        }
    } catch (const world::ToolError& e) {
        say(action == "open" ? std::string("This world was not opened; yours is unchanged: ") + e.what()
                             : std::string(e.what()));
    } catch (const RuntimeError& e) {
        say("The world could not be saved for the download: " + describe(e));
    }
}

namespace {

// The world this site publishes, taken from beside the page as an opened
// archive is, and checked the same way (check_incoming_world); the game
// sleeps meanwhile. Throws ToolError saying why it is refused.
std::vector<WorldFile> published_world() {
    fetch_world();
    std::optional<std::string> answer;
    while (!(answer = fetched_world())) emscripten_sleep(50);
    try {
        if (!answer->empty()) throw world::ToolError(*answer);
        return check_incoming_world();
    } catch (const world::ToolError& e) {
        throw world::ToolError(std::string("The world of this site cannot be played: ") + e.what());
    }
}

std::string new_demo_world() {
    ::mkdir(kWorldDir, 0755);
    // mended: everything goes, hidden files too (a hidden file once taken
    // from an archive would otherwise stay in the site's storage for ever).
    world::clear_folder(kWorldDir);
    world::write_demo_world(kWorldDir, true);
    world_changed();
    return "A new demo world was made; your old world is gone.";
}

}  // namespace

std::string start_over() {
    if (!published()) return new_demo_world();
    install_world(published_world());
    world_changed();
    return "The world starts again from its beginning.";
}

std::string first_world(bool storage_refused) {
    if (world::path_exists(std::string(kWorldDir) + "/" + kSaveFileName)) return "";
    if (published()) {
        install_world(published_world());
        world_changed();
        return storage_refused ? "Opened the world to play." : "The world is kept in your browser from now on.";
    }
    ::mkdir(kWorldDir, 0755);
    world::write_demo_world(kWorldDir, true);
    world_changed();
    return storage_refused ? "Made the demo world to play."
                           : "Made the demo world in your browser; your game is kept there from now on.";
}

}  // namespace tlvx::web_page

// The page asks this of the files a player offers before it copies them
// (`offer`: one "SIZE NAME" line a file; `dir`: the small files the names
// depend on, see offered_world_problem). It runs while the game sleeps
// between passes and never sleeps itself. Returns a message for the page, ""
// when the files may be copied and checked whole; the page frees it.
extern "C" EMSCRIPTEN_KEEPALIVE char* tlvx_offered_world_problem(const char* offer, const char* dir) {
    std::vector<tlvx::world::OfferedFile> files;
    const std::string text = offer;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const size_t blank = line.find(' ');
        if (blank != std::string::npos)
            files.push_back({line.substr(blank + 1), std::strtoll(line.c_str(), nullptr, 10)});
        at = end + 1;
    }
    std::string problem;
    try {
        problem = tlvx::world::offered_world_problem(files, dir);
    } catch (const tlvx::world::ToolError& e) {
        problem = e.what();
    } catch (const tlvx::RuntimeError& e) {
        problem = tlvx::describe(e);
    }
    if (!problem.empty()) problem = tlvx::printable(problem);
    char* out = static_cast<char*>(std::malloc(problem.size() + 1));
    if (out) std::memcpy(out, problem.c_str(), problem.size() + 1);
    return out;
}

// The names the page needs before it copies offered files, from the one list
// of a world's files: the ground layer first (of which the check reads the
// header), then the files whose names the check reads whole (the palette, the
// save file, the tile and object tables), one a line; the page frees it.
extern "C" EMSCRIPTEN_KEEPALIVE char* tlvx_world_file_names() {
    std::string names = tlvx::kLayerNames[0];
    for (const char* n : {tlvx::kPaletteFileName, tlvx::kSaveFileName, tlvx::kTileTableName, tlvx::kObjectTableName})
        names += std::string("\n") + n;
    char* out = static_cast<char*>(std::malloc(names.size() + 1));
    if (out) std::memcpy(out, names.c_str(), names.size() + 1);
    return out;
}
