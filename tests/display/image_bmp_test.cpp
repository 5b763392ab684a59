#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

using BmpTest = ScreenFixture;

uint16_t word_at(const State& s, size_t i) { return static_cast<uint16_t>(s.SCN[i] | s.SCN[i + 1] << 8); }

std::vector<Rgb> ramp_colours(int n) {
    std::vector<Rgb> c;
    for (int i = 0; i < n; ++i)
        c.push_back(Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 2)});
    return c;
}

// Loads `bmp` into a fresh buffer and checks the short header and every pixel.
void expect_loaded(BmpTest& t, const Bmp& bmp, const char* what) {
    t.s.SCN.fill(0);
    t.put("p.bmp", bmp.bytes());
    load_image(t.s, "p.bmp");
    const int h = bmp.height < 0 ? -bmp.height : bmp.height;
    EXPECT_EQ(word_at(t.s, 0), bmp.width * 8 + 1) << what;
    EXPECT_EQ(word_at(t.s, 2), h) << what;
    const int mask = (1 << bmp.bpp) - 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < bmp.width; ++x)
            ASSERT_EQ(t.s.SCN[static_cast<size_t>(4 + y * bmp.width + x)], bmp.pixel(x, y) & mask)
                << what << " x " << x << " y " << y;
}

TEST_F(BmpTest, DecodesOneFourAndEightBitsInBothRowOrdersAndHeaderSizes) {
    Bmp b;
    b.width = 5, b.height = 3, b.bpp = 8;  // rows padded from 5 to 8 bytes
    expect_loaded(*this, b, "8-bit bottom-up, 40-byte header");
    b.height = -3;
    expect_loaded(*this, b, "8-bit top-down");
    b.bpp = 4, b.width = 7, b.height = -4;
    expect_loaded(*this, b, "4-bit top-down");
    b.height = 4;
    b.info_size = 12;
    expect_loaded(*this, b, "4-bit bottom-up, 12-byte header");
    b.bpp = 1, b.width = 19, b.height = 3;
    b.pixel = [](int x, int y) { return (x * 7 + y) % 3 == 0; };
    expect_loaded(*this, b, "1-bit, 12-byte header");
    b.info_size = 40;
    expect_loaded(*this, b, "1-bit, 40-byte header");
    b.info_size = 124;
    expect_loaded(*this, b, "1-bit, 124-byte header");
}

TEST_F(BmpTest, ColourTableReplacesPaletteEntriesFromZero) {
    Bmp b;
    b.bpp = 4;
    b.colours = ramp_colours(16);
    const uint32_t serial = s.screen.palette_serial;
    put("p.bmp", b.bytes());
    load_image(s, "p.bmp");
    EXPECT_EQ(s.screen.palette[0], (Rgb{0, 255, 0}));
    EXPECT_EQ(s.screen.palette[15], (Rgb{15, 240, 30}));
    EXPECT_EQ(s.screen.palette[16], (Rgb{0, 0, 0}));  // default grey ramp start, untouched
    EXPECT_EQ(s.screen.palette[17], (Rgb{20, 20, 20}));
    EXPECT_GT(s.screen.palette_serial, serial);

    b.info_size = 12, b.bpp = 1;
    b.colours = {Rgb{1, 2, 3}, Rgb{250, 251, 252}};
    put("q.bmp", b.bytes());
    load_image(s, "q.bmp");
    EXPECT_EQ(s.screen.palette[1], (Rgb{250, 251, 252}));
    EXPECT_EQ(s.screen.palette[2], (Rgb{2, 253, 4}));  // from the first load
}

TEST_F(BmpTest, AHeaderInTheBufferLimitsThePicture) {
    // kept behaviour: a short header left by the last picture sets the size limits
    // and the row distance, and stays.
    put("block.pic", solid_picture(6, 5, 7));
    load_image(s, "block.pic");
    Bmp big;
    big.width = 9, big.height = 8;
    put("big.bmp", big.bytes());
    load_image(s, "big.bmp");
    EXPECT_EQ(word_at(s, 0), 6 * 8 + 1);
    EXPECT_EQ(word_at(s, 2), 5);
    EXPECT_EQ(s.SCN[4 + 4 * 6 + 5], big.pixel(5, 4));
    EXPECT_EQ(s.SCN[4 + 5 * 6], 0);  // nothing is written behind the 5 rows
    Bmp small;
    small.width = 2, small.height = 2;
    small.pixel = [](int, int) { return 200; };
    put("small.bmp", small.bytes());
    load_image(s, "small.bmp");
    EXPECT_EQ(s.SCN[4 + 6], 200);  // row 1 starts 6 bytes on
    EXPECT_EQ(s.SCN[4 + 2], big.pixel(2, 0));

    // A long header: 4 by 3 at a pitch of 10, cut to it and kept.
    s.SCN.fill(0);
    const uint32_t words[] = {7, 1, 4, 3, 10};
    for (int k = 0; k < 5; ++k)
        for (int b = 0; b < 4; ++b) s.SCN[static_cast<size_t>(4 * k + b)] = static_cast<uint8_t>(words[k] >> (8 * b));
    load_image(s, "big.bmp");
    EXPECT_EQ(s.SCN[0], 7);
    EXPECT_EQ(s.SCN[32 + 2 * 10 + 3], big.pixel(3, 2));
    EXPECT_EQ(s.SCN[32 + 4], 0);
    EXPECT_EQ(s.SCN[32 + 3 * 10], 0);
}

TEST_F(BmpTest, ZeroDataOffsetMeansRowsFollowTheColourTable) {
    Bmp b;
    b.zero_offset = true;
    b.bpp = 4;
    expect_loaded(*this, b, "offset 0, 40-byte header");
    b.info_size = 12;
    expect_loaded(*this, b, "offset 0, 12-byte header");
}

TEST_F(BmpTest, LargePictureFillsOnlyTheBuffer) {
    // 200 by 100 bottom-up: the file is larger than the first read, the top rows
    // are at its end, and only 11 rows and 148 pixels fit the buffer.
    Bmp b;
    b.width = 200, b.height = 100;
    b.pixel = [](int x, int y) { return (x + y * 13) % 256; };
    put("large.bmp", b.bytes());
    load_image(s, "large.bmp");
    EXPECT_EQ(word_at(s, 0), 200 * 8 + 1);
    EXPECT_EQ(s.SCN[4], 0);
    EXPECT_EQ(s.SCN[4 + 10 * 200 + 7], b.pixel(7, 10));
    EXPECT_EQ(s.SCN[2351], b.pixel(147, 11));
}

TEST_F(BmpTest, MalformedAndUnsupportedPicturesAreRefused) {
    auto refused = [&](const Bmp& b, const std::function<void(std::string&)>& spoil = nullptr) {
        std::string f = b.bytes();
        if (spoil) spoil(f);
        put("bad.bmp", f);
        return error_of([&] { load_image(s, "bad.bmp"); });
    };
    const uint32_t serial = s.screen.palette_serial;
    Bmp b;
    EXPECT_EQ(refused(b, [](std::string& f) { f[1] = 'X'; }), ERR_FILE_IO);
    EXPECT_EQ(refused(b, [](std::string& f) { f[14] = 20; }), ERR_FILE_IO);       // info header size
    EXPECT_EQ(refused(b, [](std::string& f) { f.resize(30); }), ERR_FILE_IO);     // headers cut short
    EXPECT_EQ(refused(b, [](std::string& f) { f.resize(100); }), ERR_FILE_IO);    // colour table cut short
    EXPECT_EQ(refused(b, [](std::string& f) { f.pop_back(); }), ERR_FILE_IO);     // last row cut short
    Bmp v = b;
    v.planes = 2;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.width = 0;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.height = 0;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.compression = 4;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.compression = 1, v.height = -4;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.compression = 1;  // run-length compression is not decoded
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.bpp = 4, v.compression = 2;
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.bpp = 2;  // 2 bits per pixel are not decoded
    EXPECT_EQ(refused(v), ERR_FILE_IO);
    v = b, v.bpp = 24;
    EXPECT_EQ(refused(v), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(s.screen.palette_serial, serial);  // no refused picture touched the palette
    EXPECT_EQ(word_at(s, 0), 0);
}

}  // namespace
}  // namespace tlvx::test
