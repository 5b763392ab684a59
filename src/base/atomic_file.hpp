#pragma once
// A file replaced whole or not at all. The new content goes into a temporary
// file in the target's folder; commit() makes it durable, renames it over the
// target and syncs the folder, so after a crash or a failure the target is
// either the old file or the complete new one. A temporary that is not
// committed is removed when the writer is dropped.
//
// Every operation returns false on failure and leaves the reason in error();
// the caller turns it into its own kind of failure. After a failure the
// temporary is already removed and further operations fail.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tlvx {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;

    // Create the temporary for `path`. It gets the permissions of the file it
    // will replace, or the usual ones of a new file (0666 less the umask).
    [[nodiscard]] bool open(const std::string& path);

    // Append `n` bytes after what write() wrote so far. Small writes collect
    // in a buffer that reaches the file in blocks.
    [[nodiscard]] bool write(const void* data, size_t n);
    [[nodiscard]] bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Write `n` bytes at byte `offset` (the file grows as needed; gaps read as zeros).
    [[nodiscard]] bool write_at(int64_t offset, const void* data, size_t n);
    // Make the file exactly `length` bytes long (a larger length adds zeros
    // without using disk space).
    [[nodiscard]] bool set_length(int64_t length);

    // Write everything to the disk and close the temporary, without renaming
    // it yet. A group of files that should appear together finishes every
    // file first and commits them only then.
    [[nodiscard]] bool finish();
    // finish() if not done yet, rename the temporary over the target, sync
    // the folder (unless the caller syncs it once for many files).
    [[nodiscard]] bool commit(bool sync_folder = true);
    // With false, finish() and commit() leave the content and the rename to
    // the system's write-back instead of syncing them: the new file survives
    // the death of the program (a SIGKILL), not a crash of the machine, which
    // may leave the old file. For files rewritten very often.
    void set_synced(bool synced) { synced_ = synced; }
    // Drop the temporary; the target stays as it was.
    void discard();

    bool is_open() const { return !temp_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& temp_path() const { return temp_; }
    // "cannot write PATH: reason" for the last failure.
    const std::string& error() const { return error_; }

private:
    bool fail(const char* what, const std::string& name, int err);
    bool flush();

    std::string path_;
    std::string temp_;  // empty once committed or dropped
    std::string error_;
    int fd_ = -1;      // -1 once finished
    int64_t end_ = 0;  // where the buffer goes in the file
    bool synced_ = true;
    std::string buffer_;
};

// Files that appear together or not at all, and the registry of a run's live
// temporary files: every member is an AtomicFile; dropping the set (when a
// run fails, or unwinds after a stop signal) removes every temporary file.
// commit() finishes every file first and only then renames them all, with
// SIGINT and SIGTERM held back so that the renames are not cut short (see
// stop_signal.hpp).
class AtomicFileSet {
public:
    AtomicFileSet() = default;
    ~AtomicFileSet() = default;  // each member drops its temporary unless committed
    AtomicFileSet(const AtomicFileSet&) = delete;
    AtomicFileSet& operator=(const AtomicFileSet&) = delete;

    // A new member for `path`, open; nullptr on failure. The pointer stays
    // valid as long as the set.
    [[nodiscard]] AtomicFile* add(const std::string& path);
    // Finishes every member, then renames them in the order they were added.
    // When a stop signal arrived before the renames begin, throws
    // StopRequested and renames nothing. A failed rename (which a folder the
    // set could write to makes all but impossible) leaves the members before
    // it in place.
    [[nodiscard]] bool commit();
    // The reason of the last failure.
    const std::string& error() const { return error_; }

private:
    std::vector<std::unique_ptr<AtomicFile>> files_;
    std::string error_;
};

// The folder part of `path` ("." for a bare name).
std::string folder_of(const std::string& path);

}  // namespace tlvx
