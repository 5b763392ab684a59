#pragma once
// The copy of a small world kept in a recording: which files make the world,
// reading them, and writing a copy back out into a folder of its own.
#include <string>
#include <vector>

#include "platform/record/recording_format.hpp"

namespace tlvx {

// The names of the files that make the world in `data_dir`, as the game
// reads them: the start-state files (palette, save file, the world
// description it names, the tile and object tables, the layer files) and the
// pictures and masks the tables name. Only plain names of the folder itself,
// never a hidden file; names of files that do not exist are left out.
std::vector<std::string> world_file_names(const std::string& data_dir);

// The files of world_file_names() to keep as a world copy, when they are
// regular files (never followed through links) totalling at most
// kWorldCopyLimit (empty otherwise). Nothing else of the folder is taken.
std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir);

// Copies the regular file `from` (not through a link) into the new file `to`
// (created, never over an existing file or link), keeping its holes: a
// sparse layer file stays sparse.
void copy_file_sparse(const std::string& from, const std::string& to);

// A world written into a private folder this program creates itself
// (mkdtemp, mode 0700) in `parent`, each file created anew; nothing else can
// have been put there. The folder and everything in it are removed on
// destruction unless move_to() put it in its final place. SIGINT and SIGTERM
// stop the writing between files (StopRequested) and leave nothing behind.
class PrivateWorld {
public:
    // Throws RecordingError when the folder or a file cannot be made; `what`
    // names the parent in that message ("TMPDIR" for the temporary folder).
    PrivateWorld(const std::string& parent, const std::string& what);
    ~PrivateWorld();
    PrivateWorld(const PrivateWorld&) = delete;
    PrivateWorld& operator=(const PrivateWorld&) = delete;

    const std::string& dir() const { return dir_; }
    // Writes the files of a world copy (from a recording; their names are
    // checked plain names).
    void write(const std::vector<EmbeddedFile>& files);
    // Copies the world's files (world_file_names) from `data_dir`.
    void copy_from(const std::string& data_dir);
    // Renames the finished folder to `target`, which must not exist or be an
    // empty folder (and not a link); throws RecordingError otherwise, leaving
    // `target` as it was.
    void move_to(const std::string& target);

private:
    std::string dir_;
    int dir_fd_ = -1;
    bool moved_ = false;
};

// What keeps `target` from receiving a recorded world ("" when it may): a
// link, a file, or a folder that is not empty.
std::string unpack_target_problem(const std::string& target);

}  // namespace tlvx
