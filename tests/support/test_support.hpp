#pragma once
// Helpers shared by the tests: temporary data directories, file helpers, a
// fixture world writer and a fake platform with a settable clock.
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/platform.hpp"
#include "base/state.hpp"

namespace tlvx::test {

// False in a sanitizer build: the address sanitizer reserves terabytes of
// address space, so a child's RLIMIT_AS cannot stand for a memory budget there.
#if defined(__has_feature)
#define TLVX_TEST_ADDRESS_SANITIZER __has_feature(address_sanitizer)  // clang's way of saying it
#else
#define TLVX_TEST_ADDRESS_SANITIZER 0
#endif
#if defined(__SANITIZE_ADDRESS__) || TLVX_TEST_ADDRESS_SANITIZER
inline constexpr bool kAddressSpaceCanBeLimited = false;
#else
inline constexpr bool kAddressSpaceCanBeLimited = true;
#endif

// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// `s` in single quotes, for a shell's command line.
inline std::string sh_quote(const std::string& s) { return "'" + s + "'"; }
// The exit code in a wait status (of std::system, pclose or waitpid); -1 when the process did not exit.
int exit_code(int wait_status);
// The exit code of the shell command line `command` (exit_code).
int shell_status(const std::string& command);

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// The lines of the project's file `name` (README.md, share/tlvx.6 ...), without their ends.
std::vector<std::string> project_lines(const std::string& name);
// Replaces the project's file `name` with `lines`, each ended by a newline: the writers
// of the documents that come from a table (the keys, the tools).
void write_project_lines(const std::string& name, const std::vector<std::string>& lines);
// The names in a folder (none when it cannot be read). A world's lock file is
// left out: any program that writes a world leaves one, and it holds nothing
// of the world.
std::set<std::string> names_in(const std::string& dir);

// For a child process about to create a fault: takes away the capabilities
// that let root (or any holder) open files whatever their modes say, for this
// process and everything it executes, while it keeps its user. Returns ""
// when done, else what failed. `probe`, when given, is a file the caller made
// read-only: it must then refuse to open for writing, or the fault was not
// made and the text says so.
std::string drop_file_mode_override(const std::string& probe = "");

// A picture file in the short-block layout: a short image header (width * 8 + 1,
// height) followed by the rows.
std::string block_picture(int w, int h, const std::vector<uint8_t>& pixels);
std::string solid_picture(int w, int h, uint8_t index);

// A layer file: the 4-byte header, row 0, then rows 1..h of w cells.
std::string layer_bytes(int w, int h, const std::function<uint8_t(int c, int r)>& cell);

// A small playable world. Defaults: a 20 by 16 map of ground 1, the player at
// (10, 8), status display off, object 1 the player marker, object 2 a creature
// (OBJS 0: never moves), object 3 a tree (OBJ_M 0), object 4 a bridge (OBJ_M 1),
// object 5 a roof (OBJ_M 2), object 6 invisible (OBJ_M 3). Every picture is a
// solid 24x24 block file with a distinct colour; masks are all 0.
struct FixtureWorld {
    int w = 20, h = 16;
    std::string world = "Testland";  // P1$
    std::string name = "Pndx";       // NM$ in the save file
    int vx = 10, vy = 8;
    int32_t I = 0, O = 1, P = 0, S = 7;
    std::string road_list;  // item 9 of the world file (items 5 to 8 are empty)
    // Tile records 1..256: picture name and blocked directions (R1..R4).
    std::function<std::string(int z)> tile_name = [](int z) {
        return z <= 64 ? "tile" + std::to_string(z) + ".pic" : "";
    };
    std::function<int(int z, int k)> tile_block = [](int, int) { return 0; };
    struct Obj {
        std::string frames[4];
        int32_t size = 24, move = 0, mode = 1;
    };
    std::vector<Obj> objects;  // values 1..objects.size(); the rest have empty records
    std::function<uint8_t(int c, int r)> ground = [](int, int) { return 1; };
    std::function<uint8_t(int c, int r)> creatures;  // default: marker 1 under the player
    std::function<uint8_t(int c, int r)> structures = [](int, int) { return 0; };
    // Patterned pictures instead of solid blocks: ground tiles with a border,
    // objects as round sprites with exact masks (transparent corners).
    bool patterned = false;

    FixtureWorld();
    // Write every file into `dir`.
    void write(const std::string& dir) const;
};

// A platform with no window: a clock the test sets and keys the test queues.
class FakePlatform : public Platform {
public:
    double now = 1000.0;
    std::deque<std::string> pending;  // moved into the key queue at each poll
    void open_screen() override {}
    void close_screen() override {}
    void set_mouse(int, int, bool) override {}
    void poll(const Screen&, KeyQueue& keys, bool) override {
        while (!pending.empty()) {
            keys.push(pending.front());
            pending.pop_front();
        }
    }
    double time() override { return now; }
};

// A state over `dir` using `platform`.
void init_state(State& s, const std::string& dir, Platform& platform);

}  // namespace tlvx::test
