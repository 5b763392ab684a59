#pragma once
// Helpers for the data tests (and the base and display ones): a state over a directory, a caught runtime error,
// the number of entries in a folder and a function run in a child process.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/error.hpp"
#include "data/world_names.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

inline std::unique_ptr<State> state_in(const std::string& dir) {
    auto s = std::make_unique<State>();
    s->data_dir = dir;
    name_world_files(*s);
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

inline size_t entries(const std::string& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// Runs `f` in a forked child that exits with what `f` returns; the child's wait status. The child
// makes no assertions: its answer is the status.
template <class F>
int child_status(F&& f) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(f());
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid ? status : -1;
}
// The exit code of `f` run in a child (child_status), -1 when it did not exit.
template <class F>
int child_exit(F&& f) {
    return exit_code(child_status(f));
}

}  // namespace tlvx::test
