#include "data/text_record.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "data/stream.hpp"
#include "data/data_helpers.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

// Reads items one after the other from an in-memory text, as from a file.
struct Items {
    explicit Items(std::string t) : text(std::move(t)) {}
    std::string str() { return TextReader(text, pos).read_string(); }
    int32_t num() { return TextReader(text, pos).read_number(); }
    std::string text;
    size_t pos = 0;
};

TEST(TextRecord, TokensAreCutAtCommasAndLineEnds) {
    Items a("Pndx, 12 ,-3\r\n");
    EXPECT_EQ(a.str(), "Pndx");
    EXPECT_EQ(a.num(), 12);
    EXPECT_EQ(a.num(), -3);

    Items b("  hello world  ,x\r\n");
    EXPECT_EQ(b.str(), "hello world  ");  // trailing blanks stay part of a string
    EXPECT_EQ(b.str(), "x");

    Items c("\"a,b\"\r\na,b\r\n");
    EXPECT_EQ(c.str(), "a,b");
    EXPECT_EQ(c.str(), "a");
    EXPECT_EQ(c.str(), "b");

    Items d("\"ab\"cd\r\n12 34\r\n");  // after a closed quote / a blank, the next token starts at once
    EXPECT_EQ(d.str(), "ab");
    EXPECT_EQ(d.str(), "cd");
    EXPECT_EQ(d.num(), 12);
    EXPECT_EQ(d.num(), 34);

    Items e(",Ada\r\n 7 \r\n");  // a name beginning with a comma reads as empty
    EXPECT_EQ(e.str(), "");
    EXPECT_EQ(e.str(), "Ada");
    EXPECT_EQ(e.num(), 7);
    EXPECT_EQ(e.pos, e.text.size());
}

TEST(TextRecord, LineEndsOfEveryKind) {
    Items a("one\rtwo\nthree\r\nfour");
    EXPECT_EQ(a.str(), "one");
    EXPECT_EQ(a.str(), "two");
    EXPECT_EQ(a.str(), "three");
    EXPECT_EQ(a.str(), "four");

    Items b("1\r\r\n2");  // a lone CR ends a line; the CR LF after it is an empty line
    EXPECT_EQ(b.num(), 1);
    EXPECT_EQ(b.num(), 0);
    EXPECT_EQ(b.num(), 2);

    Items c("5 ,6\t\r\n7");  // blanks after a number, then one separator
    EXPECT_EQ(c.num(), 5);
    EXPECT_EQ(c.num(), 6);
    EXPECT_EQ(c.num(), 7);
}

TEST(TextRecord, QuotedParts) {
    Items a("\"first\nsecond, third\",next");
    EXPECT_EQ(a.str(), "first\nsecond, third");
    EXPECT_EQ(a.str(), "next");

    Items b("\"12\"34,5");  // a number reads on after its closing quote
    EXPECT_EQ(b.num(), 1234);
    EXPECT_EQ(b.num(), 5);

    Items c("a\"b\",c");  // a quote inside a token is an ordinary character
    EXPECT_EQ(c.str(), "a\"b\"");
    EXPECT_EQ(c.str(), "c");

    Items d("\"  lead\"  ,x");
    EXPECT_EQ(d.str(), "  lead");
    EXPECT_EQ(d.str(), "x");

    Items e("\"open to the end");
    EXPECT_EQ(e.str(), "open to the end");
    EXPECT_EQ(e.str(), "");
}

TEST(TextRecord, NumberForms) {
    Items a("2.5,3.5,-2.5,1d2,1D2,&H1F,&hff,&B101,&b,&O17,&17,12abc,abc,-0,+5,&HE,&H1D,.5e1,7e,- 5");
    EXPECT_EQ(a.num(), 2);
    EXPECT_EQ(a.num(), 4);
    EXPECT_EQ(a.num(), -2);
    EXPECT_EQ(a.num(), 100);
    EXPECT_EQ(a.num(), 100);
    EXPECT_EQ(a.num(), 31);
    EXPECT_EQ(a.num(), 255);
    EXPECT_EQ(a.num(), 5);
    EXPECT_EQ(a.num(), 0);   // &B without digits
    EXPECT_EQ(a.num(), 15);
    EXPECT_EQ(a.num(), 15);  // & and digits: octal
    EXPECT_EQ(a.num(), 12);
    EXPECT_EQ(a.num(), 0);
    EXPECT_EQ(a.num(), 0);
    EXPECT_EQ(a.num(), 5);
    EXPECT_EQ(a.num(), 14);  // E after & is a hex digit, not an exponent
    EXPECT_EQ(a.num(), 29);  // so is D
    EXPECT_EQ(a.num(), 5);
    EXPECT_EQ(a.num(), 7);
    EXPECT_EQ(a.num(), 0);
}

TEST(TextRecord, NumbersOutside32BitsSaturate) {
    EXPECT_EQ(parse_number_token("99999999999"), INT32_MAX);
    EXPECT_EQ(parse_number_token("-99999999999"), INT32_MIN);
    EXPECT_EQ(parse_number_token("2147483647"), INT32_MAX);
    EXPECT_EQ(parse_number_token("-2147483648"), INT32_MIN);
    EXPECT_EQ(parse_number_token("2147483648"), INT32_MAX);
    EXPECT_EQ(parse_number_token("1e99"), INT32_MAX);
    EXPECT_EQ(parse_number_token("-1e99"), INT32_MIN);
    EXPECT_EQ(parse_number_token("1e999"), INT32_MAX);  // beyond a double: infinity, saturated
    EXPECT_EQ(parse_number_token("2147483647.4"), INT32_MAX);
    EXPECT_EQ(parse_number_token("-2147483648.5"), INT32_MIN);
    EXPECT_EQ(parse_number_token("&HFFFFFFFFF"), INT32_MAX);
    EXPECT_EQ(parse_number_token("&HFFFFFFFF"), -1);  // exactly 32 bits: the two's complement pattern
    EXPECT_EQ(parse_number_token("&H80000000"), INT32_MIN);
    EXPECT_EQ(parse_number_token("inf"), 0);
    EXPECT_EQ(parse_number_token("nan"), 0);
    EXPECT_EQ(round_half_even(std::nan("")), 0);
    EXPECT_EQ(round_half_even(-INFINITY), INT32_MIN);
    EXPECT_EQ(round_half_even(0.5), 0);
    EXPECT_EQ(round_half_even(1.5), 2);
    EXPECT_EQ(round_half_even(-3.5), -4);
    EXPECT_EQ(round_half_even(2.6), 3);
}

TEST(TextRecord, TokensAtTheirMaximumLength) {
    const std::string num67 = std::string(66, '0') + "7";
    Items a(num67 + ",8");  // exactly 67 characters: one token
    EXPECT_EQ(a.num(), 7);
    EXPECT_EQ(a.num(), 8);

    Items b(std::string(66, '0') + "12,8");  // 68 characters: cut after 67
    EXPECT_EQ(b.num(), 1);
    EXPECT_EQ(b.num(), 2);
    EXPECT_EQ(b.num(), 8);

    const std::string s4096(4096, 'a');
    Items c(s4096 + "\r\nnext");
    EXPECT_EQ(c.str(), s4096);
    EXPECT_EQ(c.str(), "next");

    Items d("\"" + s4096 + "\",next");  // a quoted token of exactly 4096 still closes normally
    EXPECT_EQ(d.str(), s4096);
    EXPECT_EQ(d.str(), "next");

    Items e(s4096 + "bcd,next");  // longer: the rest becomes the next token
    EXPECT_EQ(e.str(), s4096);
    EXPECT_EQ(e.str(), "bcd");
    EXPECT_EQ(e.str(), "next");
}

TEST(TextRecord, ReadingPastTheEndGivesEmptyValuesAgainAndAgain) {
    Items a("x");
    EXPECT_EQ(a.str(), "x");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a.str(), "");
        EXPECT_EQ(a.num(), 0);
    }
    Items b("   \t ");
    EXPECT_EQ(b.num(), 0);
    EXPECT_EQ(b.str(), "");
}

TEST(TextRecord, ReadableTextEndsAtByte26AndTakesCrLfAsOneLineEnd) {
    EXPECT_EQ(readable_text(std::string("a\r\nb") + '\x1a' + "c\r\n"), "a\nb");
    EXPECT_EQ(readable_text("\r\r\n\n\r"), "\r\n\n\r");

    test::TempDir dir;
    test::write_file(dir.file("t.txt"), std::string("\"a\r\nb\",5\r\n") + '\x1a' + "9,9\r\n");
    auto s = test::state_in(dir.path());
    stream_reopen(*s, 0, "t.txt", FileMode::TextInput);
    int32_t f = stream_number(*s, 0);
    EXPECT_EQ(read_item_string(*s, f), "a\nb");  // text mode: the pair arrives as one LF
    EXPECT_EQ(read_item_number(*s, f), 5);
    EXPECT_EQ(read_item_number(*s, f), 0);  // nothing after byte 26 is readable
    EXPECT_EQ(read_item_string(*s, f), "");
}

TEST(TextRecord, LinesWrittenAndNumberTexts) {
    EXPECT_EQ(number_text(5), " 5");
    EXPECT_EQ(number_text(0), " 0");
    EXPECT_EQ(number_text(-12), "-12");
    EXPECT_EQ(number_text(INT32_MIN), "-2147483648");
    EXPECT_TRUE(in_list(" 3 17 ", 17));
    EXPECT_FALSE(in_list(" 3 17", 17));  // no blank after it
    EXPECT_FALSE(in_list(" 117 ", 17));  // no blank before it

    test::TempDir dir;
    auto s = test::state_in(dir.path());
    stream_reopen(*s, 0, "out.txt", FileMode::TextOutput);
    int32_t f = stream_number(*s, 0);
    write_line_number(*s, f, 5);
    write_line_number(*s, f, -12);
    write_line_string(*s, f, "a, b");
    write_line_string(*s, f, "");
    EXPECT_FALSE(test::file_exists(dir.file("out.txt")));  // nothing reaches the file before the close
    stream_close(*s, 0);
    EXPECT_EQ(test::read_file(dir.file("out.txt")), " 5 \r\n-12 \r\na, b\r\n\r\n");
}

TEST(TextRecord, SaveTextFormQuotesOnlyWhatWouldNotReadBack) {
    for (const std::string t : {"Pndx", "", "a \"b\"", "two words  ", "x\ty"}) EXPECT_EQ(save_text_form(t), t);
    EXPECT_EQ(save_text_form("a,b"), "\"a,b\"");
    EXPECT_EQ(save_text_form(" lead"), "\" lead\"");
    EXPECT_EQ(save_text_form("\tlead"), "\"\tlead\"");
    EXPECT_EQ(save_text_form("\"q"), "q");
    EXPECT_EQ(save_text_form("a\"b,c"), "\"ab,c\"");  // cannot hold a quote inside quotes: dropped
    for (const std::string t : {"a,b", " lead", "x\ny", "a\rb"}) {
        Items back(save_text_form(t) + "\r\nnext\r\n");
        EXPECT_EQ(back.str(), t);
        EXPECT_EQ(back.str(), "next");
    }
}

}  // namespace
}  // namespace tlvx
