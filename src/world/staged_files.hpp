#pragma once
// Writing a set of files so that an interrupted or failed run changes
// nothing (an AtomicFileSet whose failures are ToolErrors): every file is
// written to a temporary file beside its place, and only when all of them are
// complete are they renamed into place together, with SIGINT and SIGTERM
// held back so that the renames are not cut short.
#include <cstdint>
#include <string>
#include <vector>

#include "base/atomic_file.hpp"
#include "world/picture_files.hpp"

namespace tlvx::world {

class StagedFiles {
public:
    // Dropped uncommitted, the set removes every temporary file.

    // A new member that will replace `path`: an empty temporary file in the
    // folder of `path`, with the permissions of the file at `path` or else
    // those of a new file. The set owns the file; the ToolFile returned
    // writes it and stays usable as long as the set. Throws ToolError.
    ToolFile add(const std::string& path);
    // A member with these bytes.
    void add_bytes(const std::string& path, const std::string& bytes);
    // Flushes the temporary files to disk, then renames each over its file
    // in the order they were added and flushes their folders, with SIGINT and
    // SIGTERM held back. When one of them arrived before, nothing is renamed
    // and StopRequested is thrown. Throws ToolError when a file cannot be
    // flushed or renamed; the targets this run had created by then are
    // removed again.
    void commit();

private:
    AtomicFileSet set_;
    std::vector<std::string> targets_;
};

// Writes the file at `from` into the empty file `to`, holes and length
// included: only the data extents are read and written, so the time is that
// of the data, not of the file's length. Checks for a stop signal between
// pieces. Throws ToolError on failure.
void copy_keeping_holes(const std::string& from, ToolFile& to);

}  // namespace tlvx::world
