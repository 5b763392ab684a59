#include "base/atomic_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;

// Every name in `dir`, so that a test sees a temporary left behind.
std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Until the commit the old file is untouched and the temporary sits beside it;
// then the file is replaced whole, keeping its permissions, and nothing else remains.
TEST(AtomicFile, CommitReplacesTheTargetWholeAndADiscardLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.file("world.txt"), old = "old content that is longer than the new one";
    write_file(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    AtomicFile f;
    ASSERT_TRUE(f.open(path) && f.write("new ") && f.write("content") && f.finish()) << f.error();
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(folder_of(f.temp_path()), dir.path());
    ASSERT_TRUE(f.commit()) << f.error();
    EXPECT_EQ(read_file(path), "new content");
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0, 0640u);
    EXPECT_EQ(folder_of("name"), ".");  // a bare name's temporary goes in the current folder
    // A discarded file never commits. (A dropped one: the dropped set in atomic_file_set_test.cpp.)
    ASSERT_TRUE(f.open(path) && f.write("half") && f.finish());
    f.discard();
    EXPECT_FALSE(f.commit());
    EXPECT_EQ(read_file(path), "new content");
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"world.txt"});
}

// Two files open at once in one folder: writes at offsets, and many small and
// large ones, each arrive in their own file.
TEST(AtomicFile, WritesArriveInOrderAndAtTheirOffsets) {
    TempDir dir;
    AtomicFile layer, big;
    ASSERT_TRUE(layer.open(dir.file("layer")) && big.open(dir.file("big")));
    ASSERT_TRUE(layer.set_length(8) && layer.write_at(5, "xy", 2));
    ASSERT_TRUE(layer.write("ab"));  // appends from the start: nothing was appended yet
    std::string expect;
    for (int i = 0; i < 3000; ++i) {  // small pieces and some larger than any buffer
        const std::string piece = std::to_string(i) + (i % 1000 == 0 ? std::string(70000, 'x') : ",");
        ASSERT_TRUE(big.write(piece));
        expect += piece;
    }
    ASSERT_TRUE(layer.commit() && big.commit());
    EXPECT_EQ(read_file(dir.file("layer")), std::string("ab\0\0\0xy\0", 8));
    EXPECT_EQ(read_file(dir.file("big")), expect);
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"big", "layer"}));
}

TEST(AtomicFile, FailuresAreReportedWithTheTargetAndTheReason) {
    TempDir dir;
    AtomicFile none;
    EXPECT_FALSE(none.open(dir.file("missing-folder/file")));
    EXPECT_NE(none.error().find("missing-folder/file"), std::string::npos) << none.error();
    EXPECT_FALSE(none.write("x") || none.commit());
    // A folder in the way of the rename: the temporary is removed, the folder stays.
    const std::string blocked = dir.file("blocked");
    fs::create_directories(blocked + "/inside");
    AtomicFile f;
    ASSERT_TRUE(f.open(blocked) && f.write("x"));
    EXPECT_FALSE(f.commit());
    EXPECT_NE(f.error().find("cannot replace " + blocked), std::string::npos) << f.error();
    EXPECT_TRUE(fs::is_directory(blocked + "/inside"));
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"blocked"});
}

}  // namespace
}  // namespace tlvx::test
