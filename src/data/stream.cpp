#include "data/stream.hpp"

#include "shell/error.hpp"
#include "shell/state.hpp"

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
    std::string rel = name;
    for (char& c : rel)
        if (c == '\\') c = '/';
    while (rel.size() >= 2 && rel[0] == '.' && rel[1] == '/') rel.erase(0, 2);
    return s.data_dir + "/" + rel;
}

}  // namespace tlvx
