#pragma once
// The golden cases: a world, a key script, a simulated clock and a number of passes each. The
// native replays (golden_test.cpp) and the web program's test mode (tests/web) play the same ones.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tlvx::test {

struct GoldenCase {
    std::string name;
    std::function<void(const std::string& dir)> make_world;
    std::string keys = "";
    std::string clock = "1000:0.01";
    int passes = 100;
    // A session recorded in the window (cases/<name>/session.tlvxrec) replayed
    // instead of keys and a simulated clock; its trace is not kept (thousands of passes).
    bool recording = false;
};
// Test logs name a case rather than dumping its bytes.
inline void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

std::vector<GoldenCase> golden_cases();
// The case called `name`; throws when there is none.
GoldenCase golden_case(const std::string& name);

// Plays `c` with `tlvx-tool run` on the world in `world` (made by `c.make_world`); the keys,
// the trace, the last screen (screen.png) and the standard error (native.err) are files in
// `dir`. Returns the exit status.
int play_natively(const GoldenCase& c, const std::string& world, const std::string& dir);

// The picture in PNG bytes as "WxH" and its RGB rows; "" when it cannot be decoded.
std::string decoded_png(const std::string& bytes);

}  // namespace tlvx::test
