// A world folder as one archive: written so that tar reads it, read back
// exactly, and refused whole when it is spoiled or not a world archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "support/test_support.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

using namespace tlvx::tools;

namespace {

std::vector<WorldFile> sample_files() {
    std::string binary;
    for (int i = 0; i < 1300; ++i) binary += static_cast<char>(i * 7);
    return {{"Pndx_001.sav", "oakvale\r\n 38 \r\n"},
            {"tlvx_gr1.tmp", binary},
            {"empty.txt", ""},
            {"exact.bin", std::string(512, 'x')}};
}

// The header of the archive's first file (after the folder's header).
constexpr size_t kFirstFile = 512;

void fix_checksum(std::string& archive, size_t header) {
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(archive[header + i]);
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    std::memcpy(&archive[header + 148], field, 7);
    archive[header + 155] = ' ';
}

}  // namespace

TEST(WorldArchive, ReadsBackWhatItWrote) {
    const std::vector<WorldFile> files = sample_files();
    const std::vector<WorldFile> back = read_world_archive(write_world_archive(files));
    ASSERT_EQ(back.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(back[i].name, files[i].name);
        EXPECT_EQ(back[i].bytes, files[i].bytes) << files[i].name;
    }
}

TEST(WorldArchive, TarUnpacksItIntoOneFolder) {
    if (std::system("command -v tar >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar here";
    const tlvx::test::TempDir dir;
    const std::string archive = dir.file("world.tar");
    write_file_bytes(archive, write_world_archive(sample_files()));
    ASSERT_EQ(std::system(("tar -xf '" + archive + "' -C '" + dir.path() + "'").c_str()), 0);
    for (const WorldFile& f : sample_files()) {
        EXPECT_EQ(tlvx::test::read_file(dir.file(std::string(kArchiveFolder) + "/" + f.name)), f.bytes) << f.name;
    }
}

TEST(WorldArchive, RefusesSpoiledAndForeignArchives) {
    const std::string good = write_world_archive(sample_files());
    const struct {
        const char* what;
        std::function<std::string()> make;
        const char* says;
    } cases[] = {
        {"empty", [] { return std::string(); }, "too short"},
        {"a picture", [] { return std::string("\x89PNG\r\n\x1a\n") + std::string(2000, '\0'); }, "checksum"},
        {"only the end marker", [] { return std::string(1024, '\0'); }, "no files"},
        {"text", [] { return std::string(1024, 'a'); }, "checksum"},
        {"a flipped byte in a header",
         [&] {
             auto a = good;
             a[kFirstFile + 20] ^= 1;
             return a;
         },
         "checksum"},
        {"cut off inside a file", [&] { return good.substr(0, kFirstFile + 512 + 5); }, "cut off"},
        {"no end marker", [&] { return good.substr(0, good.size() - 1024); }, "cut off"},
        {"a symbolic link",
         [&] {
             auto a = good;
             a[kFirstFile + 156] = '2';
             fix_checksum(a, kFirstFile);
             return a;
         },
         "not a regular file"},
        {"a path leaving the folder",
         [&] {
             auto a = good;
             std::memcpy(&a[kFirstFile], "tlvx-world/../evil\0", 19);
             fix_checksum(a, kFirstFile);
             return a;
         },
         "not a file directly"},
        {"a size past the end",
         [&] {
             auto a = good;
             std::memcpy(&a[kFirstFile + 124], "77777777777", 11);
             fix_checksum(a, kFirstFile);
             return a;
         },
         "cut off"},
        {"a file twice",
         [] {
             return write_world_archive({{"a.txt", "1"}, {"a.txt", "2"}});
         },
         "twice"},
        {"a second folder",
         [] {
             auto a = write_world_archive({{"a.txt", "1"}});
             std::memcpy(&a[512], "other/a.txt\0", 12);
             fix_checksum(a, 512);
             return a;
         },
         "more than one folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            read_world_archive(c.make());
            ADD_FAILURE() << "read";
        } catch (const ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(WorldArchive, RefusesNamesItCannotWrite) {
    EXPECT_THROW(write_world_archive({{"../up", "x"}}), ToolError);
    EXPECT_THROW(write_world_archive({{std::string(95, 'n'), "x"}}), ToolError);
}

// Downloading a world takes its plain files only: the lock file and other
// hidden files, folders and links stay behind.
TEST(WorldArchive, AFolderGivesItsPlainFilesOnly) {
    const tlvx::test::TempDir dir;
    write_file_bytes(dir.file("Pndx_001.sav"), "oakvale\r\n");
    write_file_bytes(dir.file(".tlvx.lock"), "tlvx 12\n");
    write_file_bytes(dir.file(".notes"), "private\n");
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("Pndx_001.sav", dir.file("link.sav"));
    const std::vector<WorldFile> files = read_world_folder(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "Pndx_001.sav");
    EXPECT_EQ(files[0].bytes, "oakvale\r\n");
}
