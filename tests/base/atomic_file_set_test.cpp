#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "base/atomic_file.hpp"
#include "base/stop_signal.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;

// Two files of a set, one replacing an old file, one new in another folder.
struct TwoFiles {
    const TempDir& dir;
    AtomicFileSet set;
    explicit TwoFiles(const TempDir& d) : dir(d) {
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

}  // namespace

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

}  // namespace tlvx::test
