#pragma once
// Helpers shared by the fuzz targets: a scratch data directory on a memory file
// system where one is available, whole-file writes, and a check that stops the
// run with a message when a property of the code under test does not hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tlvx::fuzz {

// The scratch data directory of this process, created on first use and removed
// with everything in it when the process ends normally.
const std::string& scratch_dir();

// Write `bytes` as the file `name` of the scratch directory.
void put_file(const std::string& name, std::string_view bytes);

// Abort with `what` when `ok` is false, so libFuzzer keeps the input.
void check(bool ok, const char* what);

inline std::string_view as_text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tlvx::fuzz

namespace tlvx {
struct State;
}

namespace tlvx::fuzz {

// A fresh State over the scratch directory, built in static storage: slot 0 or
// 1. The State of the previous call on the slot is destroyed first. Building
// it in place avoids a large allocation per input, which the address
// sanitizer makes slow.
State& fresh_state(int slot = 0);

}  // namespace tlvx::fuzz
