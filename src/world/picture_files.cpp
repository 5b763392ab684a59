#include "world/picture_files.hpp"

#include <filesystem>
#include <stdexcept>

namespace tlvx::world {

namespace {

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::string encode_block_picture(const Picture& p) {
    std::string data;
    put16(data, static_cast<uint32_t>(p.w * 8 + 1));
    put16(data, static_cast<uint32_t>(p.h));
    data.append(reinterpret_cast<const char*>(p.px.data()), p.px.size());
    if (data.size() > 0xFFFF) throw std::invalid_argument("picture too large for the short-block layout");
    std::string file;
    file += static_cast<char>(253);
    file += std::string(4, '\0');
    put16(file, static_cast<uint32_t>(data.size()));
    return file + data;
}

std::string encode_bmp8(const Picture& p, const std::array<Rgb, 256>& table) {
    const uint32_t row_bytes = (static_cast<uint32_t>(p.w) + 3u) & ~3u;
    const uint32_t offset = 14 + 40 + 256 * 4;
    const uint32_t image_size = row_bytes * static_cast<uint32_t>(p.h);
    std::string out;
    out += "BM";
    put32(out, offset + image_size);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(p.w));
    put32(out, static_cast<uint32_t>(p.h));
    put16(out, 1);  // planes
    put16(out, 8);  // bits per pixel
    put32(out, 0);  // no compression
    put32(out, image_size);
    put32(out, 2835);  // 72 dpi, both ways
    put32(out, 2835);
    put32(out, 256);
    put32(out, 0);
    for (const Rgb& c : table) {
        out += static_cast<char>(c.b);
        out += static_cast<char>(c.g);
        out += static_cast<char>(c.r);
        out += '\0';
    }
    for (int y = p.h - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(&p.px[static_cast<size_t>(y * p.w)]), static_cast<size_t>(p.w));
        out.append(row_bytes - static_cast<uint32_t>(p.w), '\0');
    }
    return out;
}

ToolFile::ToolFile(const std::string& path) : own_(std::make_unique<AtomicFile>()), file_(own_.get()) {
    check(file_->open(path));
}

void ToolFile::commit() {
    if (!own_) throw std::logic_error("a file of a staged set goes into place with the set: " + path());
    check(file_->commit());
}

void write_file_bytes(const std::string& path, const std::string& bytes) {
    ToolFile out(path);
    out.write(bytes);
    out.commit();
}

bool path_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string crlf(const std::string& line) { return line + "\r\n"; }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace tlvx::world
