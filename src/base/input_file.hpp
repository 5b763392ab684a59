#pragma once
// Opening a file to read it, only when it is a regular file, and never
// waiting: a name from a command line or from a data file may name a FIFO
// (whose open waits for a writer), a terminal (whose read waits for a key),
// a device that never ends or a folder. Such a name is refused at once.
#include <string>

namespace tlvx {

// Whether the last part of the name may be a symbolic link. A name written
// in a file someone else may have made is not followed through a link.
enum class InputLinks { Follow, Refuse };

// A read-only descriptor of a regular file, closed with the object; `fd` is
// -1 when the file was refused, and `why` then says why in words that follow
// the file's name ("is a folder, not a file", "cannot be read: No such file or directory").
struct InputFile {
    int fd = -1;
    std::string why;
    // Whether the name does not exist at all (ENOENT), as opposed to naming
    // something that is no regular file or cannot be read.
    bool missing = false;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    ~InputFile();

    explicit operator bool() const { return fd >= 0; }
    // Hands the descriptor over (to fdopen, say); the object no longer closes it.
    int release();
};

// Opens `path` for reading with O_NONBLOCK (so that neither the open nor a
// read can wait), checks with fstat that it is a regular file and refuses
// anything else. The descriptor of a regular file reads as any other.
InputFile open_input_file(const std::string& path, InputLinks links);

}  // namespace tlvx
