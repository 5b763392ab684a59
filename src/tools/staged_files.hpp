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

namespace tlvx::tools {

class StagedFiles {
public:
    // Dropped uncommitted, the set removes every temporary file and the
    // folders that make_folders created.

    // Creates `dir` and its missing parents. Throws ToolError.
    void make_folders(const std::string& dir);
    // Creates an empty temporary file in the folder of `path`, with the
    // permissions of the file at `path` or else those of a new file, and
    // returns its name. The caller writes it through a descriptor of its
    // own (and closes it); commit() renames it over `path`. Throws ToolError.
    std::string add(const std::string& path);
    // A file with these bytes.
    void add_bytes(const std::string& path, const std::string& bytes);
    // Flushes the temporary files to disk, then renames each over its file
    // in the order they were added and flushes their folders, with SIGINT and
    // SIGTERM held back. When one of them arrived before, nothing is renamed
    // and StopRequested is thrown. Throws ToolError when a file cannot be
    // flushed or renamed.
    void commit();

private:
    AtomicFileSet set_;
};

// Copies the file open as `from` to the empty file open as `to`, holes and
// length included: only the data extents are read and written, so the time
// is that of the data, not of the file's length. Checks for a stop signal
// between pieces. Throws ToolError naming `what` on failure.
void copy_keeping_holes(int from, int to, const std::string& what);

}  // namespace tlvx::tools
