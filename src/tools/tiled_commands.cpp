#include "tools/tiled_commands.hpp"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "tools/command_line.hpp"
#include "tools/guarded.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_import.hpp"
#include "world/paths.hpp"

namespace tlvx::tools {

namespace {

void add_export(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<tools::tiled::ExportOptions>();
    CLI::App* cmd =
        app.add_subcommand("export-tiled",
                           "Write the map of the world in DIR as a Tiled map OUT.tmj, with its two tilesets "
                           "(OUT-ground.tsj, OUT-objects.tsj and their PNG atlases) beside it");
    cmd->add_option("DIR", opt->dir, "The world's folder")->required();
    cmd->add_option("OUT", opt->out, "The map file to write (JSON, e.g. world.tmj)")->required();
    cmd->add_flag("--csv", opt->csv, "Write the layers as CSV (default: base64 of zlib-compressed data, smaller)");
    auto region = std::make_shared<std::string>();
    cmd->add_option("--region", *region,
                    "Only the cells X,Y,W,H (first column and row from 1, width, height) as a W x H map; its origin "
                    "goes into the map's properties, so import-tiled puts it back in its place")
        ->check(tools::region_text());
    cmd->add_flag("--force", opt->force,
                  "Replace an existing map and tilesets (they may hold work done in Tiled and not yet imported)");
    cmd->callback([opt, region, &exit_code] {
        tools::guarded(
            "export-tiled", exit_code,
            [&] {
                opt->progress = ::isatty(STDERR_FILENO) != 0;
                if (!region->empty()) opt->region = tools::parse_region(*region);  // checked while parsing
                const tools::tiled::ExportResult r = tools::tiled::export_tiled(*opt);
                for (const std::string& w : r.warnings)
                    std::cerr << "tlvx-tool export-tiled: warning: " << printable(w) << "\n";
                if (r.region)
                    std::cout << "Wrote the " << r.w << " x " << r.h << " cells from column " << r.region->x << ", row "
                              << r.region->y << " of the " << r.world_w << " x " << r.world_h << " map to "
                              << printable(opt->out) << " with its tilesets; the origin " << r.region->x << ","
                              << r.region->y << " is kept in the map's properties " << tools::tiled::kOriginXProperty
                              << " and " << tools::tiled::kOriginYProperty << ".\n";
                else
                    std::cout << "Wrote the " << r.w << " x " << r.h << " map to " << printable(opt->out)
                              << " with its tilesets.\n";
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

void add_import(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<tools::tiled::ImportOptions>();
    CLI::App* cmd =
        app.add_subcommand("import-tiled",
                           "Write the layers ground, structures and creatures of the Tiled map IN.tmj into the layer "
                           "files of the world in DIR (layers 4 and 5 are kept); nothing changes unless all three "
                           "are written");
    cmd->add_option("IN", opt->in, "The map file (JSON, as export-tiled writes it or Tiled saves it)")->required();
    cmd->add_option("DIR", opt->dir, "The world's folder")->required();
    cmd->callback([opt, &exit_code] {
        tools::guarded(
            "import-tiled", exit_code,
            [&] {
                opt->progress = ::isatty(STDERR_FILENO) != 0;
                const tools::tiled::ImportResult r = tools::tiled::import_tiled(*opt);
                if (r.region)
                    std::cout << "Wrote the " << r.w << " x " << r.h << " cells of " << printable(opt->in) << " into "
                              << printable(opt->dir) << " from column " << r.region->x << ", row " << r.region->y
                              << " on; the cells around them are as they were.\n";
                else
                    std::cout << "Wrote the " << r.w << " x " << r.h << " map from " << printable(opt->in) << " into "
                              << printable(opt->dir) << ".\n";
                return 0;
            },
            tools::StopSignalsCaught::Yes);
    });
}

}  // namespace

void add_tiled_commands(CLI::App& app, int& exit_code) {
    add_export(app, exit_code);
    add_import(app, exit_code);
}

}  // namespace tlvx::tools
