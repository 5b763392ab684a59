#include "platform/record/session.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/record/world_copy.hpp"
#include "platform/record/world_hash.hpp"

namespace tlvx {

namespace fs = std::filesystem;

std::string program_version() { return TLVX_VERSION; }

std::unique_ptr<RecordingWriter> start_recording(const std::string& path, const std::string& data_dir) {
    RecordingHeader h;
    h.program_version = program_version();
    h.created = static_cast<int64_t>(std::time(nullptr));
    h.files = world_start_state(data_dir);
    const std::vector<EmbeddedFile> copy = world_copy_files(data_dir);
    h.has_world_copy = !copy.empty();
    return std::make_unique<RecordingWriter>(path, h, copy);
}

namespace {

void write_whole(const fs::path& p, const std::string& bytes) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) throw RecordingError("cannot write \"" + p.string() + "\": " + std::strerror(errno));
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw RecordingError("cannot write \"" + p.string() + "\"");
}

}  // namespace

void unpack_world_copy(RecordingReader& reader, const std::string& dir) {
    if (!reader.header().has_world_copy)
        throw RecordingError(
            "the recording holds no copy of its world (the world was too large); use --data with "
            "the world it was recorded on");
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec))
        throw RecordingError("\"" + dir +
                             "\" is not empty; the recorded world is only written into an empty or new folder");
    const std::vector<EmbeddedFile> files = reader.world_copy();
    fs::create_directories(dir, ec);
    if (ec) throw RecordingError("cannot create \"" + dir + "\": " + ec.message());
    for (const EmbeddedFile& f : files) write_whole(fs::path(dir) / f.name, f.bytes);
}

TemporaryWorld::TemporaryWorld(RecordingReader& reader, const std::string& data_dir) {
    std::string pattern = (fs::temp_directory_path() / "tlvx-play-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw RecordingError("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    dir_ = pattern;
    try {
        if (reader.header().has_world_copy) {
            for (const EmbeddedFile& f : reader.world_copy()) write_whole(fs::path(dir_) / f.name, f.bytes);
            return;
        }
        std::error_code ec;
        for (fs::directory_iterator it(data_dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!it->is_regular_file(ec) || name.rfind("tlvx-shot-", 0) == 0 || name.ends_with(".tlvxrec")) continue;
            copy_file_sparse(it->path().string(), (fs::path(dir_) / name).string());
        }
        if (ec) throw RecordingError("cannot read the folder \"" + data_dir + "\": " + ec.message());
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        throw;
    }
}

TemporaryWorld::~TemporaryWorld() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

}  // namespace tlvx
