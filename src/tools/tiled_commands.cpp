#include "tools/tiled_commands.hpp"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "formats/png_writer.hpp"
#include "tools/guarded.hpp"
#include "tools/picture_files.hpp"
#include "tools/tiled_export.hpp"
#include "tools/tiled_import.hpp"

namespace tlvx {

namespace {

void add_export(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<tools::tiled::ExportOptions>();
    CLI::App* cmd = app.add_subcommand(
        "export-tiled", "Write the map of the world in DIR as a Tiled map OUT.tmj, with its two tilesets "
                        "(OUT-ground.tsj, OUT-objects.tsj and their PNG atlases) beside it");
    cmd->add_option("DIR", opt->dir, "The world's folder")->required();
    cmd->add_option("OUT", opt->out, "The map file to write (JSON, e.g. world.tmj)")->required();
    cmd->add_flag("--csv", opt->csv, "Write the layers as CSV (default: base64 of zlib-compressed data, smaller)");
    cmd->callback([opt, &exit_code] {
        tools::guarded("export-tiled", exit_code, [&] {
            opt->progress = ::isatty(STDERR_FILENO) != 0;
            const tools::tiled::ExportResult r = tools::tiled::export_tiled(*opt);
            for (const std::string& w : r.warnings) std::cerr << "tlvx-tool export-tiled: warning: " << w << "\n";
            std::cout << "Wrote the " << r.w << " x " << r.h << " map to " << opt->out << " with its tilesets.\n";
            return 0;
        });
    });
}

void add_import(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<tools::tiled::ImportOptions>();
    CLI::App* cmd = app.add_subcommand(
        "import-tiled", "Write the layers ground, structures and creatures of the Tiled map IN.tmj into the layer "
                        "files of the world in DIR (layers 4 and 5 are kept); nothing changes unless all three "
                        "are written");
    cmd->add_option("IN", opt->in, "The map file (JSON, as export-tiled writes it or Tiled saves it)")->required();
    cmd->add_option("DIR", opt->dir, "The world's folder")->required();
    cmd->callback([opt, &exit_code] {
        tools::guarded("import-tiled", exit_code, [&] {
            opt->progress = ::isatty(STDERR_FILENO) != 0;
            const tools::tiled::ImportResult r = tools::tiled::import_tiled(*opt);
            std::cout << "Wrote the " << r.w << " x " << r.h << " map from " << opt->in << " into " << opt->dir
                      << ".\n";
            return 0;
        });
    });
}

}  // namespace

void add_tiled_commands(CLI::App& app, int& exit_code) {
    add_export(app, exit_code);
    add_import(app, exit_code);
}

}  // namespace tlvx
