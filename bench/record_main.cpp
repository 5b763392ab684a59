// tlvx-bench-record DIR MODE OUT: runs the game's start-up and passes over the
// world in DIR and writes the file calls of one cycle of passes (see
// bench_game.hpp) to OUT, for the floor replay of tlvx-bench.
//
// The program is linked with --wrap for open, read, pread, pwrite, close,
// fstat, lseek and the save file's mkostemp, fchmod, fsync and rename, so every such call of the game libraries comes
// through the wrappers below. Calls the C library makes for itself do not; counting all system calls of a pass is left
// to strace (bench/run).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <set>

#include "bench_game.hpp"
#include "ops.hpp"

extern "C" {
int __real_open(const char* path, int flags, ...);
ssize_t __real_read(int fd, void* buf, size_t count);
ssize_t __real_pread(int fd, void* buf, size_t count, off_t offset);
ssize_t __real_pwrite(int fd, const void* buf, size_t count, off_t offset);
int __real_close(int fd);
int __real_fstat(int fd, struct stat* st);
off_t __real_lseek(int fd, off_t offset, int whence);
int __real_mkostemp(char* tmpl, int flags);
int __real_fchmod(int fd, mode_t mode);
int __real_fsync(int fd);
int __real_rename(const char* from, const char* to);
}

namespace {

using tlvx::bench::Op;
using tlvx::bench::OpKind;

struct Recorder {
    bool on = false;
    std::map<int, tlvx::bench::OpenBefore> opened;  // every descriptor the game opened, while it is open
    std::set<int> known;                            // descriptors already in the list
    tlvx::bench::OpList list;

    void add(Op op) {
        if (!on) return;
        // A descriptor used before being opened in the recorded passes was
        // opened earlier: the replay opens it up front.
        if (op.kind != OpKind::Open && !known.count(op.fd) && opened.count(op.fd)) {
            list.open_before.push_back(opened[op.fd]);
            known.insert(op.fd);
        }
        if (op.kind == OpKind::Open) known.insert(op.fd);
        list.ops.push_back(std::move(op));
    }
};

Recorder g_rec;

Op make(OpKind kind, int fd, int64_t result) {
    Op op;
    op.kind = kind;
    op.fd = fd;
    op.result = result;
    return op;
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    const int fd = __real_open(path, flags, mode);
    if (fd >= 0) g_rec.opened[fd] = {fd, flags, path};
    Op op = make(OpKind::Open, fd, fd);
    op.flags = flags;
    op.path = path;
    g_rec.add(std::move(op));
    return fd;
}

ssize_t __wrap_read(int fd, void* buf, size_t count) {
    const ssize_t n = __real_read(fd, buf, count);
    Op op = make(OpKind::Read, fd, n);
    op.count = count;
    g_rec.add(std::move(op));
    return n;
}

ssize_t __wrap_pread(int fd, void* buf, size_t count, off_t offset) {
    const ssize_t n = __real_pread(fd, buf, count, offset);
    Op op = make(OpKind::Pread, fd, n);
    op.count = count;
    op.offset = offset;
    g_rec.add(std::move(op));
    return n;
}

ssize_t __wrap_pwrite(int fd, const void* buf, size_t count, off_t offset) {
    const ssize_t n = __real_pwrite(fd, buf, count, offset);
    Op op = make(OpKind::Pwrite, fd, n);
    op.offset = offset;
    op.bytes.assign(static_cast<const char*>(buf), count);
    g_rec.add(std::move(op));
    return n;
}

int __wrap_close(int fd) {
    const int r = __real_close(fd);
    g_rec.add(make(OpKind::Close, fd, r));
    g_rec.opened.erase(fd);
    return r;
}

int __wrap_fstat(int fd, struct stat* st) {
    const int r = __real_fstat(fd, st);
    g_rec.add(make(OpKind::Fstat, fd, r));
    return r;
}

off_t __wrap_lseek(int fd, off_t offset, int whence) {
    const off_t r = __real_lseek(fd, offset, whence);
    Op op = make(OpKind::Lseek, fd, r);
    op.offset = offset;
    op.flags = whence;
    g_rec.add(std::move(op));
    return r;
}

// The temporary beside the save file: an open that creates a new file.
int __wrap_mkostemp(char* tmpl, int flags) {
    const int fd = __real_mkostemp(tmpl, flags);
    const int as_open = O_RDWR | O_CREAT | O_EXCL | flags;
    if (fd >= 0) g_rec.opened[fd] = {fd, as_open, tmpl};
    Op op = make(OpKind::Open, fd, fd);
    op.flags = as_open;
    op.path = tmpl;
    g_rec.add(std::move(op));
    return fd;
}

int __wrap_fchmod(int fd, mode_t mode) {
    const int r = __real_fchmod(fd, mode);
    Op op = make(OpKind::Fchmod, fd, r);
    op.flags = static_cast<int>(mode);
    g_rec.add(std::move(op));
    return r;
}

int __wrap_fsync(int fd) {
    const int r = __real_fsync(fd);
    g_rec.add(make(OpKind::Fsync, fd, r));
    return r;
}

int __wrap_rename(const char* from, const char* to) {
    const int r = __real_rename(from, to);
    Op op = make(OpKind::Rename, 0, r);
    op.path = from;
    op.bytes = to;
    g_rec.add(std::move(op));
    return r;
}

}  // extern "C"

int main(int argc, char** argv) {
    using namespace tlvx::bench;
    if (argc != 4) {
        std::fprintf(stderr, "usage: tlvx-bench-record DIR standing|walking OUT\n");
        return 2;
    }
    try {
        const Walk walk = parse_walk(argv[2]);
        BenchHeadless platform(walk);
        auto s = start_game(argv[1], platform);
        run_passes(*s, walk, 1);  // the first pass: always a full refresh
        g_rec.on = true;
        g_rec.list.passes = cycle_passes(walk);
        run_passes(*s, walk, g_rec.list.passes);
        g_rec.on = false;

        std::ofstream out(argv[3]);
        save_ops(g_rec.list, out);
        out.close();
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[3]);
        std::map<std::string, int64_t> counts;
        for (const Op& op : g_rec.list.ops) ++counts[op_name(op.kind)];
        std::printf("recorded %zu calls in %lld passes:", g_rec.list.ops.size(),
                    static_cast<long long>(g_rec.list.passes));
        for (const auto& [name, n] : counts) std::printf(" %s %lld", name.c_str(), static_cast<long long>(n));
        std::printf("\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tlvx-bench-record: %s\n", e.what());
        return 1;
    }
    return 0;
}
