#pragma once
// Small helpers for the data tests: a fresh state over a directory, catching a
// runtime error, and running a check in a child process with other limits.
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "shell/error.hpp"
#include "shell/state.hpp"

namespace tlvx::test {

inline std::unique_ptr<State> state_in(const std::string& dir) {
    auto s = std::make_unique<State>();
    s->data_dir = dir;
    return s;
}

struct Caught {
    int32_t number = 0;  // 0: nothing was thrown
    std::string place;
    std::string report;
};

template <class F>
Caught catch_error(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return {e.number(), e.place(), error_report(e)};
    }
    return {};
}

// Runs `f` in a forked child and returns its result (the child's exit status),
// or -1 when the child did not exit normally. `f` must not use test assertions.
template <class F>
int in_child(F&& f) {
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 99;
        try {
            rc = f();
        } catch (...) {
            rc = 98;
        }
        _exit(rc);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace tlvx::test
