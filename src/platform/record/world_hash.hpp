#pragma once
// The start state of a world: the files the game reads at start-up, with
// their sizes and content hashes, and the comparison of a world with it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/record/recording_format.hpp"

namespace tlvx {

// Content hash of a file, independent of how it is stored: the file is hashed
// in 64 KiB blocks and the block hashes are hashed in turn; a block inside a
// hole of a sparse file gets the hash of zeros without being read. So a
// 65535 by 65535 map that is mostly holes hashes in milliseconds, and a copy
// with the holes filled in hashes the same. Returns false when the file does
// not exist or is not a regular file; throws RecordingError when it cannot be read.
bool hash_file(const std::string& path, int64_t& size, uint64_t& hash);

// The names of the files world_start_state() lists.
std::vector<std::string> start_file_names(const std::string& data_dir);

// The files the game reads at start-up (palette, save file, the world
// description the save file names, tile and object tables) and the five layer
// files, with their sizes and hashes, in the order the game reads them.
std::vector<StartFile> world_start_state(const std::string& data_dir);

// The first file of `recorded` that differs in `data_dir`, as a message naming
// it; empty when the world is the recorded one.
std::string first_world_difference(const std::vector<StartFile>& recorded, const std::string& data_dir);

}  // namespace tlvx
