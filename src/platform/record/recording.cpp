#include "platform/record/recording.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>

#include "base/error.hpp"
#include "base/state.hpp"
#include "base/world_lock.hpp"
#include "data/world_files.hpp"

namespace tlvx {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'T', 'L', 'V', 'X', 'R', 'E', 'C', 0x1A};
constexpr size_t kHashBlock = 64 * 1024;
// A header or chunk larger than this is damage, not data.
constexpr uint32_t kMaxHeader = 16 * 1024 * 1024;
constexpr uint32_t kMaxChunk = 64 * 1024 * 1024;
constexpr uint64_t kMaxWorldCopy = 1024ull * 1024 * 1024;

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint64_t bits_of(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double double_of(uint64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

void put_varint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_u64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_string(std::string& out, const std::string& s) {
    put_varint(out, s.size());
    out += s;
}

uint32_t crc_of(const char* data, size_t n) {
    uLong c = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const uInt part = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        c = crc32(c, reinterpret_cast<const Bytef*>(data), part);
        data += part;
        n -= part;
    }
    return static_cast<uint32_t>(c);
}

// Reads fields from a byte buffer; every read checks the length first.
struct Cursor {
    const std::string& b;
    size_t at = 0;
    void need(size_t n) const {
        if (n > b.size() - at) throw RecordingError("the recording's header is cut short");
    }
    uint64_t varint() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            need(1);
            const auto c = static_cast<uint8_t>(b[at++]);
            v |= static_cast<uint64_t>(c & 0x7F) << shift;
            if (!(c & 0x80)) return v;
        }
        throw RecordingError("the recording's header holds a malformed number");
    }
    uint64_t u64() {
        need(8);
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(b[at++])) << (8 * i);
        return v;
    }
    std::string string() {
        const uint64_t n = varint();
        need(n);
        std::string s = b.substr(at, n);
        at += n;
        return s;
    }
};

uint32_t u32_of(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint64_t u64_of(const unsigned char* p) { return u32_of(p) | static_cast<uint64_t>(u32_of(p + 4)) << 32; }

bool read_exact(std::FILE* f, void* to, size_t n) { return n == 0 || std::fread(to, 1, n, f) == n; }

std::string pack_whole(const std::string& raw) {
    uLongf n = compressBound(static_cast<uLong>(raw.size()));
    std::string out(n, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        throw RecordingError("cannot compress the world copy");
    out.resize(n);
    return out;
}

}  // namespace

// --- World start state --------------------------------------------------------

bool hash_file(const std::string& path, int64_t& size, uint64_t& hash) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RecordingError("cannot read \"" + path + "\": " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) throw RecordingError("cannot read \"" + path + "\"");
    size = st.st_size;
    XXH3_state_t* state = XXH3_createState();
    if (!state) throw RecordingError("out of memory while hashing \"" + path + "\"");
    struct StateFree {
        XXH3_state_t* s;
        ~StateFree() { XXH3_freeState(s); }
    } state_free{state};
    XXH3_64bits_reset(state);
    std::vector<char> block(kHashBlock);
    std::fill(block.begin(), block.end(), 0);
    const uint64_t zero_block = XXH3_64bits(block.data(), kHashBlock);
    off_t pos = 0, next_data = 0;
    const off_t end = st.st_size;
    while (pos < end) {
        const size_t len = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(kHashBlock), end - pos));
        if (next_data <= pos) {
            next_data = ::lseek(fd, pos, SEEK_DATA);
            // No data after pos: the rest is a hole. No hole support: read everything.
            if (next_data < 0) next_data = errno == ENXIO ? end : pos;
        }
        uint64_t h;
        if (next_data >= pos + static_cast<off_t>(len)) {
            if (len == kHashBlock) {
                h = zero_block;
            } else {
                std::fill(block.begin(), block.end(), 0);
                h = XXH3_64bits(block.data(), len);
            }
        } else {
            size_t got = 0;
            while (got < len) {
                const ssize_t n = ::pread(fd, block.data() + got, len - got, pos + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw RecordingError("cannot read \"" + path + "\": the file changed or a read failed");
                got += static_cast<size_t>(n);
            }
            h = XXH3_64bits(block.data(), len);
        }
        XXH3_64bits_update(state, &h, sizeof h);
        pos += static_cast<off_t>(len);
    }
    const uint64_t n = static_cast<uint64_t>(size);
    XXH3_64bits_update(state, &n, sizeof n);
    hash = XXH3_64bits_digest(state);
    return true;
}

std::vector<StartFile> world_start_state(const std::string& data_dir) {
    std::vector<std::string> names = {"tlvx_w05.pal", "Pndx_001.sav"};
    // The world description is the one the save file names, read as the game reads it.
    {
        auto s = std::make_unique<State>();
        s->data_dir = data_dir;
        try {
            load_save_file(*s);
            names.push_back(s->P1_S + ".txt");
        } catch (const RuntimeError&) {
            // No readable save file: the game stops there too.
        }
    }
    for (const char* n : {"tlvx_w05.mem", "tlvx_w05.mom", "tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp",
                          "tlvx_gr4.tmp", "tlvx_gr5.tmp"})
        names.emplace_back(n);
    std::vector<StartFile> files;
    for (const std::string& n : names) {
        StartFile f;
        f.name = n;
        if (!hash_file((fs::path(data_dir) / n).string(), f.size, f.hash)) f.size = -1;
        files.push_back(f);
    }
    return files;
}

std::string first_world_difference(const std::vector<StartFile>& recorded, const std::string& data_dir) {
    for (const StartFile& want : recorded) {
        StartFile have;
        if (!hash_file((fs::path(data_dir) / want.name).string(), have.size, have.hash)) have.size = -1;
        if (want.size < 0 && have.size < 0) continue;
        if (want.size < 0) return want.name + " exists here but did not exist when the session was recorded";
        if (have.size < 0) return want.name + " is missing";
        if (have.size != want.size)
            return want.name + " has " + std::to_string(have.size) + " bytes, the recorded world had " +
                   std::to_string(want.size);
        if (have.hash != want.hash) return want.name + " has other contents than in the recorded world";
    }
    return {};
}

std::vector<EmbeddedFile> world_copy_files(const std::string& data_dir) {
    std::vector<fs::path> paths;
    int64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(data_dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec)) continue;
        if (name.rfind("tlvx-shot-", 0) == 0 || name.ends_with(".tlvxrec") || name.ends_with(".tmp~") ||
            name == kWorldLockName)
            continue;
        total += static_cast<int64_t>(it->file_size(ec));
        if (total > kWorldCopyLimit || paths.size() >= 4096) return {};
        paths.push_back(it->path());
    }
    if (ec) return {};
    std::sort(paths.begin(), paths.end());
    std::vector<EmbeddedFile> files;
    for (const fs::path& p : paths) {
        std::FILE* f = std::fopen(p.c_str(), "rb");
        if (!f) return {};
        EmbeddedFile e{p.filename().string(), {}};
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) e.bytes.append(buf, n);
        std::fclose(f);
        files.push_back(std::move(e));
    }
    return files;
}

void copy_file_sparse(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw RecordingError("cannot read \"" + from + "\": " + std::strerror(errno));
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    }
    struct Closer {
        int a, b;
        ~Closer() {
            ::close(a);
            ::close(b);
        }
    } closer{in, out};
    struct stat st {};
    if (::fstat(in, &st) != 0 || ::ftruncate(out, st.st_size) != 0)
        throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
    std::vector<char> buf(1 << 20);
    off_t pos = 0;
    while (pos < st.st_size) {
        off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;
            data = pos;
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) hole = st.st_size;
        for (off_t at = data; at < hole;) {
            const ssize_t n = ::pread(in, buf.data(), static_cast<size_t>(std::min<off_t>(hole - at, 1 << 20)), at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw RecordingError("cannot read \"" + from + "\"");
            if (::pwrite(out, buf.data(), static_cast<size_t>(n), at) != n)
                throw RecordingError("cannot write \"" + to + "\": " + std::strerror(errno));
            at += n;
        }
        pos = hole;
    }
}

// --- Writer -------------------------------------------------------------------

struct RecordingWriter::Deflater {
    z_stream z{};
    bool ready = false;
    ~Deflater() {
        if (ready) deflateEnd(&z);
    }
};

RecordingWriter::RecordingWriter(const std::string& path, const RecordingHeader& header,
                                 const std::vector<EmbeddedFile>& world_copy)
    : path_(path), z_(std::make_unique<Deflater>()) {
    if (deflateInit(&z_->z, 6) != Z_OK) throw RecordingError("cannot start compressing the recording");
    z_->ready = true;
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
        const std::string packed = pack_whole(raw);
        put_u64(out, raw.size());
        put_u64(out, packed.size());
        put_u32(out, crc_of(packed.data(), packed.size()));
        out += packed;
    }
    write_bytes(out.data(), out.size());
    if (std::fflush(file_) != 0) throw RecordingError("cannot write the recording \"" + path + "\"");
    last_flush_ns_ = now_ns();
    raw_.reserve(1 << 16);
}

RecordingWriter::~RecordingWriter() {
    if (file_) {
        // Not finished: keep what was recorded; a reader takes it as a session that did not end.
        try {
            flush();
        } catch (const RecordingError&) {}
        std::fclose(file_);
    }
}

void RecordingWriter::write_bytes(const void* data, size_t n) {
    if (std::fwrite(data, 1, n, file_) != n)
        throw RecordingError("cannot write the recording \"" + path_ + "\": " + std::strerror(errno));
    written_ += static_cast<int64_t>(n);
}

void RecordingWriter::put_empty_polls() {
    if (empty_polls_ == 0) return;
    raw_.push_back(static_cast<char>(EventKind::EmptyPolls));
    put_varint(raw_, empty_polls_);
    empty_polls_ = 0;
}

void RecordingWriter::begin_pass() {
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::BeginPass));
    flush_if_due();
}

void RecordingWriter::time(double reading) {
    put_empty_polls();
    const uint64_t b = bits_of(reading);
    raw_.push_back(static_cast<char>(EventKind::Time));
    put_varint(raw_, zigzag(static_cast<int64_t>(b - last_bits_)));
    last_bits_ = b;
}

void RecordingWriter::poll(const std::vector<std::string>& keys) {
    if (keys.empty()) {
        ++empty_polls_;
    } else {
        put_empty_polls();
        raw_.push_back(static_cast<char>(EventKind::Poll));
        put_varint(raw_, keys.size());
        for (const std::string& k : keys) put_string(raw_, k);
    }
    flush_if_due();
}

void RecordingWriter::quit() {
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::Quit));
}

void RecordingWriter::flush_if_due() {
    if (raw_.size() < (1u << 20) && now_ns() - last_flush_ns_ < flush_ns_) return;
    flush();
}

void RecordingWriter::flush() {
    if (!file_) return;
    put_empty_polls();
    last_flush_ns_ = now_ns();
    if (raw_.empty()) return;
    z_stream& z = z_->z;
    packed_.resize(deflateBound(&z, static_cast<uLong>(raw_.size())) + 64);
    z.next_in = reinterpret_cast<Bytef*>(raw_.data());
    z.avail_in = static_cast<uInt>(raw_.size());
    size_t out_len = 0;
    do {
        if (packed_.size() - out_len < 64) packed_.resize(packed_.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(packed_.data() + out_len);
        z.avail_out = static_cast<uInt>(packed_.size() - out_len);
        const int rc = deflate(&z, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw RecordingError("cannot compress the recording");
        out_len = packed_.size() - z.avail_out;
    } while (z.avail_out == 0 || z.avail_in > 0);
    std::string head = "CK";
    put_u32(head, static_cast<uint32_t>(out_len));
    put_u32(head, static_cast<uint32_t>(raw_.size()));
    put_u32(head, crc_of(packed_.data(), out_len));
    write_bytes(head.data(), head.size());
    write_bytes(packed_.data(), out_len);
    raw_.clear();
    // Into the kernel at once: a killed game still leaves this chunk in the file.
    if (std::fflush(file_) != 0) throw RecordingError("cannot write the recording \"" + path_ + "\"");
}

void RecordingWriter::finish(int32_t exit_status) {
    if (!file_) return;
    put_empty_polls();
    raw_.push_back(static_cast<char>(EventKind::End));
    put_varint(raw_, zigzag(exit_status));
    flush();
    const int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) throw RecordingError("cannot write the recording \"" + path_ + "\"");
}

// --- Reader -------------------------------------------------------------------

struct RecordingReader::Inflater {
    z_stream z{};
    bool ready = false;
    ~Inflater() {
        if (ready) inflateEnd(&z);
    }
};

RecordingReader::RecordingReader(const std::string& path) : name_(path), z_(std::make_unique<Inflater>()) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw RecordingError("cannot read the recording \"" + path + "\": " + std::strerror(errno));
    open_header();
}

RecordingReader::RecordingReader(std::FILE* file, const std::string& name)
    : file_(file), name_(name), z_(std::make_unique<Inflater>()) {
    open_header();
}

RecordingReader::~RecordingReader() {
    if (file_) std::fclose(file_);
}

void RecordingReader::open_header() {
    if (inflateInit(&z_->z) != Z_OK) throw RecordingError("cannot start reading the recording");
    z_->ready = true;
    unsigned char head[16];
    if (!read_exact(file_, head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
        throw RecordingError("\"" + name_ + "\" is not a tlvx recording");
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
    if (n > h.size()) throw RecordingError("the header of \"" + name_ + "\" is damaged");
    for (uint64_t i = 0; i < n; ++i) {
        StartFile f;
        f.name = c.string();
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
        if (!read_exact(file_, w, sizeof w)) throw RecordingError("\"" + name_ + "\" ends inside its world copy");
        const uint64_t packed = u64_of(w + 8);
        if (packed > kMaxWorldCopy || std::fseek(file_, static_cast<long>(packed), SEEK_CUR) != 0)
            throw RecordingError("the world copy in \"" + name_ + "\" is damaged");
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
    ok = ok && packed_len <= remaining() && raw_len <= kMaxWorldCopy && raw_len <= packed_len * 1032 + 64;
    if (ok) {
        packed.resize(packed_len);
        ok = read_exact(file_, packed.data(), packed_len) && crc_of(packed.data(), packed.size()) == u32_of(w + 16);
    }
    std::fseek(file_, back, SEEK_SET);
    std::string raw(ok ? raw_len : 0, '\0');
    uLongf got = static_cast<uLongf>(raw.size());
    if (!ok ||
        uncompress(reinterpret_cast<Bytef*>(raw.data()), &got, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        got != raw_len)
        throw RecordingError("the world copy in \"" + name_ + "\" is damaged");
    std::vector<EmbeddedFile> files;
    try {
        Cursor c{raw};
        const uint64_t n = c.varint();
        for (uint64_t i = 0; i < n; ++i) {
            EmbeddedFile f;
            f.name = c.string();
            f.bytes = c.string();
            if (f.name.empty() || f.name.find('/') != std::string::npos || f.name == "." || f.name == "..")
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
    if (packed_len > kMaxChunk || raw_len > kMaxChunk || raw_len > uint64_t{packed_len} * 1032 + 64)
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
    z_stream& z = z_->z;
    z.next_in = reinterpret_cast<Bytef*>(packed.data());
    z.avail_in = packed_len;
    z.next_out = reinterpret_cast<Bytef*>(raw_.data() + base);
    z.avail_out = raw_len;
    const int rc = raw_len == 0 && packed_len == 0 ? Z_OK : inflate(&z, Z_SYNC_FLUSH);
    if ((rc != Z_OK && rc != Z_BUF_ERROR) || z.avail_out != 0 || z.avail_in != 0) {
        raw_.resize(base);
        return stop("chunk " + std::to_string(chunk_) + " of the recording does not unpack");
    }
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
        return true;
    case EventKind::End:
        if (!get_varint(v)) return false;
        e.status = static_cast<int32_t>(unzigzag(v));
        return true;
    case EventKind::Poll: {
        if (!get_varint(v)) return false;
        if (v == 0 || v > 1024) break;
        e.keys.resize(v);
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
    s.complete_passes = s.ended ? begun : std::max<int64_t>(0, begun - 1);
    s.damage = reader.damage();
    return s;
}

}  // namespace tlvx
