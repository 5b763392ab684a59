// Every data file loader over the text record reader. The first input byte
// picks the file, the rest is its contents; the other files of the world are
// valid and fixed. Loading a regular file never fails, whatever it holds; a
// save file written at quit reads back to the values it was written from.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/world_files.hpp"
#include "data/world_names.hpp"
#include "display/status.hpp"
#include "fuzz_support.hpp"

using namespace tlvx;
using tlvx::fuzz::check;

namespace {

const char* const kSave = kSaveFileName;
const char* const kWorldFile = "w.txt";

template <class F>
void must_load(F&& load, const char* what) {
    try {
        load();
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s: %s\n", what, e.what());
        check(false, "loading an existing regular file never fails");
    }
}

bool same_text(const std::string& written, const std::string& read) {
    if (written == read) return true;
    std::string plain;
    for (char c : written)
        if (c != '"') plain += c;
    return plain == read;  // a text that needed quotes loses its double quotes
}

void save_round_trip(std::string_view contents) {
    fuzz::put_file(kSave, contents);
    State& s = fuzz::fresh_state(0);
    must_load([&] { load_save_file(s); }, "save file");
    try {
        write_save_file(s);
    } catch (const RuntimeError& e) {
        // A name that names no file of the data directory cannot be
        // created; one the system refuses (too long) cannot be written.
        const bool refused = e.number() == ERR_FILE_NOT_FOUND || e.number() == ERR_FILE_IO;
        if (!refused) std::fprintf(stderr, "save file: %d %s\n", e.number(), e.what());
        check(refused, "a save file is refused only as not creatable or not writable");
        return;
    }
    State& back = fuzz::fresh_state(1);
    back.NM_S = s.NM_S;
    must_load([&] { load_save_file(back); }, "written save file");
    check(same_text(s.P1_S, back.P1_S) && same_text(s.NM_S, back.NM_S), "texts survive the save");
    check(same_text(s.C1_S, back.C1_S) && same_text(s.C2_S, back.C2_S) && same_text(s.C3_S, back.C3_S),
          "carried texts survive the save");
    check(s.VX2 == back.VX2 && s.VY2 == back.VY2 && s.D1 == back.D1, "position and facing survive the save");
    check(s.S == back.S && s.O == back.O && s.I == back.I && s.P == back.P, "numbers survive the save");
    ::unlink((fuzz::scratch_dir() + "/" + save_file_name(s.NM_S)).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view contents = fuzz::as_text(data + 1, size - 1);
    State& s = fuzz::fresh_state();
    switch (data[0] % 5) {
    case 0: save_round_trip(contents); break;
    case 1:
        fuzz::put_file(kWorldFile, contents);
        s.P1_S = "w";
        must_load([&] { load_world_description(s); }, "world description");
        check(s.RD_S.size() >= 2 && s.RD_S.front() == ' ' && s.RD_S.back() == ' ', "the road list is framed by blanks");
        break;
    case 2:
        fuzz::put_file(kTileTableName, contents);
        must_load([&] { load_tile_table(s); }, "tile table");
        for (int32_t k = 1; k <= 4; ++k) check(!s.CK_S(k).empty() && s.CK_S(k).back() == ' ', "lists end in a blank");
        break;
    case 3:
        fuzz::put_file(kObjectTableName, contents);
        must_load([&] { load_object_table(s); }, "object table");
        break;
    default:
        fuzz::put_file(kPaletteFileName, contents);
        must_load([&] { load_palette_file(s); }, "palette file");
        break;
    }
    check(s.files.open_count() == 0, "a loader closes its file");
    return 0;
}
