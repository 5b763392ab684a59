#include "base/atomic_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;

// Every name in `dir`, so that a test sees a temporary left behind.
std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFile, CommitReplacesTheTargetWholeAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.path() + "/world.txt";
    write_file(path, "old content that is longer than the new one");
    AtomicFile f;
    ASSERT_TRUE(f.open(path)) << f.error();
    ASSERT_TRUE(f.write("new "));
    ASSERT_TRUE(f.write(std::string("content")));
    // Until the commit the old file is untouched and the temporary sits beside it.
    ASSERT_TRUE(f.finish());
    EXPECT_EQ(read_file(path), "old content that is longer than the new one");
    EXPECT_EQ(folder_of(f.temp_path()), dir.path());
    EXPECT_EQ(read_file(f.temp_path()), "new content");
    ASSERT_TRUE(f.commit()) << f.error();
    EXPECT_EQ(read_file(path), "new content");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"world.txt"});
}

TEST(AtomicFile, DroppedOrDiscardedWithoutCommitKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.path() + "/a.sav";
    write_file(path, "old");
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path));
        ASSERT_TRUE(f.write("half"));
    }
    AtomicFile g;
    ASSERT_TRUE(g.open(path));
    ASSERT_TRUE(g.write("half"));
    ASSERT_TRUE(g.finish());
    g.discard();
    EXPECT_FALSE(g.commit());
    EXPECT_EQ(read_file(path), "old");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"a.sav"});
}

TEST(AtomicFile, WritesAtOffsetsAndSetsTheLength) {
    TempDir dir;
    const std::string path = dir.path() + "/layer";
    AtomicFile f;
    ASSERT_TRUE(f.open(path));
    ASSERT_TRUE(f.set_length(8));
    ASSERT_TRUE(f.write_at(5, "xy", 2));
    ASSERT_TRUE(f.write("ab"));  // appends from the start: nothing was appended yet
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(read_file(path), std::string("ab\0\0\0xy\0", 8));
}

TEST(AtomicFile, ManySmallAndLargeWritesArriveInOrder) {
    TempDir dir;
    const std::string path = dir.path() + "/big";
    std::string expect;
    AtomicFile f;
    ASSERT_TRUE(f.open(path));
    for (int i = 0; i < 30000; ++i) {
        const std::string piece = std::to_string(i) + (i % 1000 == 0 ? std::string(70000, 'x') : ",");
        ASSERT_TRUE(f.write(piece));
        expect += piece;
    }
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(read_file(path), expect);
}

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces) {
    TempDir dir;
    const std::string path = dir.path() + "/kept";
    write_file(path, "x");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    AtomicFile f;
    ASSERT_TRUE(f.open(path));
    ASSERT_TRUE(f.commit());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFile, GroupAppearsOnlyWhenEveryFileIsFinished) {
    TempDir dir;
    std::vector<AtomicFile> files(3);
    for (int k = 0; k < 3; ++k) {
        const std::string path = dir.path() + "/f" + std::to_string(k);
        write_file(path, "old");
        ASSERT_TRUE(files[static_cast<size_t>(k)].open(path));
        ASSERT_TRUE(files[static_cast<size_t>(k)].write("new" + std::to_string(k)));
    }
    for (auto& f : files) ASSERT_TRUE(f.finish());
    for (int k = 0; k < 3; ++k) EXPECT_EQ(read_file(dir.path() + "/f" + std::to_string(k)), "old");
    for (auto& f : files) ASSERT_TRUE(f.commit());
    for (int k = 0; k < 3; ++k) EXPECT_EQ(read_file(dir.path() + "/f" + std::to_string(k)), "new" + std::to_string(k));
    EXPECT_EQ(names_in(dir.path()).size(), 3u);
}

TEST(AtomicFile, FailuresAreReportedWithTheTargetAndTheReason) {
    TempDir dir;
    struct Case {
        std::string path;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {dir.path() + "/missing-folder/file", "cannot create a file beside"},
        {dir.path() + std::string("/nul\0name", 9), "cannot create"},
    };
    for (const Case& c : cases) {
        AtomicFile f;
        EXPECT_FALSE(f.open(c.path));
        EXPECT_NE(f.error().find(c.expect), std::string::npos) << f.error();
        EXPECT_FALSE(f.write("x"));
        EXPECT_FALSE(f.commit());
    }
    // A folder in the way of the rename: the temporary is removed, the folder stays.
    const std::string blocked = dir.path() + "/blocked";
    fs::create_directory(blocked);
    write_file(blocked + "/inside", "x");
    AtomicFile f;
    ASSERT_TRUE(f.open(blocked));
    ASSERT_TRUE(f.write("x"));
    EXPECT_FALSE(f.commit());
    EXPECT_NE(f.error().find("cannot replace " + blocked), std::string::npos) << f.error();
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"blocked"});
}

TEST(AtomicFile, FolderOfAPath) {
    EXPECT_EQ(folder_of("name"), ".");
    EXPECT_EQ(folder_of("/name"), "/");
    EXPECT_EQ(folder_of("a/b/name"), "a/b");
}

}  // namespace
}  // namespace tlvx::test
