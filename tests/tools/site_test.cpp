// `tlvx-tool site`: what goes into a site (the world's own files as one
// archive, the web build's files, the page naming the world) and what is
// refused before anything is written. The page playing such a site is
// tests/web/publish_test.mjs.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tools/new_map.hpp"
#include "tools/site.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"
#include "world/world_archive.hpp"

namespace fs = std::filesystem;

namespace tlvx::test {
namespace {

class Site : public ::testing::Test {
protected:
    void SetUp() override {
        // A stand-in for the web build's site: its page with the place for a
        // world, the program's files, a folder of pictures and a hidden file.
        fs::create_directories(dir_.file("web/icons"));
        write_file(dir_.file("web/index.html"),
                   "<head>\n" + std::string(tools::kSitePageMarker) + "\n<title>t</title></head>\n");
        write_file(dir_.file("web/tlvx.js"), "// program\n");
        write_file(dir_.file("web/tlvx.wasm"), std::string("\0asm", 4));
        write_file(dir_.file("web/icons/icon-48.png"), "png");
        write_file(dir_.file("web/.cache"), "x");
        tools::new_map({.dir = dir_.file("w"), .w = 12, .h = 9, .fill = {}, .name = std::string("A&B<c>")});
    }

    // The ToolError of a refused site, "" when it was written.
    std::string refusal(const std::string& out, bool force = false, const std::string& world = "w",
                        const std::string& from = "web") {
        return tool_error([&] {
            tools::write_site(
                {.world = dir_.file(world), .out = dir_.file(out), .from = dir_.file(from), .force = force});
        });
    }

    TempDir dir_;
};

TEST_F(Site, HoldsTheWebBuildAndTheWorldsOwnFilesNamedByThePage) {
    write_file(dir_.file("w/notes.txt"), "my plans\n");  // beside the world, not part of it
    write_file(dir_.file("w/.tlvx.lock"), "tlvx 1\n");
    const tools::SiteResult r =
        tools::write_site({.world = dir_.file("w"), .out = dir_.file("out"), .from = dir_.file("web")});
    EXPECT_EQ(r.name, "A&B<c>");
    EXPECT_EQ(r.left_out, std::vector<std::string>{"notes.txt"});

    // The archive holds exactly the world's files, byte for byte.
    std::vector<world::WorldFile> expected;
    for (const world::WorldFile& f : world::read_world_folder(dir_.file("w")))
        if (f.name != "notes.txt") expected.push_back(f);
    const std::string archive = read_file(dir_.file("out/world.tar"));
    const std::vector<world::WorldFile> got = world::read_world_archive(archive);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, expected[i].name);
        EXPECT_TRUE(got[i].bytes == expected[i].bytes) << got[i].name;
    }
    EXPECT_EQ(r.archive_bytes, static_cast<int64_t>(archive.size()));

    // The web build's files come along (subfolders too, hidden files not);
    // the page names the archive, the world (escaped) and the archive's size.
    EXPECT_EQ(read_file(dir_.file("out/tlvx.wasm")), std::string("\0asm", 4));
    EXPECT_EQ(read_file(dir_.file("out/icons/icon-48.png")), "png");
    EXPECT_FALSE(fs::exists(dir_.file("out/.cache")));
    EXPECT_EQ(r.site_files, 5u);
    EXPECT_EQ(read_file(dir_.file("out/index.html")),
              "<head>\n<meta name=\"tlvx-world\" content=\"world.tar\" data-name=\"A&amp;B&lt;c&gt;\" data-bytes=\"" +
                  std::to_string(archive.size()) + "\">\n<title>t</title></head>\n");
}

// Each refusal says why and writes nothing: no site folder, or the one given
// as it was. (A world with a problem info finds, and the words of the
// refusal of a folder in use: bad-input rows.)
TEST_F(Site, RefusesWhatThePageCouldNotPlayAndFoldersInUse) {
    // A layer larger than its map needs: the page would refuse it by its size.
    fs::copy(dir_.file("w"), dir_.file("grown"));
    fs::resize_file(dir_.file("grown/tlvx_gr3.tmp"), 1 << 20);
    std::string says = refusal("out", false, "grown");
    EXPECT_NE(says.find("tlvx_gr3.tmp"), std::string::npos) << says;
    EXPECT_FALSE(fs::exists(dir_.file("out")));

    // Pictures in a folder of the world cannot be one archive's files.
    fs::copy(dir_.file("w"), dir_.file("deep"));
    fs::create_directory(dir_.file("deep/pics"));
    // (a drawing reads the name with its 12th character rewritten: both spellings go along)
    fs::copy(dir_.file("deep/grass_01.pcv"), dir_.file("deep/pics/grass_v1.pcv"));
    fs::rename(dir_.file("deep/grass_01.pcv"), dir_.file("deep/pics/grass_01.pcv"));
    const std::string table = read_file(dir_.file("deep/tlvx_w05.mem"));
    write_file(dir_.file("deep/tlvx_w05.mem"), std::regex_replace(table, std::regex("grass_01"), "pics/grass_01"));
    says = refusal("out", false, "deep");
    EXPECT_NE(says.find("pics is a folder"), std::string::npos) << says;
    EXPECT_FALSE(fs::exists(dir_.file("out")));

    // A folder that holds anything, a hidden file alone too, unless --force.
    fs::create_directory(dir_.file("used"));
    write_file(dir_.file("used/.keep"), "");
    EXPECT_NE(refusal("used").find("not empty"), std::string::npos);
    EXPECT_EQ(names_in(dir_.file("used")), std::set<std::string>{".keep"});
    EXPECT_EQ(refusal("used", true), "");
    EXPECT_TRUE(fs::exists(dir_.file("used/world.tar")));
    EXPECT_TRUE(fs::exists(dir_.file("used/.keep")));
    fs::create_directory(dir_.file("empty"));
    EXPECT_EQ(refusal("empty"), "");

    // --from a page that is not the web build's, or a published site.
    fs::create_directory(dir_.file("other"));
    write_file(dir_.file("other/index.html"), "<head><title>another page</title></head>");
    EXPECT_NE(refusal("out", false, "w", "other").find("not the web build's page"), std::string::npos);
    ASSERT_EQ(refusal("pub"), "");
    EXPECT_NE(refusal("out", false, "w", "pub").find("published site"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_.file("out")));
}

}  // namespace
}  // namespace tlvx::test
