#include "display/image.hpp"

#include <array>

#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

using namespace std::string_literals;

struct ImageTest : ScreenFixture {
    int draw(std::string name, int32_t x = 0, int32_t y = 0, std::string mode = "pset") {
        return error_of([&] { GRAPHICPUT(s, name, x, y, mode); });
    }
    int load(const std::string& bytes) {
        put("p.pic", bytes);
        return error_of([&] { load_image(s, "p.pic"); });
    }
    int word(size_t i) const { return s.SCN[i] | s.SCN[i + 1] << 8; }
};

// A long block file (254) holding `data`, after a long image header of `words` when given.
std::string long_block(const std::string& data, std::vector<int64_t> words = {}) {
    std::string f = "\xFE"s, head;
    for (int64_t w : words) put_le(head, w, 4);
    if (!words.empty()) head += std::string(12, '\0');
    put_le(f, int64_t(head.size() + data.size()), 4);
    return f + head + data;
}
std::string ramp(int n, int from = 0) {  // bytes from, from + 1, ...
    std::string r;
    for (int i = 0; i < n; ++i) r += char(from + i);
    return r;
}

// The 12th character of a name becomes "v" in the caller's variable. The on-screen test decides whether a
// (missing) file is even opened; modes other than pset, and, or load without drawing.
TEST_F(ImageTest, WhenPicturesAreLoadedAndDrawn) {
    put("abcdefg.08x", solid_picture(2, 2, 5)), put("abcdefgh.08v", solid_picture(2, 2, 6));
    std::string names[] = {"abcdefg.08x", "abcdefgh.08x", "abcdefgh.08xyz"}, mode = "pset";
    const std::string after[] = {"abcdefg.08x", "abcdefgh.08v", "abcdefgh.08vyz"};
    const int shown[] = {5, 6, 6}, err[] = {0, 0, ERR_FILE_NOT_FOUND};
    for (int i = 0, x = 0; i < 3; ++i) {
        EXPECT_EQ(error_of([&] { GRAPHICPUT(s, names[i], x, x, mode); }) * 100 + px(0, 0), err[i] * 100 + shown[i]);
        EXPECT_EQ(names[i], after[i]);
    }
    const int tries[][3] = {{616, 0, 2}, {617, 0, 0}, {0, 327, 0}, {INT32_MAX, 0, 0}};
    for (auto& t : tries) EXPECT_EQ(draw("missing.pic", t[0], t[1]), t[2]) << t[0] << "," << t[1];
    EXPECT_EQ(draw(""), 0);
    put("p.pic", solid_picture(4, 4, 9)), s.screen.pixels.fill(3);
    EXPECT_EQ(draw("p.pic", 0, 0, "PSET") * 1000 + s.SCN[4] * 100 + px(0, 0), 903);  // loaded, not drawn
}

// Block data shorter than its length loads what it has; longer is cut at the buffer's end.
TEST_F(ImageTest, BlockFileLengths) {
    s.SCN.fill(0x55);
    ASSERT_EQ(load(solid_picture(10, 30, 0xAA).substr(0, 7 + 200)), 0);
    EXPECT_EQ(s.SCN[199] * 256 + s.SCN[200], 0xAA55);
    ASSERT_EQ(load(long_block(ramp(3000))), 0);
    EXPECT_EQ(s.SCN[2351], 2351 % 256);
    for (const std::string& bad : {""s, "Zxxxxxxxx"s, "\xFD\0\0"s}) EXPECT_EQ(load(bad), ERR_FILE_IO) << bad.size();
}

// Pixel (x, y) of picture (px, py) lands at (x + px, y + py) when on the screen and inside the buffer.
TEST_F(ImageTest, HeaderWordsClippingAndTheBufferEnd) {
    auto r16 = [](char word) { return long_block(std::string{word, 0, 16, 0} + ramp(256)); };  // pixel 16 y + x
    const std::string pitch = long_block(ramp(30, 1), {7, 1, 4, 3, 10});
    const std::string huge = long_block(ramp(32, 5), {7, 1, INT32_MAX, INT32_MAX, INT32_MAX});
    const std::vector<std::array<int, 3>> whole16 = {
        {20, 10, 0}, {25, 17, 7 * 16 + 5}, {35, 25, 255}, {36, 10, 0xEE}, {20, 26, 0xEE}};
    struct Case {
        std::string pic;
        int x, y;
        std::vector<std::array<int, 3>> probes;
    };  // screen x, y, value
    const Case cases[] = {
        {r16(char(129)), 20, 10, whole16},
        {r16(char(128)), 20, 10, whole16},  // header words 129 and 128 alike
        {r16(char(129)), 310, 190, {{310, 190, 0}, {319, 199, 9 * 16 + 9}, {309, 199, 0xEE}}},
        {r16(char(129)), -3, -2, {{0, 0, 2 * 16 + 3}, {12, 13, 255}, {13, 0, 0xEE}, {0, 14, 0xEE}}},
        {pitch, 0, 0, {{3, 0, 4}, {0, 2, 21}, {4, 0, 0xEE}}},  // long header: rows follow the pitch
        {huge, 0, 0, {{0, 0, 5}, {0, 1, 0xEE}}},               // rows past the buffer are not drawn
        {block_picture(48, 60, std::vector<uint8_t>(48 * 60, 9)), 0, 0, {{47, 47, 9}, {43, 48, 9}, {44, 48, 0xEE}}},
    };
    for (const Case& c : cases) {
        put("c.pic", c.pic);
        s.screen.pixels.fill(0xEE);
        EXPECT_EQ(draw("c.pic", c.x, c.y), 0);
        for (auto [x, y, v] : c.probes) EXPECT_EQ(px(x, y), v) << "case " << &c - cases << " at " << x << "," << y;
    }
    put("w.pic", long_block("\x22\0\4\0"s + std::string(32, '\1')));  // 2 bytes a pixel
    EXPECT_EQ(draw("w.pic"), ERR_ILLEGAL_FUNCTION_CALL);
}

// "or" and "and" combine bits with what the screen holds (pset: every drawn picture).
TEST_F(ImageTest, PutModesOrAndAnd) {
    put("p", solid_picture(8, 8, 0x3C));
    s.screen.pixels.fill(0x0F);
    draw("p", 20, 20, "or"), draw("p", 30, 30, "and");
    EXPECT_EQ(std::tuple(px(20, 20), px(27, 27), px(30, 30), px(28, 28)), std::tuple(0x3F, 0x3F, 0x0C, 0x0F));
}

// BMP rows of 1, 4 and 8 bits, either order, either header, land in the buffer as one byte a pixel.
TEST_F(ImageTest, BmpDecodes) {
    const auto one_bit = [](int x, int y) { return (x * 7 + y) % 3 == 0; };
    const Bmp cases[] = {
        {.width = 5, .height = 3},
        {.width = 7, .height = -4, .bpp = 4},
        {.info_size = 12, .width = 19, .height = 3, .bpp = 1, .pixel = one_bit},
        {.info_size = 124, .width = 19, .height = 3, .bpp = 1, .pixel = one_bit},
        {.bpp = 4, .zero_offset = true},  // mended: offset 0 means the rows follow the colour table
        {.info_size = 12, .bpp = 4, .zero_offset = true},
    };
    ASSERT_EQ(load(Bmp{.bpp = 1, .colours = {{1, 2, 3}, {250, 251, 252}}}.bytes()), 0);  // table entries from 0
    EXPECT_EQ(s.screen.palette[1], (Rgb{250, 251, 252}));
    EXPECT_EQ(s.screen.palette[2], kVgaDefaultPalette[2]);  // past the table: untouched
    for (const Bmp& b : cases) {
        SCOPED_TRACE(testing::Message() << b.info_size << "-byte header, " << b.bpp << " bits, h " << b.height);
        s.SCN.fill(0);
        ASSERT_EQ(load(b.bytes()), 0);
        EXPECT_EQ(word(0) * 1000 + word(2), (b.width * 8 + 1) * 1000 + std::abs(b.height));
        for (int i = 0; i < b.width * std::abs(b.height); ++i)
            ASSERT_EQ(s.SCN[size_t(4 + i)], b.pixel(i % b.width, i / b.width) & ((1 << b.bpp) - 1)) << i;
    }
}

// kept: a header left in the buffer by the last picture limits size and row distance.
// A picture larger than the buffer stores the rows that fit (the top ones, at the file's end).
TEST_F(ImageTest, BmpIntoABufferHoldingAHeaderOrTooLargeForIt) {
    const Bmp big{.width = 9, .height = 8};
    ASSERT_EQ(load(solid_picture(6, 5, 7)) + load(big.bytes()), 0);
    EXPECT_EQ(word(0) * 1000 + word(2), 49005);
    EXPECT_EQ(s.SCN[4 + 4 * 6 + 5] * 1000 + s.SCN[4 + 5 * 6], big.pixel(5, 4) * 1000);
    s.SCN.fill(0);
    const Bmp large{.width = 200, .height = 100, .pixel = [](int x, int y) { return (x + y * 13) % 256; }};
    std::string bytes = large.bytes();
    ASSERT_GT(bytes.size(), 16384u);  // more than one read: the rows that fit are fetched after it
    ASSERT_EQ(load(bytes), 0);
    EXPECT_EQ(s.SCN[4 + 10 * 200 + 7], large.pixel(7, 10));
    EXPECT_EQ(s.SCN[2351], large.pixel(147, 11));
    bytes.pop_back();  // cut short past the first read: refused before the palette changes
    const uint32_t serial = s.screen.palette_serial;
    EXPECT_EQ(load(bytes), ERR_FILE_IO);
    EXPECT_EQ(s.screen.palette_serial, serial);
}

// A spoiled mark, info header size, plane count (2) or compression (run-length), a header or rows
// cut short, no width and 2 bits are file errors; 24 bits is an illegal call.
TEST_F(ImageTest, MalformedBmpsAreFileErrorsAnd24BitIsIllegal) {
    const uint32_t serial = s.screen.palette_serial;
    const std::string good = Bmp{}.bytes();
    auto spoiled = [&](size_t at, char v) { return good.substr(0, at) + v + good.substr(at + 1); };
    const std::string bad[] = {spoiled(1, 'X'),         spoiled(14, 20),      spoiled(26, 2),
                               spoiled(30, 1),          good.substr(0, 30),   good.substr(0, good.size() - 1),
                               Bmp{.width = 0}.bytes(), Bmp{.bpp = 2}.bytes()};
    for (const std::string& f : bad) EXPECT_EQ(load(f), ERR_FILE_IO) << &f - bad;
    EXPECT_EQ(load(Bmp{.bpp = 24}.bytes()), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(s.screen.palette_serial, serial);  // no refused picture touched the palette
}

}  // namespace
}  // namespace tlvx::test
