#include "base/atomic_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "base/stop_signal.hpp"
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
    // A discarded file never commits. (A dropped one: the dropped set below.)
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

// Two files of a set, one replacing an old file, one new in another folder.
struct TwoFiles {
    AtomicFileSet set;
    explicit TwoFiles(const TempDir& dir) {
        write_file(dir.file("old.txt"), "old");
        fs::create_directory(dir.file("sub"));
        for (const std::string& p : {dir.file("old.txt"), dir.file("sub/new.txt")}) {
            AtomicFile* f = set.add(p);
            EXPECT_TRUE(f && f->write("new " + p.substr(p.size() - 7))) << set.error();
        }
    }
};

// Only the old file, as before the set.
bool as_before(const TempDir& dir) {
    return read_file(dir.file("old.txt")) == "old" && fs::is_empty(dir.file("sub")) &&
           std::distance(fs::directory_iterator(dir.path()), {}) == 2;
}

TEST(AtomicFileSet, CommitPutsAllInPlaceAndADroppedSetLeavesNothing) {
    TempDir committed, dropped;
    ASSERT_TRUE(TwoFiles(committed).set.commit());
    EXPECT_EQ(read_file(committed.file("old.txt")), "new old.txt");
    EXPECT_EQ(read_file(committed.file("sub/new.txt")), "new new.txt");
    EXPECT_EQ(std::distance(fs::directory_iterator(committed.file("sub")), {}), 1);
    { TwoFiles t(dropped); }
    EXPECT_TRUE(as_before(dropped));
}

// A stop signal that came before the commit stops it before any rename; one
// that comes while the renames run is held back until they are all done.
TEST(AtomicFileSet, StopSignalBeforeTheRenamesChangesNothing) {
    const StopSignals handler;
    TempDir dir;
    {
        TwoFiles t(dir);
        std::raise(SIGTERM);
        EXPECT_THROW((void)t.set.commit(), StopRequested);
    }
    EXPECT_TRUE(as_before(dir));
    const StopSignals fresh;  // clears the recorded signal
    {
        const HoldStopSignals hold;
        std::raise(SIGINT);
        EXPECT_NO_THROW(check_stop());
    }
    EXPECT_THROW(check_stop(), StopRequested);
}

}  // namespace
}  // namespace tlvx::test
