#include "game_options.hpp"

#include <CLI/CLI.hpp>

#include <sstream>

#include "input/key_help.hpp"
#include "platform/rhythm/pass_pacer.hpp"
#include "world/paths.hpp"

#ifndef TLVX_VERSION
#define TLVX_VERSION "unknown"
#endif

namespace tlvx {

namespace {

// "max", or a number of passes a second within the bounds.
std::string check_speed(std::string& text) {
    if (text == "max") return {};
    try {
        size_t used = 0;
        const double v = std::stod(text, &used);
        if (used == text.size() && v >= kMinSpeed && v <= kMaxSpeed) return {};
    } catch (const std::exception&) {}
    return "--speed wants a number of passes a second from " + speed_text(kMinSpeed) + " to " + speed_text(kMaxSpeed) +
           ", or max (got \"" + text + "\")";
}

}  // namespace

ParsedCommandLine parse_game_command_line(int argc, const char* const* argv) {
    ParsedCommandLine result;
    GameOptions& o = result.options;
    o.speed = kDefaultSpeed;
    std::string speed = speed_text(kDefaultSpeed);

    CLI::App app{"tlvx: the tile-map game and map editor, in a window"};
    app.name("tlvx");
    app.set_version_flag("--version", std::string("tlvx ") + TLVX_VERSION);
    CLI::Option* data = app.add_option("--data", o.data_dir,
                                       "The world's data directory (default: the current directory when it "
                                       "holds a world, else your own world)")
                            ->type_name("DIR");
    app.add_flag("--world", o.world,
                 "Play your own world, $XDG_DATA_HOME/tlvx/world (~/.local/share/tlvx/world); the demo world is "
                 "created there on the first start")
        ->excludes(data);
    app.add_option("--speed", speed,
                   "Passes a second, " + speed_text(kMinSpeed) + " to " + speed_text(kMaxSpeed) +
                       ", or max for the passes back to back")
        ->type_name("N|max")
        ->default_str(speed)
        ->check(CLI::Validator(check_speed, "", "speed"));
    app.add_option("--scale", o.scale,
                   "Window size as a multiple of 320x200, 1 to 16 (default: the largest up to 3 that fits)")
        ->type_name("N")
        ->check(CLI::Range(1, 16).description(""));
    CLI::Option* rec = app.add_option("--record", o.record_file,
                                      "Record the session into FILE (replay it with tlvx-tool run --replay FILE)")
                           ->type_name("FILE");
    CLI::Option* play = app.add_option("--play", o.play_file,
                                       "Watch a recording at its pace on a temporary copy of the world; space "
                                       "pauses, + and - change the speed, Escape ends")
                            ->type_name("FILE")
                            ->excludes(rec);
    app.add_flag("--apply", o.apply, "With --play: play on the world itself and leave it as the recording left it")
        ->needs(play);
    app.add_flag("--fullscreen", o.fullscreen, "Start fullscreen (Alt+Enter toggles)");
    app.add_flag("--aspect", o.aspect, "Start with the 4:3 picture (F11 toggles)");
    app.footer(key_help_text());

    std::ostringstream out, err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        result.exit_status = app.exit(e, out, err);
        // A usage error always exits 2, whatever number the parser gives it.
        // mended: a mistake is one line naming it and a pointer to --help, not
        // the whole usage, which would push the line off the screen.
        if (result.exit_status != 0) {
            result.exit_status = 2;
            err.str("");
            err << "tlvx: " << printable(e.what()) << "\nsee tlvx --help\n";
        }
        result.out = out.str();
        if (!result.out.empty() && result.out.back() != '\n') result.out += '\n';
        result.err = err.str();
        return result;
    }
    o.speed = speed == "max" ? 0 : std::stod(speed);
    o.data_given = data->count() > 0;
    result.run = true;
    return result;
}

}  // namespace tlvx
