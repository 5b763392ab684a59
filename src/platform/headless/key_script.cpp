#include "platform/headless/key_script.hpp"

#include <array>
#include <span>
#include <sstream>
#include <utility>

#include "base/input_file.hpp"
#include "base/key_codes.hpp"

namespace tlvx {

namespace {

std::string fkey(int n) { return {'\0', static_cast<char>(kFunctionKeyScan + n - 1)}; }

// Named keys in the order key_name() prefers them.
std::span<const std::pair<const char*, std::string>> named_keys() {
    static const auto names = std::to_array<std::pair<const char*, std::string>>({
        {"space", " "},
        {"esc", std::string(kKeyEscape)},
        {"bksp", std::string(kKeyBackspace)},
        {"enter", std::string(kKeyEnter)},
        {"tab", std::string(kKeyTab)},
        {"up", std::string(kKeyUp)},
        {"down", std::string(kKeyDown)},
        {"left", std::string(kKeyLeft)},
        {"right", std::string(kKeyRight)},
        {"f1", fkey(1)},
        {"f2", fkey(2)},
        {"f3", fkey(3)},
        {"f4", fkey(4)},
        {"f5", fkey(5)},
        {"f6", fkey(6)},
        {"f7", fkey(7)},
        {"f8", fkey(8)},
        {"f9", fkey(9)},
        {"f10", fkey(10)},
    });
    return names;
}

std::string lower(std::string t) {
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return t;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string& t) {
    size_t b = 0, e = t.size();
    while (b < e && is_blank(t[b])) ++b;
    while (e > b && is_blank(t[e - 1])) --e;
    return t.substr(b, e - b);
}

}  // namespace

KeyScriptError::KeyScriptError(int line, const std::string& why, const std::string& file)
    : std::invalid_argument("key script " + (file.empty() ? std::string() : "\"" + file + "\" ") + "line " +
                            std::to_string(line) + ": " + why),
      line_(line), why_(why) {}

std::string parse_key(const std::string& field) {
    if (field.size() == 1 && field[0] > ' ' && field[0] <= '~') return field;
    std::string name = lower(field);
    for (const auto& [n, key] : named_keys())
        if (name == n) return key;
    if (name.empty() || name.size() % 4 != 0) return {};
    std::string key;
    for (size_t i = 0; i < name.size(); i += 4) {
        int hi = hex_digit(name[i + 2]), lo = hex_digit(name[i + 3]);
        if (name[i] != 'x' || name[i + 1] != ':' || hi < 0 || lo < 0) return {};
        key += static_cast<char>(hi * 16 + lo);
    }
    return key;
}

std::vector<ScriptedKey> parse_key_script(const std::string& text) {
    std::vector<ScriptedKey> keys;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (!raw.empty() && raw[0] == '#') continue;
        std::string line = trim(raw);
        if (line.empty()) continue;

        size_t gap = 0;
        while (gap < line.size() && !is_blank(line[gap])) ++gap;
        std::string pass_field = line.substr(0, gap);
        std::string key_field = trim(line.substr(gap));
        int64_t pass = 0;
        for (char c : pass_field) {
            if (c < '0' || c > '9')
                throw KeyScriptError(number, "expected \"PASS KEY\" with a pass number, got \"" + line + "\"");
            if (pass > (INT64_MAX - 9) / 10)
                throw KeyScriptError(number, "pass number " + pass_field + " is too large");
            pass = pass * 10 + (c - '0');
        }
        if (pass < 1) throw KeyScriptError(number, "pass numbers start at 1, got " + pass_field);
        if (key_field.empty()) throw KeyScriptError(number, "missing key after pass " + pass_field);
        for (char c : key_field)
            if (is_blank(c))
                throw KeyScriptError(number, "one key a line, got \"" + key_field + "\" (write a blank as space)");
        std::string key = parse_key(key_field);
        if (key.empty())
            throw KeyScriptError(
                number, "unknown key \"" + key_field + "\" (expected a printable character, a key name or x:HH)");
        keys.push_back({pass, key});
    }
    return keys;
}

std::vector<ScriptedKey> read_key_script(const std::string& path) {
    // mended: a FIFO, a device or a folder named as the script is refused at
    // once (a FIFO waited for a writer, /dev/zero was read until memory ran
    // out, a folder gave no keys); a shell's `<(...)` is still read, within
    // the bound and while it keeps sending.
    const InputBytes in = read_input_file(path, kMaxKeyScriptBytes, InputLinks::Follow, InputPipes::Unnamed);
    if (!in.ok) throw std::runtime_error(input_file_problem("the key script \"" + path + "\"", in.why));
    try {
        return parse_key_script(in.bytes);
    } catch (const KeyScriptError& e) {
        throw KeyScriptError(e.line(), e.why(), path);
    }
}

std::string key_name(const std::string& key) {
    if (key.empty()) return {};
    for (const auto& [n, k] : named_keys())
        if (key == k) return n;
    if (key.size() == 1 && key[0] > ' ' && key[0] <= '~' && key[0] != ',' && key[0] != '"') return key;
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char c : key) {
        auto b = static_cast<unsigned char>(c);
        out += "x:";
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

}  // namespace tlvx
