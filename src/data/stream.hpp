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
// nor created), or when s.names_stay_in_folder and the name leaves the folder.
void stream_reopen(State& s, int32_t slot, const std::string& name, FileMode mode);
// Close the file under the slot's number (nothing when none is open).
void stream_close(State& s, int32_t slot);
// The file number the slot holds.
int32_t stream_number(State& s, int32_t slot);

// Whether `name` is one plain file name of the data folder: no "/" or "\\"
// (a separator in a world's names), no NUL, not "." or "..".
bool plain_file_name(std::string_view name);

// Whether a file name read from a world's files names a place outside its
// folder, read as resolve_path reads it (backslashes are separators, leading
// "./" dropped): a ".." part, which leads out of the folder, or an absolute
// path or a drive letter ("/x", "\\x", "C:x"), which resolve_path reads inside
// the folder but which named a file elsewhere where the world was made. The
// game opens such names as its tables give them; the tools, which read worlds
// a stranger may have made, do not (State::names_stay_in_folder).
bool name_leaves_folder(std::string_view name);

// The place of the runtime error for such a name: `WHAT "NAME": the name
// leads out of the world folder, ...`.
std::string outside_folder_place(const char* what, const std::string& name);

// The path a program file name resolves to: the data directory joined with the
// name, backslashes taken as path separators.
std::string resolve_path(const State& s, const std::string& name);
// The same path written into `path`, whose storage is reused: no allocation
// once it has grown to the longest path, for the picture loads of every pass.
void resolve_path_into(const State& s, std::string_view name, std::string& path);

}  // namespace tlvx
