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

namespace tlvx {

// What read_input_file takes besides a regular file.
enum class InputPipes {
    Refuse,
    // Also the reading end of an unnamed pipe, as a shell's process
    // substitution `<(...)` names it (/dev/fd/N): read until its writer
    // closes it, within the size bound and while it keeps sending. A named
    // FIFO in the file system is still refused: it may have no writer.
    Unnamed,
};

// The seconds an unnamed pipe may stay silent before its reading is given up.
inline constexpr int kPipeSilenceSeconds = 10;

// The bytes of a whole file, or why not: `why` (when `ok` is false) follows
// the file's name as open_input_file's does, or says that the file "is
// larger than N MiB" or, for a pipe, that it "sent nothing for 10 seconds".
struct InputBytes {
    bool ok = false;
    std::string bytes;
    std::string why;
    bool missing = false;
};

// Reads all of `path`, refusing anything open_input_file refuses (unnamed
// pipes aside, when `pipes` takes them) and any file of more than
// `max_bytes` bytes before it is read. Never waits for a writer; a pipe is
// waited for at most kPipeSilenceSeconds (or `silence_ms`) between reads.
// The one line for a refused input file: `what` names it with its role
// (`the key script "k.txt"`), `why` is the reason from above. "cannot read
// WHAT: No such file or directory", or "WHAT is a folder, not a file".
std::string input_file_problem(const std::string& what, const std::string& why);

InputBytes read_input_file(const std::string& path, size_t max_bytes, InputLinks links,
                           InputPipes pipes = InputPipes::Refuse, int silence_ms = kPipeSilenceSeconds * 1000);

}  // namespace tlvx
