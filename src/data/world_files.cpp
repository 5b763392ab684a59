#include "data/world_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <type_traits>

#include "base/atomic_file.hpp"
#include "base/error.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"
#include "data/world_names.hpp"

namespace tlvx {

namespace {

constexpr int32_t kSaveSlot = 0;
constexpr int32_t kWorldSlot = 0;
constexpr int32_t kTileSlot = 6;
constexpr int32_t kObjectSlot = 0;

std::string save_file_of(const State& s) { return save_file_name(s.NM_S); }

// The save file's fields in the file's order, for `field(text)` or
// `field(number)`: the one list its reading and its two writers walk.
template <class Record, class Field>
void each_save_field(Record& r, Field&& field) {
    field(r.P1_S);
    field(r.from_x);
    field(r.from_y);
    field(r.D1);
    field(r.VX2);
    field(r.VY2);
    field(r.NM_S);
    field(r.C1_S);
    field(r.C2_S);
    field(r.C3_S);
    field(r.S);
    field(r.O);
    field(r.I);
    field(r.P);
}

template <class T>
constexpr bool kIsText = std::is_same_v<std::decay_t<T>, std::string>;

// mended: the character name becomes part of a file name. A name that would reach into
// another directory ("/" or "\" in it, "." or "..") or hold a NUL byte names
// no save file of the data directory: it cannot be created, like any save file
// that cannot be created, and nothing is written anywhere.
bool save_name_allowed(const std::string& name) { return plain_file_name(name); }

}  // namespace

std::string read_only_world_problem(const std::string& dir) {
    const std::string folder = dir.empty() ? "." : dir;
    const auto writable = [](const std::string& path, int mode) {
        return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
    };
    bool ok = writable(folder, W_OK | X_OK);
    // The names start-up gives the layers it writes (MG$, MGB$, MGC$) and the
    // save file it reads.
    for (const char* name : {kLayerNames[0], kLayerNames[1], kLayerNames[2], kSaveFileName}) {
        const std::string path = folder + "/" + name;
        if (ok && writable(path, F_OK)) ok = writable(path, W_OK);
    }
    return ok ? "" : "the world in \"" + dir + "\" is read-only: copy it to a folder you can write";
}

SaveRecord read_save_record(State& s) {
    stream_reopen(s, kSaveSlot, save_file_of(s), FileMode::TextInput);
    const int32_t f = stream_number(s, kSaveSlot);
    SaveRecord r;
    each_save_field(r, [&](auto& field) {
        if constexpr (kIsText<decltype(field)>) field = read_item_string(s, f);
        else field = read_item_number(s, f);
    });
    stream_close(s, kSaveSlot);
    return r;
}

void load_save_file(State& s) {
    const SaveRecord r = read_save_record(s);
    s.P1_S = r.P1_S;
    s.saved_from_x = r.from_x;
    s.saved_from_y = r.from_y;
    s.D1 = r.D1;    // kept: the stored facing is read, and the first pass overwrites it
    s.VX2 = r.VX2;  // kept: the second position pair replaces the first
    s.VY2 = r.VY2;
    s.NM_S = r.NM_S;
    s.C1_S = r.C1_S;
    s.C2_S = r.C2_S;
    s.C3_S = r.C3_S;
    s.S = r.S;
    s.O = r.O;
    s.I = r.I;
    s.P = r.P;
}

void write_save_file(State& s) {
    const std::string name = save_file_of(s);
    if (!save_name_allowed(s.NM_S)) throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"" + name + "\"");
    stream_reopen(s, kSaveSlot, name, FileMode::TextOutput);
    const int32_t f = stream_number(s, kSaveSlot);
    // Texts go out bare unless reading them back would cut or shift them; then
    // they are quoted, so every later field keeps its place.
    const SaveRecord r = save_record_of(s);
    each_save_field(r, [&](const auto& field) {
        if constexpr (kIsText<decltype(field)>) write_line_string(s, f, save_text_form(field));
        else write_line_number(s, f, field);
    });
    stream_close(s, kSaveSlot);  // the lines reach the file here, all or none
}

SaveRecord save_record_of(const State& s) {
    SaveRecord r;
    r.P1_S = s.P1_S;
    r.from_x = s.VX2;
    r.from_y = s.VY2;
    r.D1 = s.D1;
    r.VX2 = s.VX2;
    r.VY2 = s.VY2;
    r.NM_S = s.NM_S;
    r.C1_S = s.C1_S;
    r.C2_S = s.C2_S;
    r.C3_S = s.C3_S;
    r.S = s.S;
    r.O = s.O;
    r.I = s.I;
    r.P = s.P;
    return r;
}

std::string save_record_text(const SaveRecord& r) {
    std::string text;
    each_save_field(r, [&text](const auto& field) {
        if constexpr (kIsText<decltype(field)>) text += save_text_form(field) + "\r\n";
        else text += list_form(field) + "\r\n";
    });
    return text;
}

void write_save_record(const State& s, const SaveRecord& r, SaveSync sync) {
    const std::string name = save_file_name(r.NM_S);
    if (!save_name_allowed(r.NM_S)) throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"" + name + "\"");
    AtomicFile file;
    file.set_synced(sync == SaveSync::Durable);
    if (!file.open(resolve_path(s, name)) || !file.write(save_record_text(r)) || !file.commit()) {
        std::string cause = file.error();
        const size_t colon = cause.rfind(": ");
        if (colon != std::string::npos) cause = cause.substr(colon + 2);
        if (!cause.empty() && cause[0] >= 'A' && cause[0] <= 'Z') cause[0] = static_cast<char>(cause[0] - 'A' + 'a');
        throw RuntimeError(ERR_FILE_IO, "while writing \"" + name + "\" (" + cause + ")");
    }
}

namespace {

// The game's own second mark (SB, set from the clock reading by the pass's
// clock step): the saves read no clock of their own, so that a recording
// replays the same readings and a scripted run saves at the same passes.
double now_of(const State& s) { return s.SB; }

// Saves while playing are best effort: one that fails leaves the last one
// in place, and the quit's save reports a disk that refuses it.
void save_while_playing(State& s, const SaveRecord& r, bool durable) {
    const std::string text = save_record_text(r);
    try {
        write_save_record(s, r, durable ? SaveSync::Durable : SaveSync::PageCache);
    } catch (const RuntimeError&) {
        return;
    }
    s.saved_text = text;
    ++s.saves_written;
    if (durable) s.last_durable_save = now_of(s);
}

}  // namespace

void save_step(State& s, int32_t from_x, int32_t from_y) {
    SaveRecord r = save_record_of(s);
    r.from_x = from_x;
    r.from_y = from_y;
    save_while_playing(s, r, now_of(s) - s.last_durable_save >= 1.0);
}

void save_if_due(State& s) {
    if (now_of(s) - s.last_durable_save < 1.0) return;
    const SaveRecord r = save_record_of(s);
    if (save_record_text(r) == s.saved_text) return;
    save_while_playing(s, r, true);
}

void note_saved_state(State& s) {
    s.saved_text = save_record_text(save_record_of(s));
    s.last_durable_save = now_of(s);
}

void load_world_description(State& s) {
    stream_reopen(s, kWorldSlot, world_description_name(s.P1_S), FileMode::TextInput);
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

void read_world_tables(State& s, const LoadStep& step) {
    name_world_files(s);
    if (step("save file", [&] { load_save_file(s); })) step("world description", [&] { load_world_description(s); });
    // The picture size, the table sizes, the carried texts.
    s.SZ = 24;
    s.GZ = 256;
    s.M_S.fill("");
    s.M_TILE.fill(0);
    s.OBJ_M(0) = 1;
    s.C1_S = kStartCarriedTexts[0];
    s.C2_S = kStartCarriedTexts[1];
    s.C3_S = kStartCarriedTexts[2];
    step("tile table", [&] { load_tile_table(s); });
    step("object table", [&] { load_object_table(s); });
}

}  // namespace tlvx
