#pragma once
// The copy of a small world kept in a recording, and copying world files.
#include <string>
#include <vector>

#include "platform/record/recording_format.hpp"

namespace tlvx {

// The regular files directly in `data_dir` to keep as a world copy, when they
// total at most kWorldCopyLimit (empty otherwise). Skips screenshots and
// recordings.
std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir);

// Copies a file keeping its holes (a sparse layer file stays sparse).
void copy_file_sparse(const std::string& from, const std::string& to);

}  // namespace tlvx
