#pragma once
// A recorded list of the file operations that passes of the game make, and
// their bare replay: the same calls with the same arguments and nothing else.
// The replay is the floor that a pass cannot beat while it reads every cell
// and picture from its file.
#include <sys/stat.h>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace tlvx::bench {

// The save file is replaced while playing: a temporary opened beside it
// (recorded as an open), given its mode, written, maybe synced and renamed.
enum class OpKind : uint8_t { Open, Read, Pread, Pwrite, Close, Fstat, Lseek, Fchmod, Fsync, Rename };

// One call. `fd` is the descriptor number the game used; the replay maps it
// to its own descriptor. `result` is what the call returned in the game.
struct Op {
    OpKind kind = OpKind::Read;
    int fd = -1;
    int flags = 0;       // open: the flags; lseek: whence; fchmod: the mode
    uint64_t count = 0;  // read, pread: bytes asked for
    int64_t offset = 0;  // pread, pwrite, lseek
    int64_t result = 0;
    std::string path;   // open, rename: the file's name
    std::string bytes;  // pwrite: the bytes written; rename: the new name
};

// A file the game opened before the recorded passes and used in them.
struct OpenBefore {
    int fd = -1;
    int flags = 0;
    std::string path;
};

struct OpList {
    int64_t passes = 0;  // how many passes the ops cover
    std::vector<OpenBefore> open_before;
    std::vector<Op> ops;
};

const char* op_name(OpKind kind);
void save_ops(const OpList& list, std::ostream& out);
// Throws std::runtime_error on a malformed list.
OpList load_ops(std::istream& in);

// Replays an op list. The constructor opens the files the game had open
// before the recorded passes; the destructor closes them.
class Replayer {
public:
    explicit Replayer(const OpList& list);
    ~Replayer();
    Replayer(const Replayer&) = delete;
    Replayer& operator=(const Replayer&) = delete;

    // One replay, checking that every call returns what it returned in the
    // game; throws std::runtime_error naming the first that does not.
    void check();
    // One bare replay of all ops (list.passes passes).
    void run();

private:
    int& fd(int recorded);

    std::vector<Op> ops_;
    std::vector<int> fds_;  // recorded descriptor -> ours
    std::vector<uint8_t> buf_;
    struct stat st_ {};
};

}  // namespace tlvx::bench
