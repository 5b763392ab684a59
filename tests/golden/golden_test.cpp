// Golden replays: a fixture world, a key script and a simulated clock run through `tlvx-tool run` (or a
// session recorded in the window, replayed); the trace, the exit status with the error report, the save file,
// the three map layers and the final screen are compared with the expected files under tests/golden/cases/<case>/.
// Screens are compared by their decoded pixels, so another libpng or zlib packing the same picture into other
// bytes does not fail them. Set TLVX_UPDATE_GOLDEN=1 to rewrite the expected files, on purpose only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "golden/golden_cases.hpp"
#include "support/test_support.hpp"

using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Replay) {
    const GoldenCase& c = GetParam();
    const fs::path expected = fs::path(TLVX_TESTS_DIR) / "golden" / "cases" / c.name;
    TempDir dir;
    const std::string world = dir.file("world");
    fs::create_directory(world);
    c.make_world(world);
    const int status = play_natively(c, world, dir.path());
    std::vector<std::pair<std::string, std::string>> files = {
        {"result.txt", "exit " + std::to_string(status) + "\n" + read_file(dir.file("native.err"))}};
    for (const std::string f : {"screen.png", "trace.csv"})
        if (f != "trace.csv" || !c.recording) files.emplace_back(f, read_file(dir.file(f)));
    for (const std::string f : {"Pndx_001.sav", "tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"})
        files.emplace_back(f, file_exists(world + "/" + f) ? read_file(world + "/" + f) : std::string("(missing)"));
    if (std::getenv("TLVX_UPDATE_GOLDEN")) {
        fs::create_directories(expected);
        for (auto& [name, bytes] : files) write_file((expected / name).string(), bytes);
        GTEST_SKIP() << "expected files rewritten in " << expected;
    }
    for (auto& [name, bytes] : files) {
        const fs::path p = expected / name;
        ASSERT_TRUE(fs::exists(p)) << "no expected file " << p << " (run with TLVX_UPDATE_GOLDEN=1 once)";
        if (name != "screen.png") {
            EXPECT_EQ(bytes, read_file(p.string())) << name << " differs from " << p;
            continue;
        }
        const std::string got = decoded_png(bytes), kept = "/tmp/tlvx-golden-" + c.name + "-screen.png";
        ASSERT_FALSE(got.empty()) << "this run's screen is no readable PNG";
        if (got == decoded_png(read_file(p.string()))) continue;
        write_file(kept, bytes);
        ADD_FAILURE() << "screen differs from " << p << "; this run's screen is kept as " << kept;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden_cases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& i) { return i.param.name; });

}  // namespace
