#pragma once
// Key scripts for headless runs, and the canonical text form of a key.
//
// A script has one key a line, `PASS KEY`: the key enters the key queue just
// before the key poll of pass PASS (the first pass is 1). KEY is
//   - a single printable character other than a blank: `y`, `+`, `\`, `#`;
//   - a name: space, esc, bksp, enter, tab, up, down, left, right, f1 .. f10
//     (names are matched without regard to case);
//   - `x:HH`, one byte in hex; several groups written together (`x:00x:47`)
//     give a key of several bytes, which is how key_name() writes any key it
//     has no other name for, so every traced key can be replayed.
// A line whose first character is `#` is a comment; blank lines are ignored;
// blanks and tabs around the two fields are allowed.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tlvx {

struct ScriptedKey {
    int64_t pass = 0;
    std::string key;  // the key text as the poll returns it
    bool operator==(const ScriptedKey&) const = default;
};

// A malformed script line. what() reads `key script line N: WHY`, or
// `key script "FILE" line N: WHY` when the file is known.
class KeyScriptError : public std::invalid_argument {
public:
    KeyScriptError(int line, const std::string& why, const std::string& file = {});
    int line() const { return line_; }
    const std::string& why() const { return why_; }

private:
    int line_;
    std::string why_;
};

std::vector<ScriptedKey> parse_key_script(const std::string& text);
// A script is read whole; one line a key, a real one is far smaller.
constexpr size_t kMaxKeyScriptBytes = 16u << 20;

// Reads and parses a script file: a regular file of at most
// kMaxKeyScriptBytes, or an unnamed pipe (`--keys <(...)`) that sends no more
// and ends; anything else (a missing file, a FIFO, a device, a folder) throws
// std::runtime_error naming it and why.
std::vector<ScriptedKey> read_key_script(const std::string& path);

// The key text of one KEY field, or an empty string if it is not a key.
std::string parse_key(const std::string& field);

// The canonical form of a polled key in a trace: empty for no key; a
// printable character other than blank, ',' and '"' as itself; space, esc,
// bksp, enter, tab, up, down, left, right, f1 .. f10 by name; any other key
// as the `x:HH` groups of all its bytes, upper-case hex, without separators
// (a comma is `x:2C`; the extended key byte 0 + "G" is `x:00x:47`).
std::string key_name(const std::string& key);

}  // namespace tlvx
