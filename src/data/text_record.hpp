#pragma once
// The text record encoding shared by every text data file: token reading,
// number parsing, line writing, and the text form of numbers.
#include <cstdint>
#include <string>
#include <string_view>

namespace tlvx {
struct State;

// Reads tokens from a text held in memory, from a position that advances.
class TextReader {
public:
    TextReader(std::string_view text, size_t& pos) : text_(text), pos_(pos) {}
    std::string read_string();
    int32_t read_number();

private:
    std::string read_token(bool number);
    void skip_separator();

    std::string_view text_;
    size_t& pos_;
};

constexpr size_t kMaxStringToken = 4096;
constexpr size_t kMaxNumberToken = 67;

// Parse a collected number token into a 32-bit value (never fails). A value
// outside 32 bits saturates to INT32_MIN or INT32_MAX; "&H", "&O", "&B" forms
// of up to 32 bits are two's complement patterns. Text that is no number
// ("inf" and "nan" included) gives 0.
int32_t parse_number_token(std::string_view token);

// " 5" for 5, " 0" for 0, "-12" for -12.
std::string number_text(int32_t v);
// The text form used for list membership: number_text(v) + " ".
std::string list_form(int32_t v);
// True when `list` contains list_form(v).
bool in_list(const std::string& list, int32_t v);

// Items read from the text input file open under `fileno` (missing items read
// as "" and 0).
std::string read_item_string(State& s, int32_t fileno);
int32_t read_item_number(State& s, int32_t fileno);
// The form in which a save file text reads back as itself: bare when it
// would, otherwise inside double quotes.
std::string save_text_form(const std::string& text);

// Lines written to the text output file open under `fileno`.
void write_line_string(State& s, int32_t fileno, const std::string& text);
void write_line_number(State& s, int32_t fileno, int32_t v);

}  // namespace tlvx
