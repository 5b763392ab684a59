#include "data/text_record.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "base/files.hpp"
#include "data/data_helpers.hpp"

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
        {"\"a,b\"\r\na,b\r\n", {"$a,b", "$a", "$b"}},
        {"\"ab\"cd\r\n12 34\r\n", {"$ab", "$cd", "12", "34"}},
        {",Ada\r\n 7 \r\n", {"$", "$Ada", "7"}},
        {"one\rtwo\nthree\r\nfour", {"$one", "$two", "$three", "$four"}},
        {"1\r\r\n2", {"1", "0", "2"}},
        {"5 ,6\t\r\n7", {"5", "6", "7"}},
        {"\"12\"34,5", {"1234", "5"}},
        {"a\"b\",c", {"$a\"b\"", "$c"}},
        {"\"first\nsecond, third\",next", {"$first\nsecond, third", "$next"}},
        {"\"  lead\"  ,x", {"$  lead", "$x"}},
        {"\"open to the end", {"$open to the end", "$"}},
        {"x", {"$x", "$", "0", "$", "0", "$"}},
        {"   \t ", {"0", "$"}},  // past the end, again and again
        {n66 + "7,8", {"7", "8"}},
        {n66 + "12,8", {"1", "2", "8"}},  // 67 characters at most
        {s4096 + "\r\nnext", {"$" + s4096, "$next"}},
        {"\"" + s4096 + "\",next", {"$" + s4096, "$next"}},
        {s4096 + "bcd,next", {"$" + s4096, "$bcd", "$next"}},
        {readable_text("\"a\r\nb\",5\r\n\x1a"
                       "9,9\r\n"),
         {"$a\nb", "5", "0", "$"}},  // a file's text: CR LF is LF, byte 26 ends it
    };
    for (const auto& [text, items] : cases) expect_items(text, items);
    EXPECT_EQ(readable_text("\r\r\n\n\r"), "\r\n\n\r");
}

TEST(TextRecord, NumberFormsRoundingAndSaturation) {
    const std::pair<const char*, int32_t> cases[] = {
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"1d2", 100},
        {"1D2", 100},
        {"&H1F", 31},
        {"&hff", 255},
        {"&B101", 5},
        {"&b", 0},
        {"&O17", 15},
        {"&17", 15},
        {"12abc", 12},
        {"abc", 0},
        {"-0", 0},
        {"+5", 5},
        {"&HE", 14},
        {"&H1D", 29},
        {".5e1", 5},
        {"7e", 7},
        {"- 5", 0},
        {"inf", 0},
        {"nan", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"2147483648", INT32_MAX},
        {"1e99", INT32_MAX},
        {"-1e99", INT32_MIN},
        {"1e999", INT32_MAX},
        {"-2147483648.5", INT32_MIN},
        {"&HFFFFFFFFF", INT32_MAX},
        {"&HFFFFFFFF", -1},
        {"&H80000000", INT32_MIN},
    };
    for (auto [text, value] : cases) expect_items(text, {std::to_string(value)});
}

// Whatever a save file holds reads back as itself, or loses only its double quotes,
// and the item after it keeps its place.
TEST(TextRecord, SaveTextFormReadsBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"Pndx", "Pndx"},       {"", ""},
        {"a \"b\"", "a \"b\""}, {"two words  ", "two words  "},
        {"a,b", "a,b"},         {" lead", " lead"},
        {"\tlead", "\tlead"},   {"x\ny", "x\ny"},
        {"a\rb", "a\rb"},       {"x\r\ny", "x\r\ny"},
        {"\"q", "q"},           {"a\"b,c", "ab,c"},
    };
    for (const auto& [text, back] : cases)
        expect_items(readable_text(save_text_form(text) + "\r\nnext\r\n"), {"$" + back, "$next"});
    EXPECT_EQ(save_text_form("two words  "), "two words  ");  // quoted only when needed
}

}  // namespace
}  // namespace tlvx::test
