#include "data/text_record.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "base/files.hpp"

namespace tlvx::test {
namespace {

// Reads the items of `text` in turn: "$x" expects the string x, anything else that number.
void expect_items(const std::string& text, const std::vector<std::string>& items) {
    SCOPED_TRACE(text.substr(0, 40));
    size_t pos = 0;
    for (const std::string& item : items) {
        TextReader r(text, pos);
        if (item[0] == '$') EXPECT_EQ(r.read_string(), item.substr(1));
        else EXPECT_EQ(r.read_number(), std::stoi(item));
    }
}

TEST(TextRecord, TokensSeparatorsQuotesLineEndsAndLengths) {
    const std::string n66(66, '0'), s4096(4096, 'a');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"Pndx, 12 ,-3\r\n", {"$Pndx", "12", "-3"}},
        {"  hello world  ,x\r\n", {"$hello world  ", "$x"}},
        {"\"ab\"cd\r\n12 34\r\n", {"$ab", "$cd", "12", "34"}},
        {",Ada\r\n 7 \r\n", {"$", "$Ada", "7"}},
        {"one\rtwo\nthree\r\nfour", {"$one", "$two", "$three", "$four"}},
        {"a\"b\",c", {"$a\"b\"", "$c"}},
        {"\"first\nsecond, third\",next", {"$first\nsecond, third", "$next"}},
        {"\"open to the end", {"$open to the end", "$"}},
        {"x", {"$x", "$", "0", "$", "0", "$"}},  // past the end, again and again
        {n66 + "12,8", {"1", "2", "8"}},         // 67 characters at most
        {"\"" + s4096 + "\",next", {"$" + s4096, "$next"}},
        {s4096 + "bcd,next", {"$" + s4096, "$bcd", "$next"}},  // 4096 characters at most
        {readable_text("\"a\r\nb\",5\r\n\x1a"
                       "9,9\r\n"),
         {"$a\nb", "5", "0", "$"}},  // a file's text: CR LF is LF, byte 26 ends it
    };
    for (const auto& [text, items] : cases) expect_items(text, items);
    EXPECT_EQ(readable_text("\r\r\n\n\r"), "\r\n\n\r");
}

TEST(TextRecord, NumberFormsRoundingAndSaturation) {
    // Rounding half to even, exponents, the &H/&O/&B forms (&H1D is no exponent), junk after a
    // number; mended: past 32 bits a number saturates, &H of up to 32 bits is a bit pattern, inf and nan read 0.
    const char* cases[] = {"2.5",         "2",           "3.5",        "4",          "-2.5",          "-2",
                           "1D2",         "100",         "&hff",       "255",        "&B101",         "5",
                           "&b",          "0",           "&O17",       "15",         "&17",           "15",
                           "12abc",       "12",          "abc",        "0",          "&H1D",          "29",
                           ".5e1",        "5",           "7e",         "7",          "- 5",           "0",
                           "inf",         "0",           "nan",        "0",          "2147483648",    "2147483647",
                           "-1e99",       "-2147483648", "1e999",      "2147483647", "-2147483648.5", "-2147483648",
                           "&HFFFFFFFFF", "2147483647",  "&HFFFFFFFF", "-1"};  // a text, then the number it reads as
    for (size_t i = 0; i < std::size(cases); i += 2) expect_items(cases[i], {cases[i + 1]});
}

}  // namespace
}  // namespace tlvx::test
