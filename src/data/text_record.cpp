#include "data/text_record.hpp"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "base/rounding.hpp"
#include "base/state.hpp"

namespace tlvx {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int32_t saturate(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Digits of `base` from the start of `t` up to the first non-digit. Up to 32
// bits are taken as a two's complement pattern (&HFFFFFFFF is -1, as such
// constants are usually meant); more significant bits than that saturate to
// INT32_MAX instead of wrapping to an arbitrary value.
int32_t parse_based(std::string_view t, int base) {
    uint64_t v = 0;
    for (char c : t) {
        int d = digit_value(c);
        if (d >= base) break;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > UINT32_MAX) return INT32_MAX;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// An optional sign and decimal digits up to the first non-digit. A value
// outside 32 bits saturates to INT32_MIN or INT32_MAX rather than wrapping (mended).
int32_t parse_decimal(std::string_view t) {
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int64_t v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > int64_t{INT32_MAX} + 1) v = int64_t{INT32_MAX} + 1;
    }
    return saturate(negative ? -v : v);
}

// The longest decimal floating-point number at the start of `t` (sign, digits,
// point, digits, exponent), rounded half to even. Only this plain decimal form
// is accepted: words such as "inf" or "nan" and hexadecimal floats are no
// number and give 0; an exponent too large for a double saturates like any
// other value outside 32 bits.
int32_t parse_real(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++digits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++digits;
    if (digits == 0) return 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        if (j < t.size() && t[j] >= '0' && t[j] <= '9') {
            while (j < t.size() && t[j] >= '0' && t[j] <= '9') ++j;
            i = j;
        }
    }
    std::string plain(t.substr(0, i));
    return round_half_even(std::strtod(plain.c_str(), nullptr));
}

}  // namespace

std::string TextReader::read_string() { return read_token(false); }

int32_t TextReader::read_number() { return parse_number_token(read_token(true)); }

// After a closed quoted string, a number ended by a blank or a token cut at its
// maximum length: blanks, then one separator (comma, LF, CR with its LF).
void TextReader::skip_separator() {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    if (c == ',' || c == '\n') {
        ++pos_;
    } else if (c == '\r') {
        ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    }
}

std::string TextReader::read_token(bool number) {
    const size_t max = number ? kMaxNumberToken : kMaxStringToken;
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    std::string token;
    bool quoted = pos_ < text_.size() && text_[pos_] == '"';
    if (quoted) ++pos_;
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (quoted && c == '"') {
            ++pos_;
            quoted = false;
            if (!number) {
                skip_separator();
                return token;
            }
            continue;  // a number token reads on after its closing quote
        }
        if (!quoted) {
            if (c == ',' || c == '\n') {
                ++pos_;
                return token;
            }
            if (c == '\r') {
                ++pos_;
                if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
                return token;
            }
            if (number && is_blank(c)) {
                skip_separator();
                return token;
            }
        }
        // The token ends at its maximum length only when one more character
        // would exceed it, so a token of exactly the maximum ends like any other.
        if (token.size() == max) {
            skip_separator();
            return token;
        }
        token += c;
        ++pos_;
    }
    return token;
}

int32_t parse_number_token(std::string_view token) {
    // d/D stand for e/E and, like "." and e/E, make the token a real number;
    // after an "&" they are digits of a base.
    std::string t(token);
    bool real = false;
    for (char& c : t) {
        if (c == '&') break;
        if (c == 'd') c = 'e';
        if (c == 'D') c = 'E';
        if (c == '.' || c == 'e' || c == 'E') real = true;
    }
    std::string_view v(t);
    while (!v.empty() && is_blank(v.front())) v.remove_prefix(1);
    if (real) return parse_real(v);
    if (!v.empty() && v.front() == '&') {
        if (v.size() < 2) return 0;
        switch (v[1]) {
        case 'H':
        case 'h': return parse_based(v.substr(2), 16);
        case 'O':
        case 'o': return parse_based(v.substr(2), 8);
        case 'B':
        case 'b': return parse_based(v.substr(2), 2);
        default: return parse_based(v.substr(1), 8);
        }
    }
    return parse_decimal(v);
}

std::string number_text(int32_t v) {
    if (v < 0) return std::to_string(v);
    return " " + std::to_string(v);
}

std::string list_form(int32_t v) { return number_text(v) + " "; }

// kept: a number at the very start of a list has no blank before it and is not found.
bool in_list(const std::string& list, int32_t v) { return list.find(list_form(v)) != std::string::npos; }

std::string save_text_form(const std::string& text) {
    auto needs_quotes = [](const std::string& t) {
        if (t.empty()) return false;
        if (is_blank(t.front()) || t.front() == '"') return true;
        return t.find_first_of(",\r\n") != std::string::npos;
    };
    if (!needs_quotes(text)) return text;
    // mended: texts that would not read back are quoted (save_text_form).
    // A quoted part cannot hold a double quote. Such a text loses its double
    // quotes: the text changes, but every later field keeps its place.
    std::string t;
    for (char c : text)
        if (c != '"') t += c;
    if (!needs_quotes(t)) return t;
    // Reading delivers a CR LF pair as LF, so a CR LF inside the text is
    // written with one more CR before it and reads back as CR LF.
    std::string q = "\"";
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') q += '\r';
        q += t[i];
    }
    return q + "\"";
}

std::string read_item_string(State& s, int32_t fileno) {
    OpenFile& f = s.files.get(fileno, "reading an item from");
    if (f.mode != FileMode::TextInput) return {};
    return TextReader(f.text, f.pos).read_string();
}

int32_t read_item_number(State& s, int32_t fileno) {
    OpenFile& f = s.files.get(fileno, "reading an item from");
    if (f.mode != FileMode::TextInput) return 0;
    return TextReader(f.text, f.pos).read_number();
}

void write_line_string(State& s, int32_t fileno, const std::string& text) {
    OpenFile& f = s.files.get(fileno, "writing a line to");
    if (f.mode != FileMode::TextOutput) return;
    f.out += text;
    f.out += "\r\n";
}

void write_line_number(State& s, int32_t fileno, int32_t v) { write_line_string(s, fileno, number_text(v) + " "); }

}  // namespace tlvx
