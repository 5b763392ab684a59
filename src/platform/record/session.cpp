#include "platform/record/session.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "base/stop_signal.hpp"

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

void unpack_world_copy(RecordingReader& reader, const std::string& dir) {
    if (!reader.header().has_world_copy)
        throw RecordingError(
            "the recording holds no copy of its world (the world was too large); use --data with "
            "the world it was recorded on");
    const std::string problem = unpack_target_problem(dir);
    if (!problem.empty()) throw RecordingError("\"" + dir + "\" " + problem);
    const std::vector<EmbeddedFile> files = reader.world_copy();
    // The files are written into a new private folder beside `dir` and the
    // folder is renamed to `dir` once complete: a failure or a stop leaves nothing.
    fs::path parent = fs::path(dir).parent_path();
    if (parent.empty()) parent = ".";
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) throw RecordingError("cannot create \"" + parent.string() + "\": " + ec.message());
    StopSignals stop;
    PrivateWorld world(parent.string(), "");
    world.write(files);
    world.move_to(dir);
}

TemporaryWorld::TemporaryWorld(RecordingReader& reader, const std::string& data_dir) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string parent = tmp && *tmp ? tmp : "/tmp";
    StopSignals stop;
    world_ = std::make_unique<PrivateWorld>(parent, "TMPDIR");
    try {
        if (reader.header().has_world_copy) world_->write(reader.world_copy());
        else world_->copy_from(data_dir);
    } catch (...) {
        // Removed while SIGINT and SIGTERM are still only recorded.
        world_.reset();
        throw;
    }
}

TemporaryWorld::~TemporaryWorld() = default;

const std::string& TemporaryWorld::dir() const { return world_->dir(); }

PreparedPlayback::PreparedPlayback(const std::string& file, const std::string& data_dir, bool apply) {
    RecordingReader head(file);
    if (!apply) copy_.emplace(head, data_dir);
    dir_ = copy_ ? copy_->dir() : data_dir;
    const std::string diff = first_world_difference(head.header().files, dir_);
    if (!diff.empty()) throw RecordingError("this world is not the one the recording starts from: " + diff);
    summary_ = summarize_recording(head);
    reader_ = std::make_unique<RecordingReader>(file);
}

}  // namespace tlvx
