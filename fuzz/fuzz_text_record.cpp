// The text record reader on its own: any bytes, read as a mix of strings and
// numbers chosen by the first input byte, until the text is used up.
// Properties: every read moves forward and stays inside the text, tokens keep
// their length limits, reading past the end gives "" and 0 again and again,
// and a text written in its save form reads back as one whole line.
#include <algorithm>
#include <string>

#include "base/files.hpp"
#include "data/text_record.hpp"
#include "fuzz_support.hpp"

using namespace tlvx;
using tlvx::fuzz::check;

namespace {

std::string without_quotes(const std::string& t) {
    std::string out;
    for (char c : t)
        if (c != '"') out += c;
    return out;
}

// A read text written as a save file line must come back whole (a text with a
// double quote that needed quoting loses its double quotes), and the reader
// must stop exactly at the end of the line, so later fields keep their place.
void check_save_form(const std::string& text) {
    const std::string line = readable_text(save_text_form(text) + "\r\n");
    size_t pos = 0;
    TextReader r(line, pos);
    const std::string back = r.read_string();
    check(back == text || back == without_quotes(text), "a saved text reads back as itself");
    check(pos == line.size(), "a saved text is read as exactly one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t plan = data[0];
    const std::string text = readable_text(fuzz::as_text(data + 1, size - 1));
    check(text.find('\x1a') == std::string::npos, "the readable text ends before a byte 26");

    size_t pos = 0;
    TextReader r(text, pos);
    for (unsigned i = 0; pos < text.size(); ++i) {
        const size_t before = pos;
        if ((plan >> (i % 8)) & 1) {
            const std::string t = r.read_string();
            check(t.size() <= kMaxStringToken, "a string token keeps its maximum length");
            if (i < 4) check_save_form(t);
        } else {
            r.read_number();
        }
        check(pos > before && pos <= text.size(), "every read moves forward inside the text");
    }
    for (int i = 0; i < 2; ++i) {
        check(r.read_string().empty(), "a string past the end is empty");
        check(r.read_number() == 0, "a number past the end is 0");
    }
    check(pos == text.size(), "reading past the end stays at the end");

    // The number parser on a raw token, as long as a token can be.
    const int32_t v = parse_number_token(fuzz::as_text(data + 1, std::min(size - 1, kMaxNumberToken)));
    check(in_list(list_form(v), v), "a number is in its own list form");
    return 0;
}
