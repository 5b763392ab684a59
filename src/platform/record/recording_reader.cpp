#include "platform/record/recording_reader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "base/input_file.hpp"

namespace tlvx {

using namespace recording_bytes;

RecordingReader::RecordingReader(const std::string& path) : name_(path) {
    // mended: only a regular file is read, and its open never waits (a FIFO
    // waited for a writer, deaf to Ctrl+C). A recording is read twice, by
    // position, so no pipe will do. Its size needs no bound: it is read a
    // chunk at a time, each chunk bounded (kMaxChunkRaw, kMaxChunkPasses).
    InputFile in = open_input_file(path, InputLinks::Follow);
    if (!in) throw RecordingError(input_file_problem("the recording \"" + path + "\"", in.why));
    owned_.reset(::fdopen(in.fd, "rb"));
    file_ = owned_.get();
    if (!file_) throw RecordingError("cannot read the recording \"" + path + "\": " + std::strerror(errno));
    in.release();
    open_header();
}

RecordingReader::RecordingReader(std::FILE* file, const std::string& name) : owned_(file), file_(file), name_(name) {
    open_header();
}

RecordingReader::~RecordingReader() = default;

void RecordingReader::open_header() {
    unsigned char head[16];
    if (!read_exact(file_, head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
        throw RecordingError("\"" + name_ + "\" is not a tlvx recording (or is damaged at its start)");
    header_.format = u32_of(head + 8);
    if (header_.format != kRecordingFormat)
        throw RecordingError("\"" + name_ + "\" is a recording of format version " + std::to_string(header_.format) +
                             "; this program reads version " + std::to_string(kRecordingFormat));
    const uint32_t len = u32_of(head + 12);
    if (len > kMaxHeader) throw RecordingError("the header of \"" + name_ + "\" is damaged");
    std::string h(len, '\0');
    unsigned char crc[4];
    if (!read_exact(file_, h.data(), len) || !read_exact(file_, crc, 4))
        throw RecordingError("\"" + name_ + "\" ends inside its header");
    if (u32_of(crc) != crc_of(h.data(), h.size()))
        throw RecordingError("the header of \"" + name_ + "\" is damaged (its checksum does not match)");
    Cursor c{h};
    header_.program_version = c.string();
    header_.created = static_cast<int64_t>(c.u64());
    const uint64_t n = c.varint();
    if (n > kMaxStartFiles) throw RecordingError("the header of \"" + name_ + "\" is damaged (too many files)");
    for (uint64_t i = 0; i < n; ++i) {
        StartFile f;
        f.name = c.string();
        if (f.name.size() > kMaxNameBytes)
            throw RecordingError("the header of \"" + name_ + "\" is damaged (a file name is too long)");
        f.size = static_cast<int64_t>(c.u64());
        f.hash = c.u64();
        // A name is one file of the data directory, never a path.
        if (f.name.empty() || f.name.find('/') != std::string::npos || f.name == "." || f.name == "..")
            throw RecordingError("the header of \"" + name_ + "\" names a file that is not in a data directory");
        header_.files.push_back(std::move(f));
    }
    c.need(1);
    header_.has_world_copy = h[c.at] != 0;
    copy_offset_ = std::ftell(file_);
    if (header_.has_world_copy) {
        unsigned char w[20];
        if (!read_exact(file_, w, sizeof w))
            throw RecordingError("\"" + name_ + "\" is damaged: it ends inside its world copy");
        const uint64_t raw = u64_of(w), packed = u64_of(w + 8);
        // mended: the world copy can be no larger than the writer makes it
        // (it once took up to 1 GiB unpacked); refused here, before anything is read.
        if (raw > kMaxCopyRaw || packed > packed_bound(raw) || packed > remaining() ||
            std::fseek(file_, static_cast<long>(packed), SEEK_CUR) != 0)
            throw RecordingError("the world copy in \"" + name_ + "\" is damaged (larger than a recording holds)");
    }
}

uint64_t RecordingReader::remaining() {
    const long at = std::ftell(file_);
    if (at < 0 || std::fseek(file_, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file_);
    std::fseek(file_, at, SEEK_SET);
    return end > at ? static_cast<uint64_t>(end - at) : 0;
}

std::vector<EmbeddedFile> RecordingReader::world_copy() {
    if (!header_.has_world_copy) return {};
    const long back = std::ftell(file_);
    std::fseek(file_, copy_offset_, SEEK_SET);
    unsigned char w[20];
    std::string packed;
    bool ok = read_exact(file_, w, sizeof w);
    const uint64_t raw_len = ok ? u64_of(w) : 0, packed_len = ok ? u64_of(w + 8) : 0;
    // Lengths are checked against the file and deflate's best ratio before anything is allocated.
    ok = ok && packed_len <= remaining() && raw_len <= kMaxCopyRaw && packed_len <= packed_bound(raw_len) &&
         raw_len <= packed_len * 1032 + 64;
    if (ok) {
        packed.resize(static_cast<size_t>(packed_len));
        ok = read_exact(file_, packed.data(), packed.size()) && crc_of(packed.data(), packed.size()) == u32_of(w + 16);
    }
    std::fseek(file_, back, SEEK_SET);
    std::string raw;
    if (!ok || !packing::unpack_whole(packed, raw_len, raw))
        throw RecordingError("the world copy in \"" + name_ + "\" is damaged");
    std::vector<EmbeddedFile> files;
    try {
        Cursor c{raw};
        const uint64_t n = c.varint();
        // mended: the count and every name are checked before they are used, so
        // millions of empty entries are refused at once instead of taking gigabytes.
        if (n > kMaxCopyFiles) throw RecordingError("");
        std::set<std::string> seen;
        uint64_t total = 0;
        for (uint64_t i = 0; i < n; ++i) {
            EmbeddedFile f;
            f.name = c.string();
            f.bytes = c.string();
            total += f.bytes.size();
            // Recordings made before hidden files were left out may hold
            // some: they are skipped, never written.
            if (f.name.size() > 1 && f.name[0] == '.' && plain_world_name("x" + f.name.substr(1)) &&
                total <= static_cast<uint64_t>(kWorldCopyLimit))
                continue;
            if (!plain_world_name(f.name) || !seen.insert(f.name).second ||
                total > static_cast<uint64_t>(kWorldCopyLimit))
                throw RecordingError("");
            files.push_back(std::move(f));
        }
    } catch (const RecordingError&) {
        throw RecordingError("the world copy in \"" + name_ + "\" is damaged");
    }
    return files;
}

bool RecordingReader::fill() {
    if (ended_) return false;
    unsigned char head[14];
    const size_t got = std::fread(head, 1, sizeof head, file_);
    if (got == 0) {
        ended_ = true;
        return false;
    }
    ++chunk_;
    auto stop = [&](const std::string& why) {
        damage_ = why;
        ended_ = true;
        return false;
    };
    if (got < sizeof head) return stop("the recording ends inside chunk " + std::to_string(chunk_));
    if (head[0] != 'C' || head[1] != 'K')
        return stop("chunk " + std::to_string(chunk_) + " of the recording is damaged");
    const uint32_t packed_len = u32_of(head + 2), raw_len = u32_of(head + 6);
    if (raw_len > kMaxChunkRaw || packed_len > packed_bound(raw_len) || raw_len > uint64_t{packed_len} * 1032 + 64)
        return stop("chunk " + std::to_string(chunk_) + " of the recording is damaged");
    if (packed_len > remaining()) return stop("the recording ends inside chunk " + std::to_string(chunk_));
    std::string packed(packed_len, '\0');
    if (!read_exact(file_, packed.data(), packed_len))
        return stop("the recording ends inside chunk " + std::to_string(chunk_));
    if (crc_of(packed.data(), packed.size()) != u32_of(head + 10))
        return stop("chunk " + std::to_string(chunk_) + " of the recording is damaged (its checksum does not match)");
    // What was not yet used of the previous chunk (a cut event) stays in front.
    raw_.erase(0, at_);
    at_ = 0;
    const size_t base = raw_.size();
    raw_.resize(base + raw_len);
    if (!unpacker_.unpack(packed.data(), packed_len, raw_.data() + base, raw_len)) {
        raw_.resize(base);
        return stop("chunk " + std::to_string(chunk_) + " of the recording does not unpack");
    }
    chunk_first_pass_ = passes_;
    return true;
}

bool RecordingReader::get_byte(uint8_t& b) {
    while (at_ >= raw_.size())
        if (!fill()) return false;
    b = static_cast<uint8_t>(raw_[at_++]);
    return true;
}

bool RecordingReader::get_varint(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        uint8_t c;
        if (!get_byte(c)) return false;
        v |= static_cast<uint64_t>(c & 0x7F) << shift;
        if (!(c & 0x80)) return true;
    }
    damage_ = "the recording holds a malformed number";
    ended_ = true;
    return false;
}

bool RecordingReader::next(Event& e) {
    uint8_t tag;
    if (!get_byte(tag)) return false;
    e.kind = static_cast<EventKind>(tag);
    uint64_t v = 0;
    switch (e.kind) {
    case EventKind::BeginPass:
        // mended: a chunk may hold no more passes than the writer puts into
        // one; a crafted file of 70,000 a chunk took half a minute to count and
        // hours to replay. (A pass is one byte, so it is in the chunk read last.)
        if (++passes_ - chunk_first_pass_ > kMaxChunkPasses) {
            passes_before_refused_ = chunk_first_pass_;
            damage_ = "chunk " + std::to_string(chunk_) + " of the recording holds more than " +
                      std::to_string(kMaxChunkPasses) + " passes, more than a chunk is written with";
            ended_ = true;
            return false;
        }
        return true;
    case EventKind::Quit: return true;
    case EventKind::Time:
        if (!get_varint(v)) return false;
        last_bits_ += static_cast<uint64_t>(unzigzag(v));
        e.time = double_of(last_bits_);
        return true;
    case EventKind::EmptyPolls:
        if (!get_varint(v)) return false;
        e.count = v;
        if (v == 0) break;
        if (v > kMaxEmptyPollRun) {
            damage_ = "the recording holds a run of " + std::to_string(v) +
                      " key polls that found nothing, more than a session makes";
            ended_ = true;
            return false;
        }
        return true;
    case EventKind::End:
        if (!get_varint(v)) return false;
        e.status = static_cast<int32_t>(unzigzag(v));
        return true;
    case EventKind::Poll: {
        if (!get_varint(v)) return false;
        if (v == 0 || v > 1024) break;
        e.keys.resize(static_cast<size_t>(v));
        for (std::string& k : e.keys) {
            uint64_t len;
            if (!get_varint(len)) return false;
            if (len == 0 || len > 16) {
                damage_ = "the recording holds a key of " + std::to_string(len) + " bytes";
                ended_ = true;
                return false;
            }
            k.clear();
            for (uint64_t i = 0; i < len; ++i) {
                uint8_t c;
                if (!get_byte(c)) return false;
                k.push_back(static_cast<char>(c));
            }
        }
        return true;
    }
    }
    damage_ = "the recording holds an unknown event";
    ended_ = true;
    return false;
}

RecordingSummary summarize_recording(RecordingReader& reader) {
    RecordingSummary s;
    Event e;
    int64_t begun = 0;
    std::map<std::string, size_t> index;
    bool any_time = false;
    while (reader.next(e)) {
        switch (e.kind) {
        case EventKind::BeginPass: ++begun; break;
        case EventKind::Time:
            if (!any_time) s.first_time = e.time;
            any_time = true;
            s.last_time = e.time;
            ++s.time_readings;
            break;
        case EventKind::Poll:
            ++s.polls;
            for (const std::string& k : e.keys) {
                ++s.keys_pressed;
                auto [it, fresh] = index.emplace(k, s.keys.size());
                if (fresh) s.keys.emplace_back(k, 0);
                ++s.keys[it->second].second;
            }
            break;
        case EventKind::EmptyPolls: s.polls += static_cast<int64_t>(e.count); break;
        case EventKind::Quit: s.ended_by_quit = true; break;
        case EventKind::End:
            s.ended = true;
            s.exit_status = e.status;
            break;
        }
        if (s.ended) break;
    }
    // The passes of a refused chunk are not played: the last pass before it
    // may be cut by it, as by any damaged chunk.
    begun = std::min(begun, reader.passes_before_refused_chunk());
    s.complete_passes = s.ended ? begun : std::max<int64_t>(0, begun - 1);
    s.damage = reader.damage();
    return s;
}

}  // namespace tlvx
