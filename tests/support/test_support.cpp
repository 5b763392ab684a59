#include "support/test_support.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/world_lock.hpp"
#include "data/layer.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"

namespace tlvx::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tlvx-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string drop_file_mode_override(const std::string& probe) {
    const int caps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};
    // The bounding set first: a process of user 0 gets every capability of
    // it back when it executes a program. Dropping needs CAP_SETPCAP; a
    // process without it that is not user 0 gets nothing back anyway.
    for (int c : caps)
        if (prctl(PR_CAPBSET_READ, c, 0, 0, 0) == 1 && prctl(PR_CAPBSET_DROP, c, 0, 0, 0) != 0 && geteuid() == 0)
            return "cannot drop capability " + std::to_string(c) + " from the bounding set: " + std::strerror(errno);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);  // fails only where there are none
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return std::string("cannot read the process capabilities: ") + std::strerror(errno);
    for (int c : caps) {
        const uint32_t bit = 1u << (c % 32);
        __user_cap_data_struct& d = data[c / 32];
        d.effective &= ~bit;
        d.permitted &= ~bit;
        d.inheritable &= ~bit;
    }
    if (syscall(SYS_capset, &header, data) != 0)
        return std::string("cannot change the process capabilities: ") + std::strerror(errno);
    if (probe.empty()) return "";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return probe + " can still be opened for writing: the read-only fault cannot be made here";
    }
    if (errno != EACCES) return "probing " + probe + ": " + std::strerror(errno);
    return "";
}

int exit_code(int wait_status) { return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1; }

int shell_status(const std::string& command) { return exit_code(std::system(command.c_str())); }

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw std::runtime_error("cannot write " + path);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> project_lines(const std::string& name) {
    std::istringstream in(read_file(std::string(TLVX_TESTS_DIR) + "/../" + name));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void write_project_lines(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = std::string(TLVX_TESTS_DIR) + "/../" + name;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    write_file(path + ".new", text);
    if (std::rename((path + ".new").c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace " + path);
}

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename() != kWorldLockName) names.insert(it->path().filename().string());
    return names;
}

// `v` as two bytes, low first.
static std::string word16(size_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

std::string block_picture(int w, int h, const std::vector<uint8_t>& pixels) {
    const std::string data = word16(static_cast<size_t>(w * 8 + 1)) + word16(static_cast<size_t>(h)) +
                             std::string(pixels.begin(), pixels.end());
    return static_cast<char>(253) + std::string(4, '\0') + word16(data.size()) + data;
}

std::string solid_picture(int w, int h, uint8_t index) {
    return block_picture(w, h, std::vector<uint8_t>(static_cast<size_t>(w * h), index));
}

std::string layer_bytes(int w, int h, const std::function<uint8_t(int c, int r)>& cell) {
    const std::array<uint8_t, 4> header = layer_header(w, h);
    std::string out(header.begin(), header.end());
    out += std::string(static_cast<size_t>(w), '\0');  // row 0, never used
    for (int r = 1; r <= h; ++r)
        for (int c = 1; c <= w; ++c) out += static_cast<char>(cell ? cell(c, r) : 0);
    return out;
}

FixtureWorld::FixtureWorld() {
    for (auto [stem, mode] : {std::pair{"hero", 1}, {"crit", 1}, {"tree", 0}, {"brdg", 1}, {"roof", 2}, {"mark", 3}}) {
        Obj& o = objects.emplace_back();
        for (int f = 0; f < 4; ++f) o.frames[f] = stem + std::to_string(f + 1) + ".pic";
        o.mode = mode;
    }
}

// Drawing reads a picture from the name with "v" as its 12th character.
static std::string drawn_name(std::string n) {
    if (n.size() >= 12) n[11] = 'v';
    return n;
}

// `lines` into `path`, each ended by CR LF as in the world's text files.
static void write_lines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    write_file(path, text);
}

void FixtureWorld::write(const std::string& dir) const {
    std::vector<std::string> pal;  // entries 175..255, a grey ramp
    for (int i = 175; i <= 255; ++i) {
        const std::string v = std::to_string((i - 175) * 63 / 80);
        pal.push_back(v + "," + v + "," + v);
    }
    write_lines(dir + "/" + kPaletteFileName, pal);

    auto num = [](int32_t v) { return " " + std::to_string(v) + " "; };
    const std::vector<std::string> save = {world, num(vx), num(vy), num(1), num(vx), num(vy), name,
                                           "001", "002",   "003",   num(S), num(O),  num(I),  num(P)};
    write_lines(dir + "/" + save_file_name(name), save);
    if (name != kCharacterName) write_lines(dir + "/" + kSaveFileName, save);

    auto quoted = [](const std::string& t) { return "\"" + t + "\""; };
    write_lines(dir + "/" + world_description_name(world),
                {quoted(world + " World"), quoted("unused"), "0", "0", quoted(""), quoted(""), quoted(""), quoted(""),
                 quoted(road_list), quoted("")});

    std::vector<std::string> mem;
    for (int z = 1; z <= 256; ++z) {
        std::string line = quoted(tile_name(z));
        for (int k = 1; k <= 4; ++k) line += "," + std::to_string(tile_block(z, k));
        mem.push_back(line + "," + std::to_string(z % 256));
    }
    write_lines(dir + "/" + kTileTableName, mem);

    std::vector<std::string> mom(255, "\"\",\"\",\"\",\"\",0,0,0");  // values 1..255, empty past the objects
    for (size_t z = 1; z <= std::min<size_t>(objects.size(), 255); ++z) {
        const Obj& o = objects[z - 1];
        std::string line;
        for (int f = 0; f < 4; ++f) line += quoted(o.frames[f]) + ",";
        mom[z - 1] = line + std::to_string(o.size) + "," + std::to_string(o.move) + "," + std::to_string(o.mode);
    }
    write_lines(dir + "/" + kObjectTableName, mom);

    // Pictures: ground tiles get colour 16 + z; objects colour 100 + value, masks 0.
    for (int z = 1; z <= 64; ++z) {
        std::string n = tile_name(z);
        if (n.empty()) continue;
        std::vector<uint8_t> px(24 * 24, static_cast<uint8_t>(16 + z));
        if (patterned)
            for (int i = 0; i < 24; ++i) {
                px[static_cast<size_t>(i)] = 8;            // top border
                px[static_cast<size_t>(i * 24)] = 8;       // left border
                px[static_cast<size_t>(i * 24 + i)] = 15;  // diagonal
            }
        write_file(dir + "/" + drawn_name(n), block_picture(24, 24, px));
    }
    for (size_t z = 1; z <= objects.size(); ++z) {
        for (int f = 0; f < 4; ++f) {
            const std::string& n = objects[z - 1].frames[f];
            if (n.empty()) continue;
            int size = objects[z - 1].size > 0 ? objects[z - 1].size : 24;
            uint8_t colour = static_cast<uint8_t>(100 + z * 4 + static_cast<size_t>(f));
            std::vector<uint8_t> pic(static_cast<size_t>(size * size), colour), mask(pic.size(), 0);
            if (patterned) {
                // A disc whose radius grows with the frame, so animation shows.
                double rad = size / 2.0 - 3 + f, c = (size - 1) / 2.0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x) {
                        bool in = (x - c) * (x - c) + (y - c) * (y - c) <= rad * rad;
                        pic[static_cast<size_t>(y * size + x)] = in ? colour : 0;
                        mask[static_cast<size_t>(y * size + x)] = in ? 0 : 255;
                    }
            }
            write_file(dir + "/" + drawn_name(n), block_picture(size, size, pic));
            std::string m = n.substr(0, 4) + "-" + (n.size() > 7 ? n.substr(n.size() - 7) : n);
            write_file(dir + "/" + drawn_name(m), block_picture(size, size, mask));
        }
    }

    auto cre = creatures;
    int px = vx, py = vy;
    if (!cre) cre = [px, py](int c, int r) { return static_cast<uint8_t>(c == px && r == py ? 1 : 0); };
    const std::function<uint8_t(int, int)> layers[] = {ground, cre, structures, nullptr, nullptr};
    for (int k = 0; k < 5; ++k) write_file(dir + "/" + kLayerNames[k], layer_bytes(w, h, layers[k]));
}

void init_state(State& s, const std::string& dir, Platform& platform) {
    s.data_dir = dir;
    s.platform = &platform;
    name_world_files(s);
}

}  // namespace tlvx::test
