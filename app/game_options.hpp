#pragma once
// The command line of `tlvx`, the game in a window. Parsing is a function of
// its own that prints nothing and touches nothing, so a test can run it; main
// prints what it returns and opens the window only when it says to run.
//
// An option is added in three places: a member of GameOptions, one
// add_option/add_flag line in game_options.cpp, and a line of the README.
#include <string>

namespace tlvx {

struct GameOptions {
    std::string data_dir = ".";  // the world's data directory
    double speed = 20.0;         // passes a second; 0 is "max", the passes back to back
    int scale = 0;               // window size as a multiple of 320x200; 0 picks one that fits
    bool fullscreen = false;     // start fullscreen
    bool aspect = false;         // start with the 4:3 picture
    bool data_given = false;     // --data was given
    bool world = false;          // --world: play the player's own world in the per-user data folder
    std::string record_file;     // --record: write the session into this recording
    std::string play_file;       // --play: show this recording instead of playing
    bool apply = false;          // --apply: the playback works on the world itself, not on a copy
};

struct ParsedCommandLine {
    bool run = false;     // true: start the game with `options`
    int exit_status = 0;  // when not running: 0 after --help or --version, 2 after a usage error
    std::string out;      // text for standard output (help, version)
    std::string err;      // text for standard error (the usage error and the usage)
    GameOptions options;
};

ParsedCommandLine parse_game_command_line(int argc, const char* const* argv);

}  // namespace tlvx
