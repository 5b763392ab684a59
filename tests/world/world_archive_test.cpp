// A world folder as one archive: written so that tar reads it, read back
// exactly, and refused whole when it is spoiled or not a world archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/test_support.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

using namespace tlvx::tools;

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

}  // namespace

// What is written reads back name by name and byte by byte, in tar as in the reader; a name that
// cannot be stored is refused.
TEST(WorldArchive, ReadsBackWhatItWroteAndTarUnpacksItIntoOneFolder) {
    const std::string archive = write_world_archive(kFiles);
    const std::vector<WorldFile> back = read_world_archive(archive);
    ASSERT_EQ(back.size(), kFiles.size());
    for (size_t i = 0; i < kFiles.size(); ++i)
        EXPECT_EQ(back[i].name + back[i].bytes, kFiles[i].name + kFiles[i].bytes);
    EXPECT_THROW(write_world_archive({{"../up", "x"}}), ToolError);
    EXPECT_THROW(write_world_archive({{std::string(95, 'n'), "x"}}), ToolError);
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
        {std::string(1024, 'a'), "checksum"},
        {flipped, "checksum"},
        {good.substr(0, 512 + 512 + 5), "cut off"},
        {good.substr(0, good.size() - 1024), "cut off"},  // no end marker
        {patched(good, 512, 156, "2"), "not a regular file"},
        {patched(good, 512, 0, std::string("tlvx-world/../evil\0", 19)), "not a file directly"},
        {patched(good, 512, 124, "77777777777"), "cut off"},
        {write_world_archive({{"a.txt", "1"}, {"a.txt", "2"}}), "twice"},
        {patched(one, 512, 0, std::string("other/a.txt\0", 12)), "more than one folder"},
    };
    for (const auto& [bytes, says] : cases) {
        SCOPED_TRACE(says);
        try {
            read_world_archive(bytes);
            ADD_FAILURE() << "read";
        } catch (const ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }
}

// Downloading a world takes its plain files only: the lock file and other
// hidden files, folders and links stay behind.
TEST(WorldArchive, AFolderGivesItsPlainFilesOnly) {
    const tlvx::test::TempDir dir;
    for (const char* name : {"Pndx_001.sav", ".tlvx.lock", ".notes"}) write_file_bytes(dir.file(name), name);
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("Pndx_001.sav", dir.file("link.sav"));
    const std::vector<WorldFile> files = read_world_folder(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name + files[0].bytes, "Pndx_001.savPndx_001.sav");
}
