#pragma once
// Reading a world the way the game does, for the tools: the text files
// through the game's own loaders, the layer files read-only (a tool never
// creates or changes them).
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tlvx {
struct State;
}

namespace tlvx::world {

// A start-up step that failed, with the game's runtime error.
struct LoadFailure {
    std::string step;     // "palette file", "save file", ...
    std::string message;  // e.g. `runtime error 2 (file not found) while opening "tlvx_w05.pal"`
};

// Prepare `s` over `dir` as start-up does before it opens the layer files:
// the screen (no window), the palette file with the gradient, the save file,
// the world description, the tile table and the object table. Every step runs
// even when an earlier one failed (except the world description, which the
// save file names); the failures come back in order.
std::vector<LoadFailure> load_world_tables(State& s, const std::string& dir);

// The tools' reading of a world: a name from its files that leads out of the
// folder is not opened (State::names_stay_in_folder, set here).
//
// The first name the loaded tables of `s` hold that leads out of the world
// folder (data/stream.hpp name_leaves_folder): the world description the save
// file names, a picture of the tile or object table or a mask made from one,
// e.g. `the tile table names the picture "../outs.bmp" (ground value 3),
// outside the world folder`; "" when none.
std::string name_outside_folder(const State& s);

// The names in a world folder that the game reads, from the tables loaded
// into `s` (load_world_tables): the palette, the save file, the world
// description, the tile and object tables, the five layers, and every picture
// and mask the tables name, as the game opens them (a leading "./" dropped,
// both spellings of a name whose 12th character a draw rewrites, a name in a
// subfolder counted as that folder). A name leading out of the folder is not
// among them. Any other file of the folder is never read.
std::set<std::string> world_file_names(const State& s);

// One line for a world whose tables do not load: the first failure, and how
// many more there are.
std::string load_failure_message(const std::string& dir, const std::vector<LoadFailure>& failures);

// File offsets of the first and the last byte of one value; -1 when none.
struct ValuePlaces {
    int64_t first = -1, last = -1;
};

// One layer file, open for reading only. A missing file reads as empty,
// as the game's freshly created file would.
class LayerReader {
public:
    explicit LayerReader(const std::string& path);
    ~LayerReader();
    LayerReader(const LayerReader&) = delete;
    LayerReader& operator=(const LayerReader&) = delete;

    bool exists() const { return exists_; }
    int64_t size() const { return size_; }
    // The map size from the header (0 for bytes beyond the end).
    void header(int32_t& wx, int32_t& wy) const;
    // Bytes from 0-based offset `offset` into `out`; bytes beyond the end of
    // the file read as 0.
    void read(int64_t offset, uint8_t* out, size_t n) const;
    // Cells c0 .. c0 + n - 1 of row r in a map `wx` wide.
    void read_cells(int64_t wx, int64_t c0, int64_t r, uint8_t* out, size_t n) const;
    // Add the values of the bytes in [begin, end) to `counts`; holes of a
    // sparse file and bytes beyond its end count as 0 without being read.
    // With `ones`, also where the first and the last byte of value 1 are.
    void count_values(int64_t begin, int64_t end, uint64_t counts[256], ValuePlaces* ones = nullptr) const;

private:
    int fd_ = -1;
    bool exists_ = false;
    int64_t size_ = 0;
    std::string path_;
};

}  // namespace tlvx::world
