#include "base/error.hpp"

#include "base/printable.hpp"

namespace tlvx {

const char* error_text(int32_t number) {
    switch (number) {
    case ERR_ILLEGAL_FUNCTION_CALL: return "illegal function call";
    case ERR_FILE_NOT_FOUND: return "file not found";
    case ERR_FILE_IO: return "file I/O error";
    case ERR_OUT_OF_MEMORY: return "out of memory";
    case ERR_OUT_OF_BOUNDS: return "out of bounds array access";
    default: return "unknown error";
    }
}

std::string describe(const RuntimeError& e) {
    std::string text = "runtime error " + std::to_string(e.number()) + " (" + error_text(e.number()) + ")";
    // mended: the place quotes names from the world's files (a picture, a
    // table); they go out through printable(), so that a name holding ESC, BEL
    // or NUL can neither retitle nor clear the user's terminal. The words are
    // printable already and stay as they are.
    if (!e.place().empty()) text += " " + printable(e.place());
    return text;
}

std::string error_report(const RuntimeError& e) { return "\nAborting due to " + describe(e) + "\n\n"; }

}  // namespace tlvx

#include "base/checked.hpp"

namespace tlvx {

void throw_out_of_bounds(const char* table, int64_t index) {
    throw RuntimeError(ERR_OUT_OF_BOUNDS, std::string("indexing ") + table + " with " + std::to_string(index));
}

}  // namespace tlvx
