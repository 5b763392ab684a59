// Picture files larger than the first read of a load.
#include "display_fixture.hpp"

namespace tlvx::test {
namespace {

// The rows of a BMP beyond the first read are fetched after it; a file cut
// short there is refused before its colour table reaches the palette.
TEST(PictureFile, BmpRowsBeyondTheFirstReadAndAFileCutShortThere) {
    struct Fixture : ScreenFixture {
        void TestBody() override {}
    } f;
    Bmp large;
    large.width = 240, large.height = 100;
    large.pixel = [](int x, int y) { return (x * 3 + y * 7) % 256; };
    std::string bytes = large.bytes();
    ASSERT_GT(bytes.size(), 16384u);  // more than one read buffer
    f.put("large.bmp", bytes);
    ASSERT_EQ(error_of([&] { load_image(f.s, "large.bmp"); }), 0);
    // Bottom row first: the top rows, the ones that fit the buffer, lie at the end of the file.
    EXPECT_EQ(f.s.SCN[4 + 9 * 240 + 11], large.pixel(11, 9));

    bytes.pop_back();
    f.put("cut.bmp", bytes);
    const uint32_t serial = f.s.screen.palette_serial;
    EXPECT_EQ(error_of([&] { load_image(f.s, "cut.bmp"); }), ERR_FILE_IO);
    EXPECT_EQ(f.s.screen.palette_serial, serial);
}

}  // namespace
}  // namespace tlvx::test
