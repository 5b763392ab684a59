#include "ops.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <istream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace tlvx::bench {

namespace {

constexpr const char* kMagic = "tlvx-ops 1";

std::string to_hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string from_hex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw std::runtime_error("op list: odd hex text");
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The rest of the line after the fields read so far, without its leading blank.
std::string rest_of_line(std::istringstream& in) {
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return rest;
}

}  // namespace

const char* op_name(OpKind kind) {
    switch (kind) {
    case OpKind::Open: return "open";
    case OpKind::Read: return "read";
    case OpKind::Pread: return "pread";
    case OpKind::Pwrite: return "pwrite";
    case OpKind::Close: return "close";
    case OpKind::Fstat: return "fstat";
    case OpKind::Lseek: return "lseek";
    case OpKind::Fchmod: return "fchmod";
    case OpKind::Fsync: return "fsync";
    case OpKind::Rename: return "rename";
    }
    return "?";
}

void save_ops(const OpList& list, std::ostream& out) {
    out << kMagic << "\npasses " << list.passes << "\n";
    for (const OpenBefore& b : list.open_before) out << "before " << b.fd << " " << b.flags << " " << b.path << "\n";
    for (const Op& op : list.ops) {
        out << op_name(op.kind) << " " << op.fd;
        switch (op.kind) {
        case OpKind::Open: out << " " << op.flags << " " << op.path; break;
        case OpKind::Read: out << " " << op.count << " " << op.result; break;
        case OpKind::Pread: out << " " << op.count << " " << op.offset << " " << op.result; break;
        case OpKind::Pwrite: out << " " << op.offset << " " << op.result << " " << to_hex(op.bytes); break;
        case OpKind::Close:
        case OpKind::Fsync:
        case OpKind::Fstat: out << " " << op.result; break;
        case OpKind::Lseek: out << " " << op.offset << " " << op.flags << " " << op.result; break;
        case OpKind::Fchmod: out << " " << op.flags << " " << op.result; break;
        case OpKind::Rename: out << " " << op.result << " " << to_hex(op.path) << " " << to_hex(op.bytes); break;
        }
        out << "\n";
    }
}

OpList load_ops(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) || line != kMagic) throw std::runtime_error("op list: not a list of file operations");
    OpList list;
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream f(line);
        std::string word;
        f >> word;
        Op op;
        if (word == "passes") {
            f >> list.passes;
            continue;
        } else if (word == "before") {
            OpenBefore b;
            f >> b.fd >> b.flags;
            b.path = rest_of_line(f);
            list.open_before.push_back(b);
            continue;
        } else if (word == "open") {
            op.kind = OpKind::Open;
            f >> op.fd >> op.flags;
            op.result = op.fd;
            op.path = rest_of_line(f);
        } else if (word == "read") {
            op.kind = OpKind::Read;
            f >> op.fd >> op.count >> op.result;
        } else if (word == "pread") {
            op.kind = OpKind::Pread;
            f >> op.fd >> op.count >> op.offset >> op.result;
        } else if (word == "pwrite") {
            std::string hex;
            op.kind = OpKind::Pwrite;
            f >> op.fd >> op.offset >> op.result >> hex;
            op.bytes = from_hex(hex);
        } else if (word == "close" || word == "fstat" || word == "fsync") {
            op.kind = word == "close" ? OpKind::Close : word == "fstat" ? OpKind::Fstat : OpKind::Fsync;
            f >> op.fd >> op.result;
        } else if (word == "fchmod") {
            op.kind = OpKind::Fchmod;
            f >> op.fd >> op.flags >> op.result;
        } else if (word == "rename") {
            std::string from, to;
            op.kind = OpKind::Rename;
            f >> op.fd >> op.result >> from >> to;
            op.path = from_hex(from);
            op.bytes = from_hex(to);
        } else if (word == "lseek") {
            op.kind = OpKind::Lseek;
            f >> op.fd >> op.offset >> op.flags >> op.result;
        } else {
            throw std::runtime_error("op list line " + std::to_string(number) + ": unknown call \"" + word + "\"");
        }
        if (f.fail() || op.fd < 0 || op.fd > 65535)
            throw std::runtime_error("op list line " + std::to_string(number) + ": malformed");
        list.ops.push_back(op);
    }
    if (list.passes <= 0) throw std::runtime_error("op list: no pass count");
    return list;
}

Replayer::Replayer(const OpList& list) : ops_(list.ops) {
    uint64_t largest = 1;
    for (const Op& op : ops_) largest = std::max(largest, op.count);
    buf_.resize(largest);
    for (const Op& op : ops_) fd(op.fd);  // run() indexes the table without growing it
    for (const OpenBefore& b : list.open_before) {
        // The game's own descriptor stays where it is; ours is a second one on
        // the same file, opened the same way.
        int ours = ::open(b.path.c_str(), b.flags & ~(O_CREAT | O_TRUNC | O_EXCL));
        if (ours < 0) throw std::runtime_error("replay: cannot open \"" + b.path + "\"");
        fd(b.fd) = ours;
    }
}

Replayer::~Replayer() {
    for (int f : fds_)
        if (f >= 0) ::close(f);
}

int& Replayer::fd(int recorded) {
    if (static_cast<size_t>(recorded) >= fds_.size()) fds_.resize(static_cast<size_t>(recorded) + 1, -1);
    return fds_[static_cast<size_t>(recorded)];
}

void Replayer::check() {
    for (size_t i = 0; i < ops_.size(); ++i) {
        const Op& op = ops_[i];
        int64_t got = 0;
        switch (op.kind) {
        case OpKind::Open:
            got = ::open(op.path.c_str(), op.flags, 0600);
            fd(op.fd) = static_cast<int>(got);
            if (got >= 0) got = op.fd;
            break;
        case OpKind::Read: got = ::read(fd(op.fd), buf_.data(), op.count); break;
        case OpKind::Pread: got = ::pread(fd(op.fd), buf_.data(), op.count, op.offset); break;
        case OpKind::Pwrite: got = ::pwrite(fd(op.fd), op.bytes.data(), op.bytes.size(), op.offset); break;
        case OpKind::Close:
            got = ::close(fd(op.fd));
            fd(op.fd) = -1;
            break;
        case OpKind::Fstat: got = ::fstat(fd(op.fd), &st_); break;
        case OpKind::Lseek: got = ::lseek(fd(op.fd), op.offset, op.flags); break;
        case OpKind::Fchmod: got = ::fchmod(fd(op.fd), static_cast<mode_t>(op.flags)); break;
        case OpKind::Fsync: got = ::fsync(fd(op.fd)); break;
        case OpKind::Rename: got = ::rename(op.path.c_str(), op.bytes.c_str()); break;
        }
        if (got != op.result)
            throw std::runtime_error("replay: call " + std::to_string(i + 1) + " (" + op_name(op.kind) + ") returned " +
                                     std::to_string(got) + " instead of " + std::to_string(op.result));
    }
}

void Replayer::run() {
    // Results are not looked at: check() has shown that they match.
    int* fds = fds_.data();
    uint8_t* buf = buf_.data();
    for (const Op& op : ops_) {
        switch (op.kind) {
        case OpKind::Open: fds[op.fd] = ::open(op.path.c_str(), op.flags, 0600); break;
        case OpKind::Read: (void)!::read(fds[op.fd], buf, op.count); break;
        case OpKind::Pread: (void)!::pread(fds[op.fd], buf, op.count, op.offset); break;
        case OpKind::Pwrite: (void)!::pwrite(fds[op.fd], op.bytes.data(), op.bytes.size(), op.offset); break;
        case OpKind::Close: ::close(fds[op.fd]); break;
        case OpKind::Fstat: ::fstat(fds[op.fd], &st_); break;
        case OpKind::Lseek: ::lseek(fds[op.fd], op.offset, op.flags); break;
        case OpKind::Fchmod: ::fchmod(fds[op.fd], static_cast<mode_t>(op.flags)); break;
        case OpKind::Fsync: ::fsync(fds[op.fd]); break;
        case OpKind::Rename: ::rename(op.path.c_str(), op.bytes.c_str()); break;
        }
    }
}

}  // namespace tlvx::bench
