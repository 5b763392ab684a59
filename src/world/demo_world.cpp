// The demo set's tables and pictures, and writing the demo world.
#include "world/demo_world.hpp"

#include <cstdio>
#include <filesystem>
#include <set>

#include "base/stop_signal.hpp"
#include "data/layer.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "display/view.hpp"
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"
#include "world/paths.hpp"
#include "world/staged_files.hpp"

namespace tlvx::world {

namespace {

struct GroundEntry {
    uint8_t value;
    const char* picture;  // 12 characters, the 12th already "v"
    int block[4];         // R1..R4: k in place k blocks entering while moving that way
    bool bmp;
    Picture (*art)();
};

// Pictures of 12 characters whose 12th is already "v": drawing rewrites that
// character, so the name in the table is the name of the file read.
const GroundEntry kGround[] = {
    {ground::Grass, "grass_01.pcv", {0, 0, 0, 0}, false, [] { return art_grass(1); }},
    {ground::GrassDark, "grass_02.pcv", {0, 0, 0, 0}, false, [] { return art_grass_dark(2); }},
    {ground::Meadow, "meadow01.bmv", {0, 0, 0, 0}, true, [] { return art_meadow(3); }},
    {ground::Dirt, "dirt__01.pcv", {0, 0, 0, 0}, false, [] { return art_dirt(4); }},
    {ground::Sand, "sand__01.pcv", {0, 0, 0, 0}, false, [] { return art_sand(5); }},
    {ground::Water, "water_01.pcv", {1, 2, 3, 4}, false, [] { return art_water(6); }},
    {ground::Road, "road__01.pcv", {0, 0, 0, 0}, false, [] { return art_road(7); }},
    {ground::Cobbles, "cobble01.pcv", {0, 0, 0, 0}, false, [] { return art_cobbles(8); }},
    // The water under a bridge looks like any water but can be crossed.
    {ground::BridgeWater, "water_01.pcv", {0, 0, 0, 0}, false, [] { return art_water(6); }},
    {ground::CliffSouth, "cliff_s1.pcv", {1, 0, 0, 0}, false, [] { return art_cliff(3, 10); }},
    {ground::CliffEast, "cliff_e1.pcv", {0, 0, 0, 4}, false, [] { return art_cliff(2, 11); }},
    {ground::CliffWest, "cliff_w1.pcv", {0, 2, 0, 0}, false, [] { return art_cliff(4, 12); }},
    {ground::Field, "field_01.pcv", {0, 0, 0, 0}, false, [] { return art_farmland(13); }},
    {ground::Slabs, "slabs_01.pcv", {0, 0, 0, 0}, false, [] { return art_slabs(14); }},
};

struct ObjectEntry {
    uint8_t value;
    const char* what;  // what the picture shows, as the README's table of presses names it
    const char* stem;  // frame f is stem + digit when animated (7 + 1 characters), else the stem alone
    bool animated;
    int32_t move;  // OBJS
    int32_t mode;  // OBJ_M
    bool bmp;
    Canvas (*art)(int frame);
};

const ObjectEntry kObjects[] = {
    {object::Hero, "you", "hero_wk", true, 0, 1, false, art_hero},
    {object::Fox, "a fox", "foxy_wk", true, 4, 1, false, art_fox},
    {object::Slime, "a slime", "slim_bo", true, 2, 1, false, art_slime},
    {object::Chicken, "a chicken", "hens_pk", true, 6, 1, false, art_chicken},
    {object::Sheep, "a sheep", "shep_gr", true, 1, 1, false, art_sheep},
    {object::Oak, "an oak", "tree_oak", false, 0, 0, false, [](int) { return art_oak(); }},
    {object::Pine, "a pine", "tree_pin", false, 0, 0, false, [](int) { return art_pine(); }},
    {object::StoneWall, "a stone wall", "wall_stn", false, 0, 0, false, [](int) { return art_stone_wall(); }},
    {object::HouseWall, "a house wall", "wall_hse", false, 0, 0, false, [](int) { return art_house_wall(); }},
    {object::Door, "a door", "wall_dor", false, 0, 1, false, [](int) { return art_door(); }},
    {object::Roof, "a roof", "roof_red", false, 0, 2, false, [](int) { return art_roof(); }},
    {object::Arch, "an arch", "arch_stn", false, 0, 2, false, [](int) { return art_arch(); }},
    {object::Bridge, "a bridge", "brdg_acr", false, 0, 1, false, [](int) { return art_bridge(); }},
    {object::Flowers, "flowers", "flwr_bed", false, 0, 1, true, [](int) { return art_flowers(); }},
    {object::Boulder, "a boulder", "rock_bld", false, 0, 0, false, [](int) { return art_boulder(); }},
    {object::Marker, "an invisible marker", "mark_inv", false, 0, 3, false, [](int) { return art_marker(); }},
    {object::Fence, "a fence", "fenc_wod", false, 0, 0, false, [](int) { return art_fence(); }},
    {object::Signpost, "a signpost", "sign_pst", false, 0, 0, false, [](int) { return art_signpost(); }},
};

const GroundEntry* ground_entry(int z) {
    for (const GroundEntry& g : kGround)
        if (g.value == z) return &g;
    return nullptr;
}

const ObjectEntry* object_entry(int z) {
    for (const ObjectEntry& o : kObjects)
        if (o.value == z) return &o;
    return nullptr;
}

// The picture names of the placeholders, 12 characters ending in "v" like
// the others: "tile_017.pcv" for a ground value, "objt-023.pcv" for an object
// value. The object's name is its own mask name (the first four characters,
// "-", the last seven), so one file is picture and mask.
std::string placeholder_name(const char* stem, char separator, int value) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%c%03d.pcv", stem, separator, value);
    return name;
}
std::string ground_placeholder(int value) { return placeholder_name("tile", '_', value); }
std::string object_placeholder(int value) { return placeholder_name("objt", '-', value); }

std::string frame_name(const ObjectEntry& o, int frame) {
    std::string ext = o.bmp ? ".bmv" : ".pcv";
    if (o.animated) return std::string(o.stem) + static_cast<char>('0' + frame) + ext;
    return std::string(o.stem) + ext;
}

std::string encode(const Picture& p, bool bmp) {
    static const std::array<Rgb, 256> table = demo_screen_palette();
    return bmp ? encode_bmp8(p, table) : encode_block_picture(p);
}

std::string world_description(const std::string& name) {
    std::string out;
    // P2$, shown on the status display: 8 characters at most, or it runs on
    // into the view.
    out += crlf(quoted(name));
    out += crlf(quoted("A valley made by tlvx-tool demo"));
    out += crlf("0");
    out += crlf("0");
    for (int k = 0; k < 4; ++k) out += crlf(quoted(""));  // blocked ground comes from the tile table
    out += crlf(quoted(std::to_string(ground::Road) + " " + std::to_string(ground::Cobbles) + " " +
                       std::to_string(ground::BridgeWater)));
    out += crlf(quoted(""));
    return out;
}

std::string tile_table() {
    std::string out;
    for (int z = 1; z <= 256; ++z) {
        const GroundEntry* e = ground_entry(z);
        if (!e && z <= kLastEditedGround) {
            const Picture p = art_placeholder_ground(z);
            out += crlf(quoted(ground_placeholder(z)) + ",0,0,0,0," + std::to_string(p.at(12, 12)));
            continue;
        }
        if (!e) {
            out += crlf("\"\",0,0,0,0,0");
            continue;
        }
        std::string line = quoted(e->picture);
        for (int k : e->block) line += "," + std::to_string(k);
        line += "," + std::to_string(e->art().at(12, 12));  // the tile colour: the middle pixel
        out += crlf(line);
    }
    return out;
}

std::string object_table() {
    std::string out;
    for (int z = 1; z <= 255; ++z) {
        const ObjectEntry* e = object_entry(z);
        if (!e) {
            // A placeholder in all four frames; it stays where it is put
            // and can be walked over.
            const std::string name = quoted(object_placeholder(z));
            out += crlf(name + "," + name + "," + name + "," + name + "," + std::to_string(kPlaceholderObjectSide) +
                        ",0,1");
            continue;
        }
        std::string line;
        for (int f = 1; f <= 4; ++f) line += quoted(frame_name(*e, f)) + ",";
        line += std::to_string(kTile) + "," + std::to_string(e->move) + "," + std::to_string(e->mode);
        out += crlf(line);
    }
    return out;
}

}  // namespace

DemoObjectName demo_object_name(int value) {
    const ObjectEntry* e = object_entry(value);
    if (!e) return {};
    return {e->what, e->stem};
}

std::string world_name_problem(const std::string& name) {
    if (name.empty()) return "a world name needs at least one character";
    if (name.size() > kMaxWorldName)
        return "a world name has at most " + std::to_string(kMaxWorldName) +
               " characters (a longer one runs on over the view)";
    for (const char c : name)
        if (c < 0x20 || c > 0x7E || c == '"')
            return "a world name holds letters, digits, blanks and punctuation other than a double quote";
    if (name.front() == ' ' || name.back() == ' ') return "a world name cannot start or end with a blank";
    return "";
}

std::string world_file_base(const std::string& name) {
    std::string base;
    bool gap = false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || (c >= '0' && c <= '9')) {
            if (gap && !base.empty()) base += '_';
            gap = false;
            base += letter ? static_cast<char>(c | 0x20) : c;
        } else {
            gap = true;
        }
    }
    return base.empty() ? "world" : base;
}

std::vector<WorldFile> demo_support_files(const std::string& world_name) {
    std::vector<WorldFile> files;
    files.push_back({kPaletteFileName, demo_palette_file()});
    files.push_back({world_description_name(kDemoWorldBase), world_description(world_name)});
    files.push_back({kTileTableName, tile_table()});
    files.push_back({kObjectTableName, object_table()});
    std::set<std::string> done;
    for (const GroundEntry& g : kGround)
        if (done.insert(g.picture).second) files.push_back({g.picture, encode(g.art(), g.bmp)});
    for (const ObjectEntry& o : kObjects)
        for (int f = 1; f <= 4; ++f) {
            std::string name = frame_name(o, f);
            if (!done.insert(name).second) continue;
            Canvas c = o.art(f);
            files.push_back({name, encode(c.sprite(), o.bmp)});
            files.push_back({mask_name(name), encode(c.mask(), o.bmp)});
        }
    for (int z = 1; z <= kLastEditedGround; ++z)
        if (!ground_entry(z)) files.push_back({ground_placeholder(z), encode(art_placeholder_ground(z), false)});
    for (int z = 1; z <= 255; ++z)
        if (!object_entry(z)) files.push_back({object_placeholder(z), encode(art_placeholder_object(z), false)});
    return files;
}

WorldFile demo_save_file(int x, int y, const std::string& base) {
    SaveRecord r;
    r.P1_S = base;
    r.from_x = r.VX2 = x;
    r.from_y = r.VY2 = y;
    r.D1 = 1;
    r.NM_S = kCharacterName;
    r.C1_S = kStartCarriedTexts[0];
    r.C2_S = kStartCarriedTexts[1];
    r.C3_S = kStartCarriedTexts[2];
    r.I = 1;  // the status display is on; S, O and P (road-following) 0
    return {kSaveFileName, save_record_text(r)};
}

std::vector<WorldFile> layer_files(const DemoMap& map) {
    std::vector<WorldFile> files;
    const std::vector<uint8_t>* layers[5] = {&map.ground, &map.creatures, &map.structures, nullptr, nullptr};
    for (int k = 0; k < 5; ++k) {
        auto header = layer_header(map.w, map.h);
        std::string bytes(header.begin(), header.end());
        bytes.append(static_cast<size_t>(map.w), '\0');  // row 0, never used
        if (layers[k]) bytes.append(layers[k]->begin(), layers[k]->end());
        else bytes.append(static_cast<size_t>(map.w * map.h), '\0');
        files.push_back({kLayerNames[k], std::move(bytes)});
    }
    return files;
}

int write_demo_world(const std::string& dir, bool force, const std::string& program) {
    DemoMap map = make_demo_map();
    std::vector<WorldFile> files = demo_support_files();
    files.push_back(demo_save_file(map.start_x, map.start_y));
    for (WorldFile& f : layer_files(map)) files.push_back(std::move(f));

    CreatedPaths created;
    created.create_folders(dir);
    // mended: the world's lock is held while writing, so a game playing the
    // world is not left writing into files renamed away. A folder made by this
    // run is removed again when the run fails, and its lock file with it,
    // removed while still held; a folder made by another program, an existing
    // folder and a lock file this run did not make keep their lock file.
    WorldLock lock = lock_world(dir, program);
    lock.remove_created_file(created.made(dir));
    if (!force) {
        std::string existing;
        int count = 0;
        for (const WorldFile& f : files)
            if (path_exists(join_path(dir, f.name)) && count++ < 5) existing += (existing.empty() ? "" : ", ") + f.name;
        if (count > 0)
            throw ToolError(dir + " already holds " + std::to_string(count) + " of the demo world's files (" +
                            existing + (count > 5 ? ", ..." : "") + "); use --force to overwrite them");
    }
    for (const WorldFile& f : files) require_output(join_path(dir, f.name));
    // All files go into place together at the end; until then an
    // interrupted or failed run leaves nothing behind.
    StagedFiles staged;
    for (const WorldFile& f : files) {
        check_stop();
        staged.add_bytes(join_path(dir, f.name), f.bytes);
    }
    staged.commit();
    created.keep();
    lock.remove_created_file(false);
    return static_cast<int>(files.size());
}

}  // namespace tlvx::world
