// Inputs the fuzz targets found, kept in regress/ as the fuzzer wrote them
// (first byte: the target's choice byte). Each replays the property that failed.
#include <gtest/gtest.h>

#include "data/data_helpers.hpp"
#include "data/text_record.hpp"
#include "data/world_files.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

std::string regress_input(const std::string& name) {
    return test::read_file(std::string(TLVX_TESTS_DIR) + "/data/regress/" + name);
}

// A save file whose quoted world name runs to the end of the file and so holds
// CR LF pairs: written at quit and read again, every field comes back.
TEST(FuzzRegress, SaveFileWithCrLfInAQuotedTextRoundTrips) {
    test::TempDir dir;
    test::write_file(dir.file("Pndx_001.sav"), regress_input("save_crlf_in_quoted_world_name").substr(1));
    auto s = test::state_in(dir.path());
    load_save_file(*s);
    ASSERT_NE(s->P1_S.find("\r\n"), std::string::npos);
    write_save_file(*s);
    auto back = test::state_in(dir.path());
    back->NM_S = s->NM_S;
    load_save_file(*back);
    EXPECT_EQ(back->P1_S, s->P1_S);
    EXPECT_EQ(back->NM_S, s->NM_S);
    EXPECT_EQ(back->VX2, s->VX2);
    EXPECT_EQ(back->P, s->P);
}

// The same for any text read from a record: its save form is one line that
// reads back as the text.
TEST(FuzzRegress, TokenWithCrLfReadsBackFromItsSaveForm) {
    const std::string input = regress_input("text_crlf_in_quoted_token");
    const std::string text = readable_text(input.substr(1));
    size_t pos = 0;
    TextReader r(text, pos);
    std::string token;  // reads as the first byte plans them: bit i set, a string
    for (unsigned i = 0; i < 8 && token.find("\r\n") == std::string::npos; ++i)
        if ((static_cast<unsigned char>(input[0]) >> i) & 1) token = r.read_string();
        else r.read_number();
    ASSERT_NE(token.find("\r\n"), std::string::npos);
    const std::string line = readable_text(save_text_form(token) + "\r\n");
    size_t p = 0;
    EXPECT_EQ(TextReader(line, p).read_string(), token);
    EXPECT_EQ(p, line.size());
}

}  // namespace
}  // namespace tlvx
