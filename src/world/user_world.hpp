#pragma once
// The player's own world: a folder in the per-user data folder that the game
// opens when started from a desktop menu or with --world, filled with the demo
// world the first time.
#include <chrono>
#include <optional>
#include <string>

namespace tlvx::world {

// The environment values that decide where the player's world lives; a null
// pointer stands for an unset variable.
struct WorldEnv {
    const char* xdg_data_home = nullptr;
    const char* home = nullptr;
    // Used when HOME is unset, empty or relative: the home folder of the
    // account, as the user database gives it (empty when unknown).
    std::string account_home;
};

// The environment of this process (XDG_DATA_HOME, HOME, the account's home).
WorldEnv process_world_env();

// "$XDG_DATA_HOME/tlvx/world", or "$HOME/.local/share/tlvx/world" when
// XDG_DATA_HOME is unset, empty or relative (relative values are ignored, as
// the base directory rules say). Throws ToolError when no home folder is known.
std::string user_world_dir(const WorldEnv& env);

struct UserWorld {
    std::string dir;
    bool created = false;  // the demo world was written there just now
};

// Makes sure `dir` holds a world: when it is missing (or an empty folder) the
// demo world is written there; a folder with anything in it is the player's
// and is used as it is, never overwritten. The demo world is written into a
// temporary folder beside `dir` and renamed into place, so an interrupted
// first start leaves no half-made world, and two games starting at once end
// up with the same single world; the temporary folders that killed starts
// left are removed. Missing parent folders are made private (mode 0700). A
// link to an empty folder is kept and the folder it leads to is filled. A
// folder holding nothing but the world's lock file counts as empty; the demo
// world is then written into it under the lock, for `program`.
// Throws ToolError when `dir` cannot be made or is not a folder, or when
// another program holds the lock of such a folder.
UserWorld prepare_user_world(const std::string& dir, const std::string& program = "tlvx");

// How old a temporary folder of a first start must be before a later start
// takes it for left over.
inline constexpr std::chrono::seconds kStaleTempAge{60};

// Removes the temporary folders ".world-new-XXXXXX" in `parent` that killed
// first starts left: only folders of this user, unchanged for `min_age`,
// holding nothing but regular files, and whose lock no live start holds.
// Anything else is left as it is; failures are silent.
void remove_stale_world_temps(const std::string& parent, std::chrono::seconds min_age);

// Which folder the game opens: `data` when given; the player's world when
// `world` is set; otherwise the current folder when it holds a world's save
// file (started in a terminal inside a world), else the player's world.
// Returns the empty optional for "the player's world".
std::optional<std::string> chosen_data_dir(const std::optional<std::string>& data, bool world, bool current_has_save);

// "" when `dir` can be played: an existing folder and, when `need_world`,
// one holding a world's save file. Else one line saying why, e.g. "the data
// folder DIR does not exist" or "the data folder DIR holds no world (there is
// no Pndx_001.sav in it)". The game and `tlvx-tool run` both check their
// data folder with it before the game starts.
std::string data_folder_problem(const std::string& dir, bool need_world);

// The shell command that plays the world in `dir`: "cd DIR && GAME", where
// GAME is "tlvx" when the first tlvx on `path_env` (the PATH value) is the one
// in `self_dir` (the folder of the running tool) or when `self_dir` has none,
// and else the full path of the tlvx in `self_dir`. Words are quoted for the
// shell where needed.
std::string play_command(const std::string& dir, const std::string& self_dir, const char* path_env);

// The folder of the running program (empty when unknown).
std::string own_program_dir();

// The line printed once, after the demo world was created.
std::string created_world_message(const std::string& dir);

}  // namespace tlvx::world
