#include "data/stream.hpp"

#include "base/error.hpp"
#include "base/state.hpp"

namespace tlvx {

void stream_reopen(State& s, int32_t slot, const std::string& name, FileMode mode) {
    CSV_TYPE& record = s.CSV_STREAM(slot);
    // kept: this closes whichever file holds the number now, even one opened
    // through another slot (at quit, slot 0 closes the ground layer file).
    s.files.close(record.FILEMODE);
    record.FILEMODE = s.files.lowest_free();
    if (record.FILEMODE == 0)
        throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"" + name + "\": no free file number");
    s.files.put(record.FILEMODE, open_file(name, resolve_path(s, name), mode));
}

void stream_close(State& s, int32_t slot) { s.files.close(s.CSV_STREAM(slot).FILEMODE); }

int32_t stream_number(State& s, int32_t slot) { return s.CSV_STREAM(slot).FILEMODE; }

std::string resolve_path(const State& s, const std::string& name) {
    std::string path;
    resolve_path_into(s, name, path);
    return path;
}

void resolve_path_into(const State& s, std::string_view name, std::string& path) {
    auto separator = [](char c) { return c == '/' || c == '\\'; };
    while (name.size() >= 2 && name[0] == '.' && separator(name[1])) name.remove_prefix(2);
    path.assign(s.data_dir);
    path += '/';
    for (char c : name) path += c == '\\' ? '/' : c;
}

}  // namespace tlvx
