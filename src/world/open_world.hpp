#pragma once
// The step that takes a world a player opens in the page: which files are
// accepted, checked as `info` checks a world, before they replace the
// player's world. Kept apart from the page so that it is tested natively.
#include <cstdint>
#include <string>
#include <vector>

#include "world/demo_world.hpp"

namespace tlvx::world {

// The world in `given`, the files put into the page's incoming folder: one
// archive (a name ending ".tar"), or the files of a world folder. They are
// written into `check_dir` (emptied before and after) and checked as `info`
// checks a world, and offered_world_problem. Throws ToolError with one line
// saying what is wrong.
// Whatever this returns, write_world_archive can store, and reading that
// archive gives the same files.
std::vector<WorldFile> open_world(std::vector<WorldFile> given, const std::string& check_dir);

// A file offered as part of a world, known by its name and size before its
// bytes are read.
struct OfferedFile {
    std::string name;
    int64_t size = 0;
};

// Why files offered as a world are refused by their names and sizes alone,
// or "": a file the world does not use (world_file_names), or a layer larger
// than its map needs. `dir` holds what the names depend on: the offered
// palette, save file, world description and tables, and at least the first 4
// bytes (the map size) of the ground layer. The page asks this before it
// copies the large files; open_world asks it again of all the files.
std::string offered_world_problem(const std::vector<OfferedFile>& files, const std::string& dir);

// Removes everything directly in `dir`, hidden files and folders too, and
// keeps `dir` itself (the page's storage is mounted there). Only for a folder
// no running program holds: the lock file goes too.
void clear_folder(const std::string& dir);

}  // namespace tlvx::world
