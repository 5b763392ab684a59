#include "base/error.hpp"

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

std::string error_report(const RuntimeError& e) {
    std::string out = "\nAborting due to runtime error ";
    out += std::to_string(e.number());
    out += " (";
    out += error_text(e.number());
    out += ")";
    if (!e.place().empty()) {
        out += ' ';
        out += e.place();
    }
    out += "\n\n";
    return out;
}

}  // namespace tlvx

#include "base/checked.hpp"

namespace tlvx {

void throw_out_of_bounds(const char* table, int64_t index) {
    throw RuntimeError(ERR_OUT_OF_BOUNDS, std::string("indexing ") + table + " with " + std::to_string(index));
}

}  // namespace tlvx
