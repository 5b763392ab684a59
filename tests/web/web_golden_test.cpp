// The web program in its test mode against the native headless runner: the same golden case (world,
// key script, simulated clock, passes) played by `tlvx-tool run` and by the page in headless Chromium
// (run_page.mjs) must end with the same 320x200 picture and the same world files, byte for byte.
// Without the site ($TLVX_WEB_SITE, else the configured one) the page's run is skipped, unless
// $TLVX_WEB_REQUIRED is set, when it fails.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "base/world_lock.hpp"
#include "golden/golden_cases.hpp"
#include "support/test_support.hpp"

using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) { return "'" + s + "'"; }

// The world's files by name, with their bytes; the lock file the native runner holds is not part of the world.
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != tlvx::kWorldLockName)
            files[e.path().filename().string()] = read_file(e.path().string());
    return files;
}

// "" when the RGB rows of `png` (as decoded_png gives them) show the picture of `rgba`, else how they differ.
std::string screen_difference(const std::string& png, const std::string& rgba) {
    const std::string head = "320x200\n";
    if (png.rfind(head, 0) != 0 || rgba.size() != 320u * 200u * 4u) return "the pictures are not both 320x200";
    int differ = 0;
    for (size_t i = 0; i < 320 * 200; ++i)
        differ += png.compare(head.size() + i * 3, 3, rgba, i * 4, 3) != 0 || rgba[i * 4 + 3] != '\xff';
    return differ ? std::to_string(differ) + " pixels differ" : "";
}

class WebGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(WebGolden, SameAsNativeRunner) {
    const std::string site = std::getenv("TLVX_WEB_SITE") ? std::getenv("TLVX_WEB_SITE") : TLVX_WEB_SITE;
    const GoldenCase c = golden_case(GetParam());
    TempDir dir;
    const std::string native = dir.file("native"), web = dir.file("web"), out = dir.file("out");
    fs::create_directory(native);
    c.make_world(native);
    fs::copy(native, web);
    write_file(dir.file("keys.txt"), c.keys);

    const int status =
        std::system((std::string(TLVX_TOOL) + " run --data " + quote(native) + " --keys " +
                     quote(dir.file("keys.txt")) + " --clock " + c.clock + " --passes " + std::to_string(c.passes) +
                     " --screenshot " + quote(dir.file("screen.png")) + " 2>" + quote(dir.file("native.err")))
                        .c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(dir.file("native.err"));

    const int page =
        std::system((std::string(TLVX_NODE) + " --no-warnings " + quote(TLVX_WEB_TESTS + std::string("/run_page.mjs")) +
                     " " + quote(site) + " " + quote(web) + " " + quote(dir.file("keys.txt")) + " " + c.clock + " " +
                     std::to_string(c.passes) + " " + quote(out) + " >" + quote(dir.file("page.log")) + " 2>&1")
                        .c_str());
    if (WIFEXITED(page) && WEXITSTATUS(page) == 77) GTEST_SKIP() << read_file(dir.file("page.log"));
    ASSERT_TRUE(WIFEXITED(page) && WEXITSTATUS(page) == 0) << "the page's run failed:\n"
                                                           << read_file(dir.file("page.log"));
    const std::string result = read_file(out + "/result.json");
    ASSERT_NE(result.find("\"state\": \"ended\""), std::string::npos) << "the page did not end as the runner did:\n"
                                                                      << result;

    EXPECT_EQ(screen_difference(decoded_png(read_file(dir.file("screen.png"))), read_file(out + "/screen.rgba")), "")
        << "the page's final picture";
    const auto want = files_of(native), got = files_of(out + "/files");
    for (const auto& [name, bytes] : want)
        EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name << " is missing or differs in the page's world";
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(want.count(name)) << name << " is in the page's world and not in the native one";
}

// A session recorded in the page as a player plays it (Record, steps and edits by key, Stop) and
// downloaded replays natively, on the world the recording keeps, to the page's very files and
// last screen: the page records what the game took, in the format the native programs read.
// And the other way: a recording made natively, watched in the page, ends on the native run's
// last screen, and the player's world stays as it was.
TEST(WebRecording, PageAndNativeRecordingsPlayInTheOther) {
    const std::string site = std::getenv("TLVX_WEB_SITE") ? std::getenv("TLVX_WEB_SITE") : TLVX_WEB_SITE;
    TempDir dir;
    const std::string out = dir.file("out"), world = dir.file("replayed"), demo = dir.file("demo");
    const std::string tool = TLVX_TOOL;
    write_file(dir.file("keys.txt"), "3 y\n8 right\n12 +\n16 ]\n20 down\n30 f\n");
    const int native = std::system(
        (tool + " demo " + quote(demo) + " >/dev/null && " + tool + " run --data " + quote(demo) + " --keys " +
         quote(dir.file("keys.txt")) + " --clock 1000:0.05 --passes 60 --record " + quote(dir.file("native.tlvxrec")) +
         " --screenshot " + quote(dir.file("native.png")) + " 2>" + quote(dir.file("native.err")))
            .c_str());
    ASSERT_TRUE(WIFEXITED(native) && WEXITSTATUS(native) == 0) << read_file(dir.file("native.err"));
    const int page =
        std::system((std::string(TLVX_NODE) + " --no-warnings " +
                     quote(TLVX_WEB_TESTS + std::string("/record_page.mjs")) + " " + quote(site) + " " + quote(out) +
                     " " + quote(dir.file("native.tlvxrec")) + " >" + quote(dir.file("page.log")) + " 2>&1")
                        .c_str());
    if (WIFEXITED(page) && WEXITSTATUS(page) == 77) GTEST_SKIP() << read_file(dir.file("page.log"));
    ASSERT_TRUE(WIFEXITED(page) && WEXITSTATUS(page) == 0) << "the page's session failed:\n"
                                                           << read_file(dir.file("page.log"));

    const int status = std::system((std::string(TLVX_TOOL) + " run --data " + quote(world) + " --replay " +
                                    quote(out + "/session.tlvxrec") + " --world-from-recording --screenshot " +
                                    quote(dir.file("screen.png")) + " 2>" + quote(dir.file("native.err")))
                                       .c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(dir.file("native.err"));
    EXPECT_EQ(screen_difference(decoded_png(read_file(dir.file("screen.png"))), read_file(out + "/screen.rgba")), "")
        << "the page's last screen of the recorded game";
    const auto want = files_of(world), got = files_of(out + "/files");
    ASSERT_FALSE(want.empty());
    for (const auto& [name, bytes] : want)
        EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name << " is missing or differs in the page's world";
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(want.count(name)) << name << " is in the page's world and not in the replayed one";

    EXPECT_EQ(screen_difference(decoded_png(read_file(dir.file("native.png"))), read_file(out + "/watched.rgba")), "")
        << "the last screen of the native recording watched in the page";
    EXPECT_TRUE(files_of(out + "/watched-files") == got) << "watching a recording changed the player's world";
}

// Walking into blocks and over a bridge, road-following at a fork, every editing key, creatures moving.
INSTANTIATE_TEST_SUITE_P(Cases, WebGolden,
                         ::testing::Values("walk_with_blocks", "road_following", "editing_session", "creatures_moving"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
