// The picture loader and the blit: any file bytes as a picture (block layouts,
// BMP, anything else), loaded twice so that the second load meets the header
// the first one left in the image buffer, each load followed by a blit at a
// position and with a mode taken from the input.
// The image buffer and the screen are arrays inside the State, where the
// address sanitizer cannot see a small overrun; the members around them are
// checked to be untouched instead.
#include <cstring>
#include <memory>
#include <string>

#include "base/error.hpp"
#include "base/state.hpp"
#include "display/image.hpp"
#include "fuzz_support.hpp"

using namespace tlvx;
using tlvx::fuzz::check;

namespace {

const char* const kModes[] = {"pset", "and", "or", "PSET"};

struct Guard {
    const State& s;
    uint32_t rnd;
    int64_t pass;
    std::array<Rgb, 256> palette;
    int32_t row, col;
    explicit Guard(const State& st)
        : s(st), rnd(st.rnd_state), pass(st.pass), palette(st.screen.palette), row(st.screen.row), col(st.screen.col) {}
    void after_load() const { check(s.rnd_state == rnd && s.pass == pass, "a load stays inside the image buffer"); }
    void after_blit() const {
        after_load();
        check(s.screen.palette == palette && s.screen.row == row && s.screen.col == col,
              "a blit stays inside the screen");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // Positions from -64 to 383 and -64 to 191 reach past every screen edge.
    const int32_t x = static_cast<int32_t>(data[0]) * 7 / 4 - 64;
    const int32_t y = static_cast<int32_t>(data[1]) - 64;
    const char* mode = kModes[data[2] % 4];
    fuzz::put_file("pic", fuzz::as_text(data + 3, size - 3));

    State& s = fuzz::fresh_state();
    s.screen.open = true;
    s.rnd_state = 0x5A5A5A;
    s.pass = 77;
    for (int round = 0; round < 2; ++round) {
        Guard g(s);
        try {
            load_image(s, "pic");
        } catch (const RuntimeError& e) {
            g.after_load();
            check(e.number() == ERR_FILE_IO || e.number() == ERR_ILLEGAL_FUNCTION_CALL,
                  "a bad picture is a file I/O error or an illegal function call");
            check(std::string(e.what()).find("\"pic\"") != std::string::npos, "the report names the picture");
            return 0;
        }
        g.after_load();
        Guard b(s);
        try {
            blit_image(s, x, y, mode);
        } catch (const RuntimeError& e) {
            check(e.number() == ERR_ILLEGAL_FUNCTION_CALL,
                  "a picture that cannot be drawn is an illegal function call");
        }
        b.after_blit();
    }
    return 0;
}
