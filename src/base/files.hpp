#pragma once
// The runtime's open files, addressed by file number 1 to 255. The stream table
// (stream.hpp) hands out the numbers; text items (text_record.hpp) and layer
// cells (layer.hpp) are read and written through them.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/atomic_file.hpp"

namespace tlvx {

enum class FileMode { TextInput, TextOutput, Binary };

struct OpenFile {
    FileMode mode = FileMode::TextInput;
    std::string name;  // the name the program used, for error reports
    std::string path;  // the path actually opened (data directory + name)

    // Binary: the descriptor; `writable` is false when the file could only be
    // opened for reading (a write is then runtime error 3).
    int fd = -1;
    bool writable = false;

    // Text input: the readable text (up to a byte 26) and the read position.
    std::string text;
    size_t pos = 0;

    // Text output: lines collect here and reach `path` through an atomic
    // file committed when the file is closed, so a failed write never leaves a
    // half-written file behind. Its temporary is created at open, so a file
    // that cannot be created fails at open, not at close.
    std::string out;
    AtomicFile replacement;
    // No temporary file could be made beside `path` (a read-only folder) but
    // the file itself can be written: it is open in `fd`, emptied and
    // rewritten at close.
    bool in_place = false;
};

// The largest text file the program reads (a save file, a world description,
// a tile or object table, the palette): a real one holds a few kilobytes, and
// text input is read whole, so a larger file is refused before it is read.
inline constexpr int64_t kMaxTextFileBytes = int64_t{4} << 20;

// Open `path` in `mode` as a file the program calls `name`. Runtime error 2
// (place: while opening "NAME") when it cannot be opened: text input missing or
// unreadable, text output not creatable, binary neither openable nor creatable.
// Runtime error 3 (while reading "NAME": ...) for text input larger than
// kMaxTextFileBytes.
std::unique_ptr<OpenFile> open_file(const std::string& name, const std::string& path, FileMode mode);

// The readable text of a file's bytes as text mode delivers it: everything
// before the first byte 26, each CR LF pair arriving as one LF.
std::string readable_text(std::string_view bytes);

class FileTable {
public:
    FileTable();
    ~FileTable();
    FileTable(const FileTable&) = delete;
    FileTable& operator=(const FileTable&) = delete;

    bool is_open(int32_t number) const;
    // The smallest number 1..255 under which no file is open (0 when all are taken).
    int32_t lowest_free() const;
    int32_t open_count() const;
    // The open file under `number`; runtime error 1 naming `what` when none is open.
    OpenFile& get(int32_t number, const char* what);
    void put(int32_t number, std::unique_ptr<OpenFile> file);
    // Close the file under `number`; nothing when none is open. Closing a text
    // output file commits it (runtime error 3 when that fails, the old file kept).
    void close(int32_t number);
    // Close everything without committing text output (end of program after an error).
    void close_all_discarding();

private:
    std::array<std::unique_ptr<OpenFile>, 256> files_;
};

}  // namespace tlvx
