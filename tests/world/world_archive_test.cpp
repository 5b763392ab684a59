// A world folder as one archive: written so that tar reads it, read back
// exactly, and refused whole when it is spoiled or not a world archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/tools_helpers.hpp"
#include "world/open_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

using namespace tlvx;
using namespace tlvx::world;

namespace {

const std::vector<WorldFile> kFiles = {{"Pndx_001.sav", "oakvale\r\n 38 \r\n"},
                                       {"tlvx_gr1.tmp", std::string(1300, '\x07') + "\x80\xff"},
                                       {"empty.txt", ""},
                                       {"exact.bin", std::string(512, 'x')}};

// `archive` with `text` written at `at` into the header starting at `header`, its checksum made right again.
std::string patched(std::string archive, size_t header, size_t at, const std::string& text) {
    archive.replace(header + at, text.size(), text);
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(archive[header + i]);
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    std::memcpy(&archive[header + 148], field, 7);
    archive[header + 155] = ' ';
    return archive;
}

// `files` in their order, as one text of names and bytes.
std::string joined(const std::vector<WorldFile>& files) {
    std::string all;
    for (const WorldFile& f : files) all += f.name + '\0' + f.bytes + '\0';
    return all;
}
std::string by_name(std::vector<WorldFile> files) {
    std::sort(files.begin(), files.end(), [](const WorldFile& a, const WorldFile& b) { return a.name < b.name; });
    return joined(files);
}

// The demo world's files, as the page's Download gives them.
std::vector<WorldFile> demo_files() {
    const DemoMap map = make_demo_map();
    std::vector<WorldFile> files = demo_support_files();
    files.push_back(demo_save_file(map.start_x, map.start_y));
    for (WorldFile& f : layer_files(map)) files.push_back(std::move(f));
    return files;
}

}  // namespace

// What is written reads back name by name and byte by byte, in tar as in the reader; a name that
// cannot be stored is refused.
TEST(WorldArchive, ReadsBackWhatItWroteAndTarUnpacksItIntoOneFolder) {
    const std::string archive = write_world_archive(kFiles);
    EXPECT_EQ(joined(read_world_archive(archive)), joined(kFiles));
    EXPECT_THROW(write_world_archive({{"../up", "x"}}), ToolError);
    EXPECT_THROW(write_world_archive({{std::string(95, 'n'), "x"}}), ToolError);
    EXPECT_THROW(write_world_archive({{std::string(90, 'n'), "x"}}), ToolError);
    EXPECT_THROW(write_world_archive({{".hidden", "x"}}), ToolError);
    EXPECT_EQ(read_world_archive(write_world_archive({{std::string(89, 'n'), "x"}}))[0].name, std::string(89, 'n'));
    if (std::system("command -v tar >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar here";
    const tlvx::test::TempDir dir;
    write_file_bytes(dir.file("world.tar"), archive);
    ASSERT_EQ(std::system(("tar -xf '" + dir.file("world.tar") + "' -C '" + dir.path() + "'").c_str()), 0);
    for (const WorldFile& f : kFiles)
        EXPECT_EQ(tlvx::test::read_file(dir.file(std::string(kArchiveFolder) + "/" + f.name)), f.bytes) << f.name;
}

TEST(WorldArchive, RefusesSpoiledAndForeignArchives) {
    const std::string good = write_world_archive(kFiles), one = write_world_archive({{"a.txt", "1"}});
    std::string flipped = good;
    flipped[512 + 20] ^= 1;  // in the first file's header
    const std::pair<std::string, const char*> cases[] = {
        {"", "too short"},
        {"\x89PNG\r\n\x1a\n" + std::string(2000, '\0'), "checksum"},
        {std::string(1024, '\0'), "no files"},
        {flipped, "checksum"},
        {good.substr(0, 512 + 512 + 5), "cut off"},
        {good.substr(0, good.size() - 1024), "cut off"},  // no end marker
        {patched(good, 512, 156, "2"), "not a regular file"},
        {patched(good, 512, 0, std::string("tlvx-world/../evil\0", 19)), "not a file directly"},
        {patched(good, 512, 124, "77777777777"), "cut off"},
        {write_world_archive({{"a.txt", "1"}, {"a.txt", "2"}}), "twice"},
        {patched(one, 512, 0, std::string("other/a.txt\0", 12)), "more than one folder"},
        // Hidden files would be kept unseen in the player's world and never downloaded.
        {patched(one, 512, 0, std::string("tlvx-world/.hidden-payload\0", 27)), "hidden"},
        {patched(one, 512, 0, std::string("tlvx-world/.tlvx.lock\0", 22)), "hidden"},
        // A name the writer cannot store again: the prefix holds the folder, the name field 100 characters.
        {patched(patched(one, 512, 0, std::string(100, 'N')), 512, 345, "tlvx-world"), "too long"},
        {patched(patched(one, 512, 0, std::string(90, 'N')), 512, 345, "tlvx-world"), "too long"},
        // Long names of pax and GNU tar are named as what they are.
        {patched(one, 512, 156, "x"), "long-name or extended headers"},
        {patched(one, 512, 156, "L"), "long-name or extended headers"},
    };
    for (const auto& [bytes, says] : cases) {
        const std::string got = tlvx::test::tool_error([&] { read_world_archive(bytes); });
        EXPECT_NE(got.find(says), std::string::npos) << says << ": " << (got.empty() ? "read" : got);
    }
}

// An archive made with `tar -C dir .` names its entries "./..."; it opens as the folder's files.
TEST(WorldArchive, OpensAnArchiveOfTheFolderItself) {
    std::string dotted = write_world_archive({{"a.txt", "1"}, {"b.txt", "22"}});
    dotted = patched(dotted, 0, 0, std::string("./\0\0\0\0\0\0\0\0\0", 12));
    dotted = patched(dotted, 512, 0, std::string("./a.txt\0\0\0\0\0\0\0\0\0\0\0\0", 19));
    dotted = patched(dotted, 1536, 0, std::string("./b.txt\0\0\0\0\0\0\0\0\0\0\0\0", 19));
    EXPECT_EQ(joined(read_world_archive(dotted)), joined({{"a.txt", "1"}, {"b.txt", "22"}}));
    if (std::system("command -v tar >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar here";
    const tlvx::test::TempDir dir;
    std::filesystem::create_directory(dir.file("w"));
    for (const WorldFile& f : kFiles) write_file_bytes(dir.file("w/" + f.name), f.bytes);
    ASSERT_EQ(std::system(("tar -cf '" + dir.file("w.tar") + "' -C '" + dir.file("w") + "' .").c_str()), 0);
    EXPECT_EQ(by_name(read_world_archive(tlvx::test::read_file(dir.file("w.tar")))), by_name(kFiles));
}

// Downloading a world takes its plain files only: the lock file and other
// hidden files, folders and links stay behind.
TEST(WorldArchive, AFolderGivesItsPlainFilesOnly) {
    const tlvx::test::TempDir dir;
    for (const char* name : {"Pndx_001.sav", ".tlvx.lock", ".notes"}) write_file_bytes(dir.file(name), name);
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("Pndx_001.sav", dir.file("link.sav"));
    EXPECT_EQ(joined(read_world_folder(dir.path())), joined({{"Pndx_001.sav", "Pndx_001.sav"}}));
}

// The page's Open: a world opens only when it can be downloaded again as the same files, and the
// folder it was checked in is left empty.
TEST(WorldArchive, AnOpenedWorldDownloadsAgainAsTheSameFiles) {
    const tlvx::test::TempDir tmp;
    const std::string check = tmp.file("check");
    const std::vector<WorldFile> demo = demo_files();
    const std::string archive = write_world_archive(demo);
    const std::vector<WorldFile> opened = open_world({{"world.tar", archive}}, check);
    EXPECT_EQ(write_world_archive(opened), archive);
    EXPECT_TRUE(std::filesystem::is_empty(check));
    EXPECT_EQ(open_world(demo, check).size(), demo.size());  // a folder's files
    const auto open_problem = [&](std::vector<WorldFile> given) {
        return tlvx::test::tool_error([&] { open_world(std::move(given), check); });
    };

    std::vector<WorldFile> hidden = demo, long_name = demo, spoiled = demo, unused = demo, grown = demo;
    hidden.push_back({".hidden-payload", std::string(100000, 'p')});
    unused.push_back({"holiday.mkv", std::string(1000, 'm')});
    for (WorldFile& f : grown)
        if (f.name == kLayerNames[2]) f.bytes += std::string(5, '\0');
    long_name.push_back({std::string(100, 'N'), "x"});
    for (WorldFile& f : spoiled)
        if (f.name == kSaveFileName) f.bytes = "not a save file";
    const std::pair<std::vector<WorldFile>, const char*> refused[] = {
        {hidden, "not a plain, short, visible"},
        {long_name, "not a plain, short, visible"},
        {{{"world.tar", patched(archive, 512, 0, std::string("tlvx-world/.tlvx.lock\0", 22))}}, "hidden"},
        {{}, "no files"},
        {unused, "\"holiday.mkv\" is not part of the world"},
        {{{"world.tar", write_world_archive(unused)}}, "\"holiday.mkv\" is not part of the world"},
        {grown, "tlvx_gr3.tmp holds"},
    };
    for (const auto& [given, says] : refused) {
        SCOPED_TRACE(says);
        EXPECT_NE(open_problem(given).find(says), std::string::npos) << open_problem(given);
    }
    EXPECT_NE(open_problem(spoiled), "");
    EXPECT_TRUE(std::filesystem::is_empty(check));
}

// The page's check before it copies a world's files: from their names and sizes and the few small
// files the names depend on (here the ground layer's header alone), a file the world does not use
// or a layer larger than its map is refused, and the world's own files pass.
TEST(WorldArchive, OfferedFilesAreCheckedByNameAndSize) {
    const tlvx::test::TempDir dir;
    std::vector<OfferedFile> offered;
    int64_t ground = 0;
    for (const WorldFile& f : demo_files()) {
        offered.push_back({f.name, static_cast<int64_t>(f.bytes.size())});
        const bool small = f.name.find(".pcv") == std::string::npos && f.name.find(".tmp") == std::string::npos;
        if (small || f.name == kLayerNames[0])
            write_file_bytes(dir.file(f.name), small ? f.bytes : f.bytes.substr(0, 4));
        if (f.name == kLayerNames[0]) ground = static_cast<int64_t>(f.bytes.size());
    }
    EXPECT_EQ(offered_world_problem(offered, dir.path()), "");
    std::vector<OfferedFile> unused = offered, grown = offered;
    unused.push_back({"holiday.mkv", int64_t{50} << 20});
    unused.push_back({"notes.txt", 10});
    for (OfferedFile& f : grown)
        if (f.name == kLayerNames[0]) f.size = ground + 1;
    EXPECT_EQ(offered_world_problem(unused, dir.path()),
              "\"holiday.mkv\" is not part of the world: no table of it names it, and it is no layer (and 1 more such "
              "files)");
    EXPECT_NE(offered_world_problem(grown, dir.path())
                  .find("tlvx_gr1.tmp holds " + std::to_string(ground + 1) + " bytes, more than the " +
                        std::to_string(ground)),
              std::string::npos);
    std::filesystem::remove(dir.file(kSaveFileName));
    EXPECT_NE(offered_world_problem(offered, dir.path()).find("start-up stops at the save file"), std::string::npos);
}

// "New demo world" and Open leave nothing of the old world: hidden files and folders go too.
TEST(WorldArchive, ClearingAFolderRemovesHiddenFilesToo) {
    const tlvx::test::TempDir dir;
    for (const char* name : {"Pndx_001.sav", ".tlvx.lock", ".hidden-payload"}) write_file_bytes(dir.file(name), name);
    std::filesystem::create_directory(dir.file(".sub"));
    write_file_bytes(dir.file(".sub/x"), "x");
    clear_folder(dir.path());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_NO_THROW(clear_folder(dir.file("none")));
}
