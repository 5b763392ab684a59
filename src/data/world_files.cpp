#include "data/world_files.hpp"

#include "base/error.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"

namespace tlvx {

namespace {

constexpr int32_t kSaveSlot = 0;
constexpr int32_t kWorldSlot = 0;
constexpr int32_t kTileSlot = 6;
constexpr int32_t kObjectSlot = 0;

std::string save_file_name(const State& s) { return s.NM_S + "_001.sav"; }

// mended: the character name becomes part of a file name. A name that would reach into
// another directory ("/" or "\" in it, "." or "..") or hold a NUL byte names
// no save file of the data directory: it cannot be created, like any save file
// that cannot be created, and nothing is written anywhere.
bool save_name_allowed(const std::string& name) {
    if (name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

void load_save_file(State& s) {
    stream_reopen(s, kSaveSlot, save_file_name(s), FileMode::TextInput);
    const int32_t f = stream_number(s, kSaveSlot);
    s.P1_S = read_item_string(s, f);
    s.VX2 = read_item_number(s, f);
    s.VY2 = read_item_number(s, f);
    s.D1 = read_item_number(s, f);   // kept: the stored facing is read, and the first pass overwrites it
    s.VX2 = read_item_number(s, f);  // kept: the second position pair replaces the first
    s.VY2 = read_item_number(s, f);
    s.NM_S = read_item_string(s, f);
    s.C1_S = read_item_string(s, f);
    s.C2_S = read_item_string(s, f);
    s.C3_S = read_item_string(s, f);
    s.S = read_item_number(s, f);
    s.O = read_item_number(s, f);
    s.I = read_item_number(s, f);
    s.P = read_item_number(s, f);
    stream_close(s, kSaveSlot);
}

void write_save_file(State& s) {
    const std::string name = save_file_name(s);
    if (!save_name_allowed(s.NM_S)) throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"" + name + "\"");
    stream_reopen(s, kSaveSlot, name, FileMode::TextOutput);
    const int32_t f = stream_number(s, kSaveSlot);
    // Texts go out bare unless reading them back would cut or shift them; then
    // they are quoted, so every later field keeps its place.
    write_line_string(s, f, save_text_form(s.P1_S));
    write_line_number(s, f, s.VX2);
    write_line_number(s, f, s.VY2);
    write_line_number(s, f, s.D1);
    write_line_number(s, f, s.VX2);
    write_line_number(s, f, s.VY2);
    write_line_string(s, f, save_text_form(s.NM_S));
    write_line_string(s, f, save_text_form(s.C1_S));
    write_line_string(s, f, save_text_form(s.C2_S));
    write_line_string(s, f, save_text_form(s.C3_S));
    write_line_number(s, f, s.S);
    write_line_number(s, f, s.O);
    write_line_number(s, f, s.I);
    write_line_number(s, f, s.P);
    stream_close(s, kSaveSlot);  // the lines reach the file here, all or none
}

void load_world_description(State& s) {
    stream_reopen(s, kWorldSlot, s.P1_S + ".txt", FileMode::TextInput);
    const int32_t f = stream_number(s, kWorldSlot);
    s.P2_S = read_item_string(s, f);
    s.P3_S = read_item_string(s, f);
    s.XX = read_item_number(s, f);
    s.YY = read_item_number(s, f);
    for (int32_t k = 1; k <= 4; ++k) s.CK_S(k) = read_item_string(s, f);
    s.RD_S = read_item_string(s, f);
    s.BM_S = read_item_string(s, f);
    stream_close(s, kWorldSlot);
    s.RD_S = " " + s.RD_S + " ";
}

void load_tile_table(State& s) {
    s.M_S.fill(std::string());
    s.M_TILE.fill(0);
    stream_reopen(s, kTileSlot, s.GM_S, FileMode::TextInput);
    const int32_t f = stream_number(s, kTileSlot);
    for (int32_t z = 1; z <= s.GZ; ++z) {
        s.M_S(z) = read_item_string(s, f);
        for (int32_t k = 1; k <= 4; ++k)
            if (read_item_number(s, f) == k) s.CK_S(k) += " " + std::to_string(z);
        s.M_TILE(z) = read_item_number(s, f);
    }
    for (int32_t k = 1; k <= 4; ++k) s.CK_S(k) += " ";
    stream_close(s, kTileSlot);
}

void load_object_table(State& s) {
    stream_reopen(s, kObjectSlot, s.OM_S, FileMode::TextInput);
    const int32_t f = stream_number(s, kObjectSlot);
    for (int32_t z = 1; z <= 255; ++z) {
        for (int32_t frame = 1; frame <= 4; ++frame) s.OBJ_S(z, frame) = read_item_string(s, f);
        s.OBJ(z) = read_item_number(s, f);
        s.OBJS(z) = read_item_number(s, f);
        s.OBJ_M(z) = read_item_number(s, f);
    }
    stream_close(s, kObjectSlot);
}

}  // namespace tlvx
