#include "tools/world_commands.hpp"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

#include "tools/command_line.hpp"
#include "tools/guarded.hpp"
#include "tools/icon.hpp"
#include "tools/new_map.hpp"
#include "tools/render.hpp"
#include "tools/site.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/user_world.hpp"

namespace tlvx::tools {

namespace {

using tools::whole_number;

void add_demo(CLI::App& app, int& exit_code) {
    struct Args {
        std::string dir;
        bool force = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* cmd = app.add_subcommand(
        "demo", "Write the demo world (a valley with a village, creatures, roads, water and cliffs) into DIR");
    cmd->add_option("DIR", a->dir, "Folder for the world; created when missing")->required();
    cmd->add_flag("--force", a->force, "Overwrite files of an existing world");
    cmd->callback([a, &exit_code] {
        tools::guarded(
            "demo", exit_code,
            [&] {
                int n = world::write_demo_world(a->dir, a->force);
                std::cout << "Wrote the demo world (" << n << " files) to " << printable(a->dir) << ".\n"
                          << "Play it with: "
                          << world::play_command(a->dir, world::own_program_dir(), std::getenv("PATH")) << "\n";
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

// Writes the program's icon; the build draws the icon theme's sizes with it.
void add_icon(CLI::App& app, int& exit_code) {
    struct Args {
        std::string out;
        int size = 48;
    };
    auto a = std::make_shared<Args>();
    CLI::App* cmd = app.add_subcommand(
        "icon", "Write the program's icon (the hero on grass) as a PNG, or as an icon file for a name ending in .ico");
    cmd->add_option("OUT", a->out, "The PNG (or .ico) file to write")->required();
    cmd->add_option("--size", a->size, "Width and height in pixels")
        ->capture_default_str()
        ->check(tools::whole_number("--size", tools::kIconMinSize, tools::kIconMaxSize));
    cmd->callback([a, &exit_code] {
        tools::guarded("icon", exit_code, [&] {
            const bool ico = a->out.size() > 4 && a->out.compare(a->out.size() - 4, 4, ".ico") == 0;
            if (ico) tools::write_icon_ico(a->out, a->size);
            else tools::write_icon_png(a->out, a->size);
            return 0;
        });
    });
}

void add_new(CLI::App& app, int& exit_code) {
    struct Args {
        std::string dir, size, name;
        int32_t fill = -1;
        bool force = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* cmd = app.add_subcommand(
        "new", "Make the layer files of a new map in DIR, with the demo world's pictures and tables when DIR has none");
    cmd->add_option("DIR", a->dir, "Folder for the world; created when missing")->required();
    cmd->add_option("--size", a->size, "Map size in cells, WxH, 8 to 65535 each way (e.g. 200x150)")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                if (tools::parse_map_size(text)) return "";
                return "--size must be WxH with both 8 to 65535, e.g. 200x150 (got \"" + printable(text) + "\")";
            },
            "WxH"));
    cmd->add_option("--fill", a->fill,
                    "Ground value for every cell (default: 1, grass; maps of more than 4096 x 4096 = 16777216 cells "
                    "default to a sparse ground 0 with a patch of grass around the start)")
        ->check(tools::whole_number("--fill", 0, 255));
    cmd->add_flag("--force", a->force, "Replace existing layer files");
    CLI::Option* name =
        cmd->add_option("--name", a->name,
                        "The world's name, shown on the status display: 1 to " + std::to_string(world::kMaxWorldName) +
                            " characters (default: " + world::kDemoWorldName +
                            "); only for a folder without a world "
                            "description")
            ->type_name("TEXT")
            ->check(CLI::Validator(
                [](std::string& text) -> std::string {
                    const std::string problem = world::world_name_problem(text);
                    return problem.empty() ? "" : "--name: " + problem + " (got \"" + printable(text) + "\")";
                },
                "TEXT"));
    cmd->callback([a, name, &exit_code] {
        tools::guarded(
            "new", exit_code,
            [&] {
                auto size = tools::parse_map_size(a->size);  // checked while parsing
                if (!size) return tools::kUsageError;
                tools::NewMapOptions o;
                o.dir = a->dir;
                o.w = size->first;
                o.h = size->second;
                if (a->fill >= 0) o.fill = a->fill;
                o.force = a->force;
                if (name->count() > 0) o.name = a->name;
                tools::NewMapResult r = tools::new_map(o);
                std::cout << "New " << o.w << " x " << o.h << " map in " << printable(o.dir) << ": " << r.written.size()
                          << " files written; the player starts at (" << r.start_x << ", " << r.start_y << ").\n";
                if (r.clearing)
                    std::cout << "The ground is value 0, which has no picture, except for " << tools::kClearingSize
                              << " x " << tools::kClearingSize << " cells of grass around the start; "
                              << "--fill N writes N into every cell (one byte a cell on disk).\n";
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

void add_render(CLI::App& app, int& exit_code) {
    struct Args {
        std::string dir, out, region;
        int32_t frame = 1;
    };
    auto a = std::make_shared<Args>();
    CLI::App* cmd = app.add_subcommand("render", "Draw the map of the world in DIR into a PNG, 24 pixels a cell");
    cmd->add_option("DIR", a->dir, "The world's folder")->required();
    cmd->add_option("OUT", a->out, "The PNG file to write")->required();
    cmd->add_option("--region", a->region, "Only the cells X,Y,W,H: first column and row (from 1), width, height")
        ->check(tools::region_text());
    cmd->add_option("--frame", a->frame, "Animation frame of creatures and structures, 1 to 4")
        ->check(tools::whole_number("--frame", 1, 4));
    cmd->callback([a, &exit_code] {
        tools::guarded(
            "render", exit_code,
            [&] {
                tools::RenderOptions o;
                o.dir = a->dir;
                o.out = a->out;
                o.frame = a->frame;
                o.progress = ::isatty(STDERR_FILENO) != 0;
                if (!a->region.empty()) o.region = tools::parse_region(a->region);  // checked while parsing
                tools::render_world(o);
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

void add_info(CLI::App& app, int& exit_code) {
    auto dir = std::make_shared<std::string>();
    CLI::App* cmd =
        app.add_subcommand("info",
                           "Check the world in DIR: map size, layer files, values used, missing pictures, start, "
                           "player markers away from it; exit status 1 when the game would stop with an error");
    cmd->add_option("DIR", *dir, "The world's folder")->required();
    cmd->callback([dir, &exit_code] {
        tools::guarded("info", exit_code, [&] {
            world::require_folder(*dir);
            world::WorldInfo info = world::inspect_world(*dir);
            std::cout << "World in " << printable(*dir) << "\n" << world::format_info(info);
            return info.problems.empty() ? 0 : 1;
        });
    });
}

// A static web site that plays the world: the web build's site with the world beside it.
void add_site(CLI::App& app, int& exit_code) {
    auto o = std::make_shared<tools::SiteOptions>();
    CLI::App* cmd = app.add_subcommand(
        "site",
        "Write a static web site into OUT that plays the world in DIR on a first visit, checked as info checks it");
    cmd->add_option("DIR", o->world, "The world's folder")->required();
    cmd->add_option("OUT", o->out, "Folder for the site: a new or empty one; created when missing")->required();
    cmd->add_option("--from", o->from, "The web build's site (default: " + tools::default_site_dir() + ")")
        ->type_name("SITE");
    cmd->add_flag("--force", o->force, "Write the site into a folder that holds other files");
    cmd->callback([o, &exit_code] {
        tools::guarded(
            "site", exit_code,
            [&] {
                const tools::SiteResult r = tools::write_site(*o);
                std::cout << "Wrote a site (" << r.site_files << " files) to " << printable(o->out)
                          << " that plays the world \"" << printable(r.name) << "\" (" << r.published.size()
                          << " files, " << r.archive_bytes << " bytes in " << tools::kSiteWorldArchive << ").\n";
                if (!r.left_out.empty()) {
                    std::cout << "Left out, as no table of the world names them:";
                    for (const std::string& name : r.left_out) std::cout << " " << printable(name);
                    std::cout << "\n";
                }
                std::cout << "Put the files of " << printable(o->out)
                          << " on any static web host; each player's progress stays in their own browser.\n";
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

}  // namespace

void add_world_commands(CLI::App& app, int& exit_code) {
    add_demo(app, exit_code);
    add_new(app, exit_code);
    add_render(app, exit_code);
    add_info(app, exit_code);
    add_site(app, exit_code);
    add_icon(app, exit_code);
}

}  // namespace tlvx::tools
