// Golden replays: a fixture world, a key script and a simulated clock run
// through `tlvx-tool run` (or a session recorded in the window, replayed); the trace, the exit status with the error
// report, the save file, the three map layers and the final screen are compared with the expected files under
// tests/golden/cases/<case>/. Screens are compared by their decoded pixels, so another libpng or zlib that packs the
// same picture into other bytes does not fail them. Set TLVX_UPDATE_GOLDEN=1 to rewrite the expected files, on purpose
// only.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "golden/golden_cases.hpp"
#include "support/test_support.hpp"

using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) { return "'" + s + "'"; }

// The picture in PNG bytes as "WxH" and its RGB rows; "" when it cannot be decoded.
std::string decoded_png(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return "";
    image.format = PNG_FORMAT_RGB;
    std::string rgb(PNG_IMAGE_SIZE(image), '\0');
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return "";
    }
    return std::to_string(image.width) + "x" + std::to_string(image.height) + "\n" + rgb;
}

// Runs the case and returns the files to compare, by name.
std::vector<std::pair<std::string, std::string>> run_case(const GoldenCase& c, const TempDir& dir) {
    std::string world = dir.file("world");
    fs::create_directory(world);
    if (c.make_world) c.make_world(world);
    write_file(dir.file("keys.txt"), c.keys);
    const std::string input =
        c.recording ? " --replay " +
                          quote((fs::path(TLVX_TESTS_DIR) / "golden" / "cases" / c.name / "session.tlvxrec").string())
                    : " --keys " + quote(dir.file("keys.txt")) + " --clock " + c.clock + " --passes " +
                          std::to_string(c.passes) + " --trace " + quote(dir.file("trace.csv"));
    std::string cmd = std::string(TLVX_TOOL) + " run --data " + quote(world) + input + " --screenshot " +
                      quote(dir.file("screen.png")) + " 2>" + quote(dir.file("stderr.txt"));
    int status = std::system(cmd.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::vector<std::pair<std::string, std::string>> out;
    out.emplace_back("result.txt", "exit " + std::to_string(code) + "\n" + read_file(dir.file("stderr.txt")));
    if (!c.recording) out.emplace_back("trace.csv", read_file(dir.file("trace.csv")));
    for (const std::string& f : c.files) {
        std::string p = world + "/" + f;
        out.emplace_back(f, file_exists(p) ? read_file(p) : std::string("(missing)"));
    }
    if (c.screenshot) out.emplace_back("screen.png", read_file(dir.file("screen.png")));
    return out;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Replay) {
    const GoldenCase& c = GetParam();
    SCOPED_TRACE(c.note);
    TempDir dir;
    auto files = run_case(c, dir);
    fs::path expected = fs::path(TLVX_TESTS_DIR) / "golden" / "cases" / c.name;
    if (std::getenv("TLVX_UPDATE_GOLDEN")) {
        fs::create_directories(expected);
        for (auto& [name, bytes] : files) write_file((expected / name).string(), bytes);
        GTEST_SKIP() << "expected files rewritten in " << expected;
    }
    for (auto& [name, bytes] : files) {
        fs::path p = expected / name;
        ASSERT_TRUE(fs::exists(p)) << "no expected file " << p << " (run with TLVX_UPDATE_GOLDEN=1 once)";
        std::string want = read_file(p.string());
        if (name == "screen.png") {
            const std::string got_pixels = decoded_png(bytes);
            ASSERT_FALSE(got_pixels.empty()) << "this run's screen is no readable PNG";
            ASSERT_FALSE(decoded_png(want).empty()) << p << " is no readable PNG";
            if (got_pixels == decoded_png(want)) continue;
            std::string kept = "/tmp/tlvx-golden-" + c.name + "-screen.png";
            write_file(kept, bytes);
            ADD_FAILURE() << "screen differs from " << p << "; this run's screen is kept as " << kept;
            continue;
        }
        EXPECT_EQ(bytes, want) << name << " differs from " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden_cases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& i) { return i.param.name; });

}  // namespace
