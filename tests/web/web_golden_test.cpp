// The web program in its test mode against the native headless runner: the same golden case (world,
// key script, simulated clock, passes) played by `tlvx-tool run` and by the page in headless Chromium
// (run_page.mjs) must end with the same 320x200 picture and the same world files, byte for byte.
// The site is build-web/site (or $TLVX_WEB_SITE); without it the cases are skipped, unless
// $TLVX_WEB_REQUIRED is set (the test command sets it after building the site), when they fail.
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

// Every regular file of `dir` by name, with its bytes.
// The world's files; the lock file the native runner holds is not part of the world.
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != tlvx::kWorldLockName)
            files[e.path().filename().string()] = read_file(e.path().string());
    return files;
}

// "" when the RGB rows of `png` (as decoded_png gives them) show the picture of `rgba`, else where they differ.
std::string screen_difference(const std::string& png, const std::string& rgba) {
    const std::string head = "320x200\n";
    if (png.compare(0, head.size(), head) != 0) return "the native screenshot is no 320x200 PNG";
    if (rgba.size() != 320u * 200u * 4u) return "the page's picture has " + std::to_string(rgba.size()) + " bytes";
    int differ = 0, first = -1;
    for (int i = 0; i < 320 * 200; ++i) {
        if (png.compare(head.size() + i * 3, 3, rgba, i * 4, 3) == 0 && rgba[i * 4 + 3] == '\xff') continue;
        if (first < 0) first = i;
        ++differ;
    }
    if (differ == 0) return "";
    return std::to_string(differ) + " pixels differ, the first at x=" + std::to_string(first % 320) +
           " y=" + std::to_string(first / 320);
}

class WebGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(WebGolden, SameAsNativeRunner) {
    const char* site_env = std::getenv("TLVX_WEB_SITE");
    const fs::path site = site_env ? site_env : TLVX_WEB_SITE;
    if (!fs::exists(site / "index.html")) {
        if (std::getenv("TLVX_WEB_REQUIRED")) FAIL() << "no web build in " << site;
        GTEST_SKIP() << "no web build in " << site << " (bash scripts/web.sh --build-only)";
    }
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
                     " " + quote(site.string()) + " " + quote(web) + " " + quote(dir.file("keys.txt")) + " " + c.clock +
                     " " + std::to_string(c.passes) + " " + quote(out) + " >" + quote(dir.file("page.log")) + " 2>&1")
                        .c_str());
    if (WIFEXITED(page) && WEXITSTATUS(page) == 77 && !std::getenv("TLVX_WEB_REQUIRED"))
        GTEST_SKIP() << read_file(dir.file("page.log"));
    ASSERT_TRUE(WIFEXITED(page) && WEXITSTATUS(page) == 0) << "the page's run failed:\n"
                                                           << read_file(dir.file("page.log"));
    const std::string result = read_file(out + "/result.json");
    ASSERT_NE(result.find("\"state\": \"ended\""), std::string::npos) << "the page did not end as the runner did:\n"
                                                                      << result;

    EXPECT_EQ(screen_difference(decoded_png(read_file(dir.file("screen.png"))), read_file(out + "/screen.rgba")), "")
        << "the page's final picture";
    const auto want = files_of(native), got = files_of(out + "/files");
    for (const auto& [name, bytes] : want) {
        auto it = got.find(name);
        if (it == got.end()) ADD_FAILURE() << name << " is missing in the page's world";
        else
            EXPECT_TRUE(it->second == bytes) << name << " differs in the page's world (" << it->second.size()
                                             << " bytes, " << bytes.size() << " natively)";
    }
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(want.count(name)) << name << " is in the page's world and not in the native one";
}

// Walking into blocks and over a bridge, road-following at a fork, every editing key, creatures moving.
INSTANTIATE_TEST_SUITE_P(Cases, WebGolden,
                         ::testing::Values("walk_with_blocks", "road_following", "editing_session", "creatures_moving"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
