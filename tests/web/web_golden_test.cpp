// The web program in its test mode against the native headless runner: the same golden case (world,
// key script, simulated clock, passes) played by `tlvx-tool run` and by the page in headless Chromium
// (run_page.mjs) must end with the same 320x200 picture and the same world files, byte for byte.
// Without the site ($TLVX_WEB_SITE, else the configured one) the page's run is skipped, unless
// $TLVX_WEB_REQUIRED is set, when it fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "base/world_lock.hpp"
#include "golden/golden_cases.hpp"
#include "support/test_support.hpp"

using namespace tlvx::test;
namespace fs = std::filesystem;

namespace {

// The world's files by name, with their bytes; the lock file the native runner holds is not part of the world.
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != tlvx::kWorldLockName)
            files[e.path().filename().string()] = read_file(e.path().string());
    return files;
}

// The page's world `got` holds the files of the `other` world `want`, byte for byte, and no more.
void expect_same_files(const std::map<std::string, std::string>& want, const std::map<std::string, std::string>& got,
                       const char* other) {
    for (const auto& [name, bytes] : want)
        EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name << " is missing or differs in the page's world";
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(want.count(name)) << name << " is in the page's world and not in the " << other << " one";
}

// "" when the PNG file `png` and the page's RGBA file `rgba` show the same 320x200 picture, else how they differ.
std::string screen_difference(const std::string& png_file, const std::string& rgba_file) {
    const std::string head = "320x200\n", png = decoded_png(read_file(png_file)), rgba = read_file(rgba_file);
    if (png.rfind(head, 0) != 0 || rgba.size() != 320u * 200u * 4u) return "the pictures are not both 320x200";
    int differ = 0;
    for (size_t i = 0; i < 320 * 200; ++i)
        differ += png.compare(head.size() + i * 3, 3, rgba, i * 4, 3) != 0 || rgba[i * 4 + 3] != '\xff';
    return differ ? std::to_string(differ) + " pixels differ" : "";
}

// The exit status of the page script `script` (tests/web) run by Node on the site with `args`, its
// output in `log`.
int run_page_script(const std::string& script, const std::string& args, const std::string& log) {
    const char* site = std::getenv("TLVX_WEB_SITE");
    return shell_status(std::string(TLVX_NODE) + " --no-warnings " + sh_quote(TLVX_WEB_TESTS + ("/" + script)) + " " +
                        sh_quote(site ? site : TLVX_WEB_SITE) + " " + args + " >" + sh_quote(log) + " 2>&1");
}

class WebGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(WebGolden, SameAsNativeRunner) {
    const GoldenCase c = golden_case(GetParam());
    TempDir dir;
    const std::string native = dir.file("native"), web = dir.file("web"), out = dir.file("out");
    fs::create_directory(native);
    c.make_world(native);
    fs::copy(native, web);
    ASSERT_EQ(play_natively(c, native, dir.path()), 0) << read_file(dir.file("native.err"));

    const int page = run_page_script("run_page.mjs",
                                     sh_quote(web) + " " + sh_quote(dir.file("keys.txt")) + " " + c.clock + " " +
                                         std::to_string(c.passes) + " " + sh_quote(out),
                                     dir.file("page.log"));
    if (page == 77) GTEST_SKIP() << read_file(dir.file("page.log"));
    ASSERT_EQ(page, 0) << "the page's run failed:\n" << read_file(dir.file("page.log"));
    const std::string result = read_file(out + "/result.json");
    ASSERT_NE(result.find("\"state\": \"ended\""), std::string::npos) << "the page did not end as the runner did:\n"
                                                                      << result;

    EXPECT_EQ(screen_difference(dir.file("screen.png"), out + "/screen.rgba"), "") << "the page's final picture";
    expect_same_files(files_of(native), files_of(out + "/files"), "native");
}

// A session recorded in the page as a player plays it (Record, steps and edits by key, Stop) and
// downloaded replays natively, on the world the recording keeps, to the page's very files and
// last screen: the page records what the game took, in the format the native programs read.
// And the other way: a recording made natively, watched in the page, ends on the native run's
// last screen, and the player's world stays as it was.
TEST(WebRecording, PageAndNativeRecordingsPlayInTheOther) {
    TempDir dir;
    const std::string out = dir.file("out"), world = dir.file("replayed"), demo = dir.file("demo");
    const std::string tool = TLVX_TOOL;
    write_file(dir.file("keys.txt"), "3 y\n8 right\n12 +\n16 ]\n20 down\n30 f\n");
    ASSERT_EQ(
        shell_status(tool + " demo " + sh_quote(demo) + " >/dev/null && " + tool + " run --data " + sh_quote(demo) +
                     " --keys " + sh_quote(dir.file("keys.txt")) + " --clock 1000:0.05 --passes 60 --record " +
                     sh_quote(dir.file("native.tlvxrec")) + " --screenshot " + sh_quote(dir.file("native.png")) +
                     " 2>" + sh_quote(dir.file("native.err"))),
        0)
        << read_file(dir.file("native.err"));
    const int page = run_page_script("record_page.mjs", sh_quote(out) + " " + sh_quote(dir.file("native.tlvxrec")),
                                     dir.file("page.log"));
    if (page == 77) GTEST_SKIP() << read_file(dir.file("page.log"));
    ASSERT_EQ(page, 0) << "the page's session failed:\n" << read_file(dir.file("page.log"));

    ASSERT_EQ(shell_status(tool + " run --data " + sh_quote(world) + " --replay " + sh_quote(out + "/session.tlvxrec") +
                           " --world-from-recording --screenshot " + sh_quote(dir.file("screen.png")) + " 2>" +
                           sh_quote(dir.file("native.err"))),
              0)
        << read_file(dir.file("native.err"));
    EXPECT_EQ(screen_difference(dir.file("screen.png"), out + "/screen.rgba"), "")
        << "the page's last screen of the recorded game";
    const auto replayed = files_of(world), got = files_of(out + "/files");
    ASSERT_FALSE(replayed.empty());
    expect_same_files(replayed, got, "replayed");

    EXPECT_EQ(screen_difference(dir.file("native.png"), out + "/watched.rgba"), "")
        << "the last screen of the native recording watched in the page";
    EXPECT_TRUE(files_of(out + "/watched-files") == got) << "watching a recording changed the player's world";
}

// Walking into blocks and over a bridge, road-following at a fork, every editing key, creatures moving.
INSTANTIATE_TEST_SUITE_P(Cases, WebGolden,
                         ::testing::Values("walk_with_blocks", "road_following", "editing_session", "creatures_moving"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
