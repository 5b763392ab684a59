#include "fuzz_support.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "base/state.hpp"
#include "data/world_names.hpp"

namespace tlvx::fuzz {

namespace {

std::string make_scratch() {
    // fuzz/run names a directory it removes at the end, as a crash or an
    // interrupted run leaves no chance to remove the scratch directory here.
    if (const char* given = std::getenv("TLVX_FUZZ_SCRATCH")) {
        std::string tmpl = std::string(given) + "/XXXXXX";
        if (::mkdtemp(tmpl.data())) return tmpl;
    }
    std::string base = "/dev/shm";
    struct stat st {};
    if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(base.c_str(), W_OK) != 0) base = "/tmp";
    std::string tmpl = base + "/tlvx-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return tmpl;
}

void remove_scratch() {
    std::error_code ec;
    std::filesystem::remove_all(scratch_dir(), ec);
}

}  // namespace

const std::string& scratch_dir() {
    // Never destroyed, so the exit handler that removes it can still read it.
    static const std::string* dir = [] {
        auto* d = new std::string(make_scratch());
        std::atexit(remove_scratch);
        return d;
    }();
    return *dir;
}

void put_file(const std::string& name, std::string_view bytes) {
    const std::string path = scratch_dir() + "/" + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            std::perror(path.c_str());
            std::abort();
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

State& fresh_state(int slot) {
    alignas(State) static unsigned char storage[2][sizeof(State)];
    static bool built[2] = {false, false};
    auto* s = reinterpret_cast<State*>(storage[slot]);
    if (built[slot]) s->~State();
    new (s) State();
    built[slot] = true;
    s->data_dir = scratch_dir();
    name_world_files(*s);
    return *s;
}

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace tlvx::fuzz
