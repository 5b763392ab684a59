#pragma once
// Helpers for the data tests (and the base and display ones): a state over a directory, a caught runtime error,
// and the number of entries in a folder.
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

}  // namespace tlvx::test
