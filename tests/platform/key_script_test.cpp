#include "platform/headless/key_script.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace tlvx;
using namespace std::string_literals;

// Comments, blank lines, CR LF, blanks and tabs around the fields, any case of a name, hex
// bytes; every other name is pinned by KeyName's round trip. Extended keys are "\0" and the scan code.
TEST(KeyScript, ParsesEveryForm) {
    const auto keys = parse_key_script(
        "# a comment line\n1 y\n\n2 +\r\n2 \\\n3 #\n   \t\n  4\tspace  \n4 ESC\n6 up\n7 f9\n"
        "8 x:2c\n8 x:00\n8 x:00x:47\n8 x:FF\n12345678901 [");
    const std::vector<ScriptedKey> want = {
        {1, "y"},    {2, "+"}, {2, "\\"},  {3, "#"},    {4, " "},    {4, "\x1b"},        {6, "\0H"s},
        {7, "\0C"s}, {8, ","}, {8, "\0"s}, {8, "\0G"s}, {8, "\xff"}, {12345678901, "["},
    };
    EXPECT_EQ(keys, want);
    EXPECT_TRUE(parse_key_script("# only\n\n#5 y\n").empty());
}

// Each bad line is named by its number and what is wrong with it (a file's name with it, and a
// missing file: the tool's bad-input table).
TEST(KeyScript, RefusesMalformedLinesNamingThem) {
    auto error_of = [](const std::string& script) -> std::string {  // "" when it is taken
        try {
            parse_key_script(script);
        } catch (const KeyScriptError& e) {
            return e.what();
        }
        return "";
    };
    const std::tuple<std::string, int, std::string> cases[] = {
        {"1 y\ny 1\n", 2, "pass number"},
        {"0 y\n", 1, "start at 1"},
        {"1 y\n\n5\n", 3, "missing key"},
        {"5 yy\n", 1, "unknown key \"yy\""},
        {"5 y z\n", 1, "one key a line"},
        {"# ok\n  # indented\n", 2, "pass number"},
        {"99999999999999999999 y\n", 1, "too large"},
    };
    for (const auto& [script, line, says] : cases) {
        const std::string what = error_of(script);
        EXPECT_NE(what.find("line " + std::to_string(line) + ": "), std::string::npos) << script << what;
        EXPECT_NE(what.find(says), std::string::npos) << what;
    }
    for (const char* key : {"x:GG", "x:41x:4", "f11", "\x01"})
        EXPECT_NE(error_of("5 "s + key + "\n").find("unknown key"), std::string::npos) << key;
}

TEST(KeyName, CanonicalFormsAndEveryTracedKeyReplaysAsItself) {
    const std::pair<std::string, std::string> cases[] = {
        {",", "x:2C"},  {"\"", "x:22"}, {"#", "#"},      {" ", "space"},       {"\x1b", "esc"}, {"\n", "x:0A"},
        {"\0H"s, "up"}, {"\0;"s, "f1"}, {"\0D"s, "f10"}, {"\0G"s, "x:00x:47"}, {"\0"s, "x:00"}, {"", ""},
    };
    for (const auto& [key, name] : cases) EXPECT_EQ(key_name(key), name);
    for (int b = 0; b < 256; ++b)
        for (const std::string& key : {std::string(1, char(b)), "\0"s + char(b)})
            EXPECT_EQ(parse_key(key_name(key)), key) << b;
}
