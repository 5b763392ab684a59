#include "platform/record/recording_writer.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <unistd.h>

namespace tlvx {

using namespace recording_bytes;

namespace {

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

RecordingWriter::RecordingWriter(const std::string& path, const RecordingHeader& header,
                                 const std::vector<EmbeddedFile>& world_copy)
    : path_(path) {
    // Never over an existing file: it may be an earlier recording someone keeps.
    file_ = std::fopen(path.c_str(), "wbx");
    if (!file_ && errno == EEXIST)
        throw RecordingError("\"" + path + "\" exists already; remove it or name another file for the recording");
    if (!file_) throw RecordingError("cannot write the recording \"" + path + "\": " + std::strerror(errno));
    std::string h;
    put_string(h, header.program_version);
    put_u64(h, static_cast<uint64_t>(header.created));
    put_varint(h, header.files.size());
    for (const StartFile& f : header.files) {
        put_string(h, f.name);
        put_u64(h, static_cast<uint64_t>(f.size));
        put_u64(h, f.hash);
    }
    h.push_back(world_copy.empty() ? 0 : 1);
    std::string out(kMagic, sizeof kMagic);
    put_u32(out, kRecordingFormat);
    put_u32(out, static_cast<uint32_t>(h.size()));
    out += h;
    put_u32(out, crc_of(h.data(), h.size()));
    if (!world_copy.empty()) {
        std::string raw;
        put_varint(raw, world_copy.size());
        for (const EmbeddedFile& f : world_copy) {
            put_string(raw, f.name);
            put_string(raw, f.bytes);
        }
        const std::string packed = packing::pack_whole(raw);
        put_u64(out, raw.size());
        put_u64(out, packed.size());
        put_u32(out, crc_of(packed.data(), packed.size()));
        out += packed;
    }
    // A recording whose start cannot be written is removed again: half a
    // header is of no use to anyone.
    try {
        write_bytes(out.data(), out.size());
        if (std::fflush(file_) != 0) throw RecordingError(cannot_write(errno));
    } catch (const RecordingError&) {
        std::fclose(file_);
        file_ = nullptr;
        ::unlink(path.c_str());
        throw;
    }
    good_ = written_;
    last_flush_ns_ = now_ns();
    raw_.reserve(1 << 16);
}

RecordingWriter::~RecordingWriter() {
    if (file_) {
        // Not finished: keep what was recorded; a reader takes it as a session that did not end.
        try {
            flush();
        } catch (const RecordingError&) {}
        if (file_) std::fclose(file_);
    }
}

std::string RecordingWriter::cannot_write(int error) const {
    return "cannot write the recording \"" + path_ + "\" (" + (error ? std::strerror(error) : "a write failed") + ")";
}

void RecordingWriter::write_bytes(const void* data, size_t n) {
    if (std::fwrite(data, 1, n, file_) != n) throw RecordingError(cannot_write(errno));
    written_ += static_cast<int64_t>(n);
}

void RecordingWriter::give_up(const std::string& why) {
    // mended: a recording that cannot be written (a full disk, a file size
    // limit) is cut after its last whole chunk and closed; the game does not
    // depend on it. The deflate stream cannot go on after a lost chunk, so
    // nothing more is written.
    const int fd = ::dup(::fileno(file_));
    std::fclose(file_);
    file_ = nullptr;
    // The part of a chunk that did reach the file is cut off again (when that
    // fails too, the reader stops at the cut chunk all the same).
    if (fd >= 0) {
        if (::ftruncate(fd, good_) != 0) {}
        ::close(fd);
    }
    failure_ = why + "; it is cut after pass " + std::to_string(passes_flushed_ > 0 ? passes_flushed_ - 1 : 0) +
               ", the last one it holds whole";
    throw RecordingError(failure_);
}

void RecordingWriter::put_empty_polls() {
    if (empty_polls_ == 0) return;
    raw_.push_back(static_cast<char>(EventKind::EmptyPolls));
    put_varint(raw_, empty_polls_);
    empty_polls_ = 0;
}

void RecordingWriter::begin_pass() {
    if (!file_) return;
    ++passes_;
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::BeginPass));
    flush_if_due();
}

void RecordingWriter::time(double reading) {
    if (!file_) return;
    put_empty_polls();
    const uint64_t b = bits_of(reading);
    raw_.push_back(static_cast<char>(EventKind::Time));
    put_varint(raw_, zigzag(static_cast<int64_t>(b - last_bits_)));
    last_bits_ = b;
}

void RecordingWriter::poll(const std::vector<std::string>& keys) {
    if (!file_) return;
    if (keys.empty()) {
        // A run is never longer than the reader takes.
        if (++empty_polls_ == kMaxEmptyPollRun) put_empty_polls();
    } else {
        put_empty_polls();
        raw_.push_back(static_cast<char>(EventKind::Poll));
        put_varint(raw_, keys.size());
        for (const std::string& k : keys) put_string(raw_, k);
    }
    flush_if_due();
}

void RecordingWriter::quit() {
    if (!file_) return;
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::Quit));
}

void RecordingWriter::flush_if_due() {
    if (!file_) return;
    if (raw_.size() < (1u << 20) && passes_ - passes_flushed_ < kChunkPasses && now_ns() - last_flush_ns_ < flush_ns_)
        return;
    flush();
}

void RecordingWriter::flush() {
    if (!file_) return;
    put_empty_polls();
    last_flush_ns_ = now_ns();
    if (raw_.empty()) return;
    if (!packer_.pack(raw_, packed_)) give_up("cannot compress the recording \"" + path_ + "\"");
    const size_t out_len = packed_.size();
    std::string head = "CK";
    put_u32(head, static_cast<uint32_t>(out_len));
    put_u32(head, static_cast<uint32_t>(raw_.size()));
    put_u32(head, crc_of(packed_.data(), out_len));
    raw_.clear();
    try {
        write_bytes(head.data(), head.size());
        write_bytes(packed_.data(), out_len);
        // Into the kernel at once: a killed game still leaves this chunk in the file.
        if (std::fflush(file_) != 0) throw RecordingError(cannot_write(errno));
    } catch (const RecordingError& e) {
        give_up(e.what());
    }
    good_ = written_;
    passes_flushed_ = passes_;
}

void RecordingWriter::finish(int32_t exit_status) {
    if (!file_) return;
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::End));
    put_varint(raw_, zigzag(exit_status));
    flush();
    if (!file_) return;
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) give_up(cannot_write(errno));
    const int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) throw RecordingError(cannot_write(errno));
}

}  // namespace tlvx
