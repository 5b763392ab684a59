#pragma once
// Helpers for the data tests: a state over a directory, a caught runtime error,
// a check run in a child process under other limits, and small file helpers.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/error.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

inline std::unique_ptr<State> state_in(const std::string& dir) {
    auto s = std::make_unique<State>();
    s->data_dir = dir;
    return s;
}

struct Caught {
    int32_t number = 0;  // 0: nothing was thrown
    std::string place;
};
template <class F>
Caught catch_error(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return {e.number(), e.place()};
    }
    return {};
}

// The exit status of `f` run in a forked child (-1: no normal exit). `f` must not use assertions.
template <class F>
int in_child(F&& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        int rc = 98;  // an exception in the child
        try {
            rc = f();
        } catch (...) {}
        _exit(rc);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline size_t entries(const std::string& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// A layer file header for a w by h map.
inline std::string header(int w, int h) { return {char(w >> 8), char(w & 255), char(h >> 8), char(h & 255)}; }

}  // namespace tlvx::test
