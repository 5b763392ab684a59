#include "data/stream.hpp"

#include "base/error.hpp"
#include "base/state.hpp"

namespace tlvx {

void stream_reopen(State& s, int32_t slot, const std::string& name, FileMode mode) {
    CSV_TYPE& record = s.CSV_STREAM(slot);
    // kept: this closes whichever file holds the number now, even one opened
    // through another slot (at quit, slot 0 closes the ground layer file).
    s.files.close(record.FILEMODE);
    if (s.names_stay_in_folder && name_leaves_folder(name))
        throw RuntimeError(ERR_FILE_NOT_FOUND, outside_folder_place("while opening", name));
    record.FILEMODE = s.files.lowest_free();
    if (record.FILEMODE == 0)
        throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"" + name + "\": no free file number");
    s.files.put(record.FILEMODE, open_file(name, resolve_path(s, name), mode));
}

void stream_close(State& s, int32_t slot) { s.files.close(s.CSV_STREAM(slot).FILEMODE); }

int32_t stream_number(State& s, int32_t slot) { return s.CSV_STREAM(slot).FILEMODE; }

bool plain_file_name(std::string_view name) {
    if (name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool name_leaves_folder(std::string_view name) {
    auto separator = [](char c) { return c == '/' || c == '\\'; };
    while (name.size() >= 2 && name[0] == '.' && separator(name[1])) name.remove_prefix(2);
    if (!name.empty() && separator(name[0])) return true;
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.size() >= 2 && letter(name[0]) && name[1] == ':') return true;
    for (size_t start = 0; start <= name.size();) {
        size_t end = start;
        while (end < name.size() && !separator(name[end])) ++end;
        if (name.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

std::string outside_folder_place(const char* what, const std::string& name) {
    return std::string(what) + " \"" + name + "\": the name leads out of the world folder";
}

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
