#include <gtest/gtest.h>

#include <string>

#include "platform/headless/key_script.hpp"
#include "support/test_support.hpp"

using namespace tlvx;

namespace {
std::string ext(char scan) { return std::string(1, '\0') + scan; }

// The message of the error a script raises, or "" when it parses.
std::string error_of(const std::string& script, int* line = nullptr) {
    try {
        parse_key_script(script);
    } catch (const KeyScriptError& e) {
        if (line) *line = e.line();
        return e.what();
    }
    return {};
}
}  // namespace

TEST(KeyScript, ParsesEveryForm) {
    auto keys = parse_key_script(
        "# a comment line\n"
        "1 y\n"
        "\n"
        "2 +\r\n"
        "2 \\\n"
        "3 #\n"
        "   \t\n"
        "  4\tspace  \n"
        "4 ESC\n"
        "5 bksp\n5 enter\n5 tab\n"
        "6 up\n6 down\n6 left\n6 right\n"
        "7 f1\n7 f2\n7 f9\n7 f10\n"
        "8 x:2c\n8 x:00\n8 x:00x:47\n8 x:FF\n"
        "12345678901 [");
    std::vector<ScriptedKey> want = {
        {1, "y"},      {2, "+"},      {2, "\\"},     {3, "#"},      {4, " "},      {4, "\x1b"},
        {5, "\b"},     {5, "\r"},     {5, "\t"},     {6, ext('H')}, {6, ext('P')}, {6, ext('K')},
        {6, ext('M')}, {7, ext(';')}, {7, ext('<')}, {7, ext('C')}, {7, ext('D')}, {8, ","},
        {8, std::string(1, '\0')},    {8, ext('G')}, {8, "\xff"},   {12345678901, "["},
    };
    EXPECT_EQ(keys, want);
    EXPECT_TRUE(parse_key_script("").empty());
    EXPECT_TRUE(parse_key_script("# only\n\n#5 y\n").empty());
}

TEST(KeyScript, RefusesMalformedLinesNamingThem) {
    struct Case {
        std::string script;
        int line;
        std::string says;
    };
    const Case cases[] = {
        {"1 y\ny 1\n", 2, "pass number"},
        {"0 y\n", 1, "start at 1"},
        {"-1 y\n", 1, "pass number"},
        {"1 y\n\n5\n", 3, "missing key"},
        {"5 yy\n", 1, "unknown key \"yy\""},
        {"5 y z\n", 1, "one key a line"},
        {"5 x:2\n", 1, "unknown key"},
        {"5 x:GG\n", 1, "unknown key"},
        {"5 x:41x:4\n", 1, "unknown key"},
        {"5 f11\n", 1, "unknown key"},
        {"5 \x01\n", 1, "unknown key"},
        {"5 \xe9\n", 1, "unknown key"},
        {"# fine\n  # indented comments are not comments\n", 2, "pass number"},
        {"99999999999999999999 y\n", 1, "too large"},
        {"1.5 y\n", 1, "pass number"},
    };
    for (const Case& c : cases) {
        int line = 0;
        std::string msg = error_of(c.script, &line);
        EXPECT_EQ(line, c.line) << c.script;
        EXPECT_NE(msg.find("line " + std::to_string(c.line) + ":"), std::string::npos) << msg;
        EXPECT_NE(msg.find(c.says), std::string::npos) << msg;
    }
}

TEST(KeyScript, ReadsFilesAndNamesThemInErrors) {
    test::TempDir dir;
    test::write_file(dir.file("good.keys"), "1 y\n2 esc\n");
    EXPECT_EQ(read_key_script(dir.file("good.keys")), (std::vector<ScriptedKey>{{1, "y"}, {2, "\x1b"}}));
    test::write_file(dir.file("bad.keys"), "1 y\n2 escape\n");
    try {
        read_key_script(dir.file("bad.keys"));
        FAIL() << "a bad script was accepted";
    } catch (const KeyScriptError& e) {
        std::string msg = e.what();
        EXPECT_NE(msg.find("bad.keys\" line 2: unknown key \"escape\""), std::string::npos) << msg;
    }
    EXPECT_THROW(read_key_script(dir.file("missing.keys")), std::runtime_error);
}

TEST(KeyName, CanonicalForms) {
    EXPECT_EQ(key_name(""), "");
    EXPECT_EQ(key_name("y"), "y");
    EXPECT_EQ(key_name(parse_key("x:79")), "y");
    EXPECT_EQ(key_name(","), "x:2C");
    EXPECT_EQ(key_name("\""), "x:22");
    EXPECT_EQ(key_name("#"), "#");
    EXPECT_EQ(key_name("~"), "~");
    EXPECT_EQ(key_name(" "), "space");
    EXPECT_EQ(key_name("\x1b"), "esc");
    EXPECT_EQ(key_name("\b"), "bksp");
    EXPECT_EQ(key_name("\r"), "enter");
    EXPECT_EQ(key_name("\t"), "tab");
    EXPECT_EQ(key_name("\n"), "x:0A");
    EXPECT_EQ(key_name("\x7f"), "x:7F");
    EXPECT_EQ(key_name("\xab"), "x:AB");
    EXPECT_EQ(key_name(ext('H')), "up");
    EXPECT_EQ(key_name(ext('P')), "down");
    EXPECT_EQ(key_name(ext('K')), "left");
    EXPECT_EQ(key_name(ext('M')), "right");
    EXPECT_EQ(key_name(ext(';')), "f1");
    EXPECT_EQ(key_name(ext('D')), "f10");
    EXPECT_EQ(key_name(ext('G')), "x:00x:47");  // an extended key without a name
    EXPECT_EQ(key_name(std::string(1, '\0')), "x:00");
}

TEST(KeyName, EveryTracedKeyReplaysAsItself) {
    for (int b = 0; b < 256; ++b) {
        std::string key(1, static_cast<char>(b));
        EXPECT_EQ(parse_key(key_name(key)), key) << b;
        std::string two = std::string(1, '\0') + static_cast<char>(b);
        EXPECT_EQ(parse_key(key_name(two)), two) << b;
    }
    for (const char* n : {"space", "esc", "bksp", "enter", "tab", "up", "down", "left", "right", "f1", "f5", "f10"})
        EXPECT_EQ(key_name(parse_key(n)), n);
}
