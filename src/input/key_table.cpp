#include "input/key_table.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace tlvx {

namespace {

// The rows stand in the order of their names, so a name finds its row at once.
constexpr bool rows_in_name_order() {
    for (size_t i = 0; i < std::size(kKeyRows); ++i)
        if (static_cast<size_t>(kKeyRows[i].name) != i) return false;
    return std::size(kKeyRows) == static_cast<size_t>(KeyName::PadQuit) + 1;
}
static_assert(rows_in_name_order(), "one row for each KeyName, in the order of the names");

}  // namespace

std::span<const KeyRow> key_rows() { return kKeyRows; }

const KeyRow& key_row(KeyName name) { return kKeyRows[static_cast<size_t>(name)]; }

bool key_matches(const KeyRow& row, std::string_view key, std::string_view cc) {
    if (!row.set.empty() && row.set.find(cc) != std::string_view::npos) return true;
    return std::any_of(row.texts.begin(), row.texts.end(), [&](std::string_view t) { return !t.empty() && t == key; });
}

const KeyRow* window_row(PhysicalKey key, bool alt) {
    if (key == PhysicalKey::Other) return nullptr;
    for (const KeyRow& row : kKeyRows) {
        if (row.source != KeySource::Window || (row.chord.alt && !alt)) continue;
        if (row.chord.key == key || row.chord.also == key) return &row;
    }
    return nullptr;
}

std::string_view key_text(const KeyRow& row) {
    for (std::string_view t : row.texts)
        if (!t.empty()) return t;
    const size_t first = row.set.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return row.set.substr(first, row.set.find(' ', first) - first);
}

}  // namespace tlvx
