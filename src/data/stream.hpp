#pragma once
// The stream table: every file is opened through a slot of CSV_STREAM, which
// remembers the file number of the file last opened on it.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/files.hpp"

namespace tlvx {
struct State;

// Close whatever file holds the slot's number, take the lowest free file number,
// open `name` in `mode` under it. Runtime error 2 when the file cannot be opened
// (text input: missing; text output: cannot be created; binary: neither opened
// nor created).
void stream_reopen(State& s, int32_t slot, const std::string& name, FileMode mode);
// Close the file under the slot's number (nothing when none is open).
void stream_close(State& s, int32_t slot);
// The file number the slot holds.
int32_t stream_number(State& s, int32_t slot);

// The path a program file name resolves to: the data directory joined with the
// name, backslashes taken as path separators.
std::string resolve_path(const State& s, const std::string& name);
// The same path written into `path`, whose storage is reused: no allocation
// once it has grown to the longest path, for the picture loads of every pass.
void resolve_path_into(const State& s, std::string_view name, std::string& path);

}  // namespace tlvx
