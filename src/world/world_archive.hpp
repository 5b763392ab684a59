#pragma once
// A world folder as one file: an uncompressed tar archive (the POSIX "ustar"
// form that every desktop's tar reads) holding the folder's files under one
// folder name, so that `tar xf` gives a folder the game plays with --data.
// Reading takes only such archives: regular files in at most one folder,
// nothing else, every field checked, sizes bounded before anything is kept.
#include <cstddef>
#include <string>
#include <vector>

#include "world/demo_world.hpp"

namespace tlvx::world {

// The folder name the archive's files stand in.
inline constexpr const char* kArchiveFolder = "tlvx-world";
// The most files, and the most bytes all together, an archive may hold.
inline constexpr size_t kArchiveMaxFiles = 4096;
inline constexpr size_t kArchiveMaxBytes = size_t{512} << 20;

// Whether an archive can hold a file of this name: a plain name, not hidden,
// short enough for the header's name field beside the folder. The reader
// accepts exactly these names, so whatever opens can be written again.
bool archive_can_hold(const std::string& name);

// The archive of `files` (names without folders), in the order given.
std::string write_world_archive(const std::vector<WorldFile>& files);
// The files of an archive, names without their folder. Throws ToolError with
// one line saying what is wrong for anything not written the way
// write_world_archive writes (a link, a device, a path leaving the folder, a
// bad checksum, a cut-off archive, a name given twice, too many or too large
// files).
std::vector<WorldFile> read_world_archive(const std::string& bytes);

// The regular files directly in `dir`, sorted by name; throws ToolError when
// one cannot be read. Links, folders and hidden files (the lock file) are left out.
std::vector<WorldFile> read_world_folder(const std::string& dir);

}  // namespace tlvx::world
