#include "display/image.hpp"

#include <climits>

#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

using ImageTest = ScreenFixture;

// A 16x16 picture whose pixel (x, y) is 16 * y + x.
std::vector<uint8_t> ramp16() {
    std::vector<uint8_t> px(256);
    for (int i = 0; i < 256; ++i) px[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    return px;
}

// A block file in the long layout (254) holding `data` as the buffer contents.
std::string long_block(const std::string& data) {
    const size_t n = data.size();
    std::string f(1, static_cast<char>(254));
    for (int k = 0; k < 4; ++k) f += static_cast<char>((n >> (8 * k)) & 0xFF);
    return f + data;
}

// The 4-byte short image header followed by pixel bytes.
std::string short_header_data(uint16_t word, uint16_t h, const std::vector<uint8_t>& px) {
    std::string d{static_cast<char>(word & 0xFF), static_cast<char>(word >> 8), static_cast<char>(h & 0xFF),
                  static_cast<char>(h >> 8)};
    return d + std::string(px.begin(), px.end());
}

void graphicput(State& s, std::string name, int32_t x, int32_t y, std::string mode) {
    GRAPHICPUT(s, name, x, y, mode);
}

TEST_F(ImageTest, TwelfthCharacterBecomesVInTheCallersName) {
    put("abcdefg.08x", solid_picture(2, 2, 5));
    put("abcdefgh.08v", solid_picture(2, 2, 6));
    std::string eleven = "abcdefg.08x", twelve = "abcdefgh.08x", longer = "abcdefgh.08xyz";
    int32_t x = 0, y = 0;
    std::string mode = "pset";
    GRAPHICPUT(s, eleven, x, y, mode);
    EXPECT_EQ(eleven, "abcdefg.08x");
    EXPECT_EQ(s.screen.at(0, 0), 5);
    GRAPHICPUT(s, twelve, x, y, mode);
    EXPECT_EQ(twelve, "abcdefgh.08v");
    EXPECT_EQ(s.screen.at(0, 0), 6);
    EXPECT_EQ(error_of([&] { GRAPHICPUT(s, longer, x, y, mode); }), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(longer, "abcdefgh.08vyz");
}

TEST_F(ImageTest, OnScreenTestDecidesWhetherTheFileIsEvenOpened) {
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", 616, 0, "pset"); }), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", 617, 0, "pset"); }), 0);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", 0, 326, "pset"); }), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", 0, 327, "pset"); }), 0);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", -5000, -5000, "pset"); }), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", INT32_MAX, 0, "pset"); }), 0);
    EXPECT_EQ(error_of([&] { graphicput(s, "", 0, 0, "pset"); }), 0);
    try {
        graphicput(s, "missing.pic", 0, 0, "pset");
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.place(), "while loading picture \"missing.pic\"");
    }
}

TEST_F(ImageTest, OtherModeTextsLoadWithoutDrawing) {
    put("p.pic", solid_picture(4, 4, 9));
    fill_screen(3);
    graphicput(s, "p.pic", 0, 0, "PSET");
    EXPECT_EQ(s.SCN[4], 9);
    EXPECT_EQ(s.screen.at(0, 0), 3);
    s.SCN.fill(0);
    graphicput(s, "p.pic", 0, 0, "");
    EXPECT_EQ(s.SCN[4], 9);
    EXPECT_EQ(s.screen.at(0, 0), 3);
    EXPECT_EQ(error_of([&] { graphicput(s, "missing.pic", 0, 0, "PSET"); }), ERR_FILE_NOT_FOUND);
}

TEST_F(ImageTest, ShortBlockFileLoadsWhatItHas) {
    s.SCN.fill(0x55);
    std::string f = solid_picture(10, 30, 0xAA);  // 300 data bytes announced
    put("short.pic", f.substr(0, 7 + 200));
    load_image(s, "short.pic");
    EXPECT_EQ(s.SCN[199], 0xAA);
    EXPECT_EQ(s.SCN[200], 0x55);
}

TEST_F(ImageTest, LongDataIsCutOffAtTheEndOfTheBuffer) {
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    put("long.pic", long_block(data));
    load_image(s, "long.pic");
    EXPECT_EQ(s.SCN[2351], 2351 % 251);
    EXPECT_EQ(s.SCN[1000], 1000 % 251);
}

TEST_F(ImageTest, MalformedBlockFilesAndBadHeadersAreRefused) {
    put("empty.pic", "");
    put("odd.pic", "Zxxxxxxxx");
    put("zero.pic", std::string("\xFD\0\0\0\0\0\0", 7));
    put("cut.pic", std::string("\xFD\0\0", 3));
    put("cutlong.pic", std::string("\xFE\x10", 2));
    EXPECT_EQ(error_of([&] { load_image(s, "empty.pic"); }), ERR_FILE_IO);
    EXPECT_EQ(error_of([&] { load_image(s, "odd.pic"); }), ERR_FILE_IO);
    EXPECT_EQ(error_of([&] { load_image(s, "zero.pic"); }), ERR_FILE_IO);
    EXPECT_EQ(error_of([&] { load_image(s, "cut.pic"); }), ERR_FILE_IO);
    EXPECT_EQ(error_of([&] { load_image(s, "cutlong.pic"); }), ERR_FILE_IO);
    // Two bytes per pixel cannot be shown on the 8-bit screen.
    put("wide.pic", long_block(short_header_data(4 * 8 + 2, 4, std::vector<uint8_t>(32, 1))));
    EXPECT_EQ(error_of([&] { graphicput(s, "wide.pic", 0, 0, "pset"); }), ERR_ILLEGAL_FUNCTION_CALL);
}

TEST_F(ImageTest, HeaderWords129And128DrawTheSame16By16Picture) {
    for (uint16_t word : {uint16_t{129}, uint16_t{128}}) {
        fill_screen(0xEE);
        put("w.pic", long_block(short_header_data(word, 16, ramp16())));
        graphicput(s, "w.pic", 20, 10, "pset");
        EXPECT_EQ(s.screen.at(20, 10), 0) << word;
        EXPECT_EQ(s.screen.at(35, 10), 15) << word;
        EXPECT_EQ(s.screen.at(20 + 5, 10 + 7), 7 * 16 + 5) << word;
        EXPECT_EQ(s.screen.at(35, 25), 255) << word;
        EXPECT_EQ(s.screen.at(36, 10), 0xEE) << word;
        EXPECT_EQ(s.screen.at(20, 26), 0xEE) << word;
    }
}

TEST_F(ImageTest, LongHeaderRowsFollowThePitch) {
    std::string d(32 + 3 * 10, '\0');
    const uint32_t words[] = {7, 1, 4, 3, 10};
    for (int k = 0; k < 5; ++k)
        for (int b = 0; b < 4; ++b) d[static_cast<size_t>(4 * k + b)] = static_cast<char>((words[k] >> (8 * b)) & 0xFF);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 10; ++c) d[static_cast<size_t>(32 + r * 10 + c)] = static_cast<char>(r * 10 + c + 1);
    put("l.pic", long_block(d));
    fill_screen(0);
    graphicput(s, "l.pic", 0, 0, "pset");
    EXPECT_EQ(s.screen.at(3, 0), 4);
    EXPECT_EQ(s.screen.at(0, 2), 21);
    EXPECT_EQ(s.screen.at(4, 0), 0);
}

TEST_F(ImageTest, ClippingAtTheRightBottomAndNegativePositions) {
    put("r.pic", block_picture(16, 16, ramp16()));
    fill_screen(0xEE);
    graphicput(s, "r.pic", 310, 190, "pset");
    EXPECT_EQ(s.screen.at(310, 190), 0);
    EXPECT_EQ(s.screen.at(319, 199), 9 * 16 + 9);
    EXPECT_EQ(s.screen.at(309, 199), 0xEE);
    fill_screen(0xEE);
    graphicput(s, "r.pic", -3, -2, "pset");
    EXPECT_EQ(s.screen.at(0, 0), 2 * 16 + 3);
    EXPECT_EQ(s.screen.at(12, 13), 15 * 16 + 15);
    EXPECT_EQ(s.screen.at(13, 0), 0xEE);
    EXPECT_EQ(s.screen.at(0, 14), 0xEE);
    fill_screen(0xEE);
    graphicput(s, "r.pic", -16, 100, "pset");  // wholly off the screen
    graphicput(s, "r.pic", 400, 300, "pset");
    for (uint8_t v : s.screen.pixels) ASSERT_EQ(v, 0xEE);
}

TEST_F(ImageTest, PutModesOnAllZeroAndAll255Pictures) {
    put("zero.pic", solid_picture(8, 8, 0));
    put("full.pic", solid_picture(8, 8, 255));
    put("mix.pic", solid_picture(8, 8, 0x3C));
    for (int i = 0; i < 64000; ++i) s.screen.pixels[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    const auto before = s.screen.pixels;
    graphicput(s, "full.pic", 5, 5, "and");
    graphicput(s, "zero.pic", 5, 5, "or");
    EXPECT_EQ(s.screen.pixels, before);
    graphicput(s, "zero.pic", 5, 5, "pset");
    EXPECT_EQ(s.screen.at(5, 5), 0);
    EXPECT_EQ(s.screen.at(12, 12), 0);
    EXPECT_EQ(s.screen.at(13, 12), before[12 * 320 + 13]);
    s.screen.at(20, 20) = 0x0F;
    s.screen.at(30, 30) = 0x0F;
    graphicput(s, "mix.pic", 20, 20, "or");
    graphicput(s, "mix.pic", 30, 30, "and");
    EXPECT_EQ(s.screen.at(20, 20), 0x3F);
    EXPECT_EQ(s.screen.at(30, 30), 0x0C);
}

TEST_F(ImageTest, RowsReachingPastTheBufferDrawOnlyWhatIsInside) {
    // 48 wide, 60 high: 4 + 2880 bytes, more than the buffer holds. Rows 0-47
    // lie inside, row 48 has its first 44 pixels inside, the rest are not drawn.
    std::vector<uint8_t> px(48 * 60, 9);
    put("tall.pic", block_picture(48, 60, px));
    fill_screen(0xEE);
    graphicput(s, "tall.pic", 0, 0, "pset");
    EXPECT_EQ(s.screen.at(47, 47), 9);
    EXPECT_EQ(s.screen.at(43, 48), 9);
    EXPECT_EQ(s.screen.at(44, 48), 0xEE);
    EXPECT_EQ(s.screen.at(0, 49), 0xEE);
    // A long header with an absurd size draws only the bytes of the buffer.
    std::string d(64, '\x05');
    const uint32_t words[] = {7, 1, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    for (int k = 0; k < 5; ++k)
        for (int b = 0; b < 4; ++b) d[static_cast<size_t>(4 * k + b)] = static_cast<char>((words[k] >> (8 * b)) & 0xFF);
    put("huge.pic", long_block(d));
    fill_screen(0xEE);
    graphicput(s, "huge.pic", 0, 0, "pset");
    EXPECT_EQ(s.screen.at(0, 0), 5);
    EXPECT_EQ(s.screen.at(0, 1), 0xEE);
}

}  // namespace
}  // namespace tlvx::test
