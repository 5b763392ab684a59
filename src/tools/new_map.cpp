#include "tools/new_map.hpp"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/error.hpp"
#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "display/view.hpp"
#include "world/demo_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/staged_files.hpp"

namespace tlvx::tools {

namespace {

// A layer file written in place of `path`: a temporary file of `staged` at
// its full length (a sparse file of zeros), given its header and the regions
// that hold something else; the staged set renames it over `path`.
class LayerWriter {
public:
    LayerWriter(world::StagedFiles& staged, const std::string& path, int32_t w, int32_t h)
        : out_(staged.add(path)), w_(w) {
        const auto header = layer_header(w, h);
        out_.set_length(layer_file_length(w, h));
        out_.write_at(0, header.data(), header.size());
    }

    // `n` copies of `value` from cell (c, r) on, row after row.
    void fill_cells(int64_t c, int64_t r, int64_t n, uint8_t value) {
        std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(n, int64_t{1} << 20)), value);
        int64_t offset = layer_offset(w_, c, r).value();
        while (n > 0) {
            check_stop();
            size_t part = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(chunk.size())));
            out_.write_at(offset, chunk.data(), part);
            offset += static_cast<int64_t>(part);
            n -= static_cast<int64_t>(part);
        }
    }

private:
    world::ToolFile out_;
    int64_t w_;
};

}  // namespace

std::optional<std::pair<int32_t, int32_t>> parse_map_size(const std::string& text) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    auto number = [](const std::string& t) -> int64_t {
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) return -1;
        return std::stoll(t);
    };
    int64_t w = number(text.substr(0, x)), h = number(text.substr(x + 1));
    if (w < 8 || h < 8 || w > 65535 || h > 65535) return std::nullopt;
    return std::pair{static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

NewMapResult new_map(const NewMapOptions& opt) {
    if (opt.w < 8 || opt.h < 8 || opt.w > 65535 || opt.h > 65535)
        throw world::ToolError("a map is 8 to 65535 cells each way");
    if (opt.fill && (*opt.fill < 0 || *opt.fill > 255)) throw world::ToolError("the fill is a ground value 0 to 255");
    if (opt.name)
        if (const std::string problem = world::world_name_problem(*opt.name); !problem.empty())
            throw world::ToolError(problem + " (got \"" + printable(*opt.name) + "\")");
    world::CreatedPaths created;
    created.create_folders(opt.dir);
    // mended: the world's lock is held while writing, so a game playing the
    // world is not left writing into files renamed away. A folder made by this
    // run is removed again when the run fails, and its lock file with it,
    // removed while still held; a folder made by another program, an existing
    // folder and a lock file this run did not make keep their lock file.
    WorldLock lock = world::lock_world(opt.dir, opt.program);
    lock.remove_created_file(created.made(opt.dir));
    for (const char* name : kLayerNames) world::require_output(world::join_path(opt.dir, name));
    // Everything goes into place at the end, together; until then an
    // interrupted or failed run leaves the folder as it was.
    world::StagedFiles staged;
    if (!opt.force)
        for (const char* name : kLayerNames)
            if (world::path_exists(world::join_path(opt.dir, name)))
                throw world::ToolError(opt.dir + " already has a map (" + std::string(name) +
                                       "); use --force to replace its layer files");

    NewMapResult result;
    const int64_t cells = int64_t{opt.w} * opt.h;
    result.clearing = !opt.fill && cells > kDenseDefaultCells;
    result.fill = opt.fill.value_or(result.clearing ? 0 : world::ground::Grass);

    // Where the game will start the player: the save file's position when
    // there is one, else the middle of the map; then start-up's clamp.
    State s;
    s.data_dir = opt.dir;
    name_world_files(s);
    s.VX2 = opt.w / 2;
    s.VY2 = opt.h / 2;
    std::string world = world::kDemoWorldBase;
    if (world::path_exists(world::join_path(opt.dir, kSaveFileName))) {
        try {
            load_save_file(s);
            world = s.P1_S;
        } catch (const RuntimeError& e) {
            throw world::ToolError("cannot read " + world::join_path(opt.dir, kSaveFileName) + ": " + describe(e));
        }
        // mended: the world description is written under the world name the
        // save file gives; a name that is not one plain, visible file name of
        // the folder ("../../x", "sub/x", ".x") wrote it elsewhere.
        if (world.empty() || world[0] == '.' || !plain_file_name(world))
            throw world::ToolError("cannot add a map to " + opt.dir + ": its save file " +
                                   world::join_path(opt.dir, kSaveFileName) + " names the world \"" + printable(world) +
                                   "\", which is not a plain file name; correct its first line");
    } else {
        // mended: a new world named with --name gets its description under
        // that name (the save file naming the same), not the demo's oakvale.txt.
        if (opt.name) world = world::world_file_base(*opt.name);
        world::WorldFile save = world::demo_save_file(s.VX2, s.VY2, world);
        staged.add_bytes(world::join_path(opt.dir, save.name), save.bytes);
        result.written.push_back(save.name);
    }
    s.WX = opt.w;
    s.WY = opt.h;
    centre_clamp(s);
    result.start_x = s.VX2;
    result.start_y = s.VY2;

    const std::string description = world_description_name(world);
    if (opt.name && world::path_exists(world::join_path(opt.dir, description)))
        throw world::ToolError("cannot name the world: " + printable(world::join_path(opt.dir, description)) +
                               " exists already and names it on its first line; leave out --name or edit that line");
    for (world::WorldFile& f : world::demo_support_files(opt.name.value_or(world::kDemoWorldName))) {
        if (f.name == world_description_name(world::kDemoWorldBase)) f.name = description;
        if (world::path_exists(world::join_path(opt.dir, f.name))) continue;
        staged.add_bytes(world::join_path(opt.dir, f.name), f.bytes);
        result.written.push_back(f.name);
    }

    for (int k = 0; k < 5; ++k) {
        LayerWriter layer(staged, world::join_path(opt.dir, kLayerNames[k]), opt.w, opt.h);
        if (k == 0 && result.fill != 0) layer.fill_cells(1, 1, cells, static_cast<uint8_t>(result.fill));
        if (k == 0 && result.clearing) {
            const int32_t c0 = std::max(1, result.start_x - kClearingSize / 2);
            const int32_t r0 = std::max(1, result.start_y - kClearingSize / 2);
            const int32_t c1 = std::min(opt.w, c0 + kClearingSize - 1), r1 = std::min(opt.h, r0 + kClearingSize - 1);
            for (int32_t r = r0; r <= r1; ++r) layer.fill_cells(c0, r, c1 - c0 + 1, world::ground::Grass);
        }
        if (k == 1) layer.fill_cells(result.start_x, result.start_y, 1, world::object::Hero);
        result.written.push_back(kLayerNames[k]);
    }
    staged.commit();
    created.keep();
    lock.remove_created_file(false);
    return result;
}

}  // namespace tlvx::tools
