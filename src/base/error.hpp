#pragma once
// The one failure type of the program: a runtime error with its number and the
// place where it happened. Only `main` prints the report (error_report below);
// tools describe it in their own messages (describe below).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tlvx {

enum ErrorNumber : int32_t {
    ERR_ILLEGAL_FUNCTION_CALL = 1,
    ERR_FILE_NOT_FOUND = 2,
    ERR_FILE_IO = 3,
    ERR_OUT_OF_MEMORY = 4,
    ERR_OUT_OF_BOUNDS = 6,
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int32_t number, std::string place)
        : std::runtime_error(place), number_(number), place_(std::move(place)) {}
    int32_t number() const { return number_; }
    const std::string& place() const { return place_; }

private:
    int32_t number_;
    std::string place_;
};

// The text of an error number, e.g. "file not found" for 2.
const char* error_text(int32_t number);

// "runtime error N (text) PLACE" (without PLACE when it is empty), PLACE with
// its control characters escaped (printable.hpp).
std::string describe(const RuntimeError& e);

// The whole report as it goes to standard error: an empty line,
// "Aborting due to runtime error N (text) PLACE", an empty line.
std::string error_report(const RuntimeError& e);

}  // namespace tlvx
