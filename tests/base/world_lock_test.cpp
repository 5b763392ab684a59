#include "base/world_lock.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;

std::string lock_file(const TempDir& dir) { return dir.file(kWorldLockName); }

// The message of the WorldLockError a lock on `dir` throws, or "" when it is taken.
std::string refusal(const std::string& dir, const std::string& program = "second") {
    try {
        WorldLock lock(dir, program);
        return "";
    } catch (const WorldLockError& e) {
        return e.what();
    }
}

// A second lock is refused naming the holder by its line (written over a
// longer old one), however the lock file is treated while held: removed,
// renamed, or replaced by a copy (as a copying tool does); the holder is named
// while the file in place names it. A lock moved to another owner is still held
// by it. Once the holder is gone (its descriptor closed, as at its exit or
// death) the world can be locked again, and the file stays.
TEST(WorldLock, SecondLockIsRefusedUntilTheHolderEndsWhateverBefallsItsFile) {
    const std::string pid = std::to_string(::getpid());
    for (const std::string what : {"kept", "removed", "renamed", "replaced by a copy"}) {
        SCOPED_TRACE(what);
        TempDir dir;
        write_file(lock_file(dir), "an old holder with a much longer name 99999\nand a second line\n");
        std::optional<WorldLock> first;
        first.emplace(dir.path(), "tlvx-tool import-tiled");
        EXPECT_TRUE(first->held() && first->warning().empty());
        EXPECT_EQ(read_file(lock_file(dir)), "tlvx-tool import-tiled " + pid + "\n");
        if (what == "removed") fs::remove(lock_file(dir));
        if (what == "renamed") fs::rename(lock_file(dir), dir.file("moved"));
        if (what == "replaced by a copy") {
            fs::copy_file(lock_file(dir), dir.file("copy"));
            fs::rename(dir.file("copy"), lock_file(dir));
        }
        const bool named = what == "kept" || what == "replaced by a copy";
        const std::string holder = named ? "tlvx-tool import-tiled (pid " + pid + ")" : "another program";
        EXPECT_EQ(refusal(dir.path()),
                  "the world in \"" + dir.path() + "\" is in use by " + holder + "; close it first");
        WorldLock moved(std::move(*first));
        first.reset();
        EXPECT_TRUE(moved.held() && !refusal(dir.path()).empty());
        { WorldLock gone(std::move(moved)); }
        EXPECT_EQ(refusal(dir.path(), "tlvx"), "");
        EXPECT_TRUE(file_exists(lock_file(dir)));
    }
}

// A lock file this lock made goes when asked, as the lock ends, and only
// while its name still names it; one it found, or another in its place, stays.
TEST(WorldLock, RemovesOnlyTheLockFileItMade) {
    // Whether the file was there before the lock, whether another took its name while held; what is left.
    for (const auto& [found, replaced, left] :
         {std::tuple{false, false, "(none)"}, {true, false, "kept"}, {false, true, "theirs"}}) {
        TempDir dir;
        if (found) write_file(lock_file(dir), "");
        {
            WorldLock lock(dir.path(), "tlvx");
            EXPECT_EQ(lock.created_file(), !found);
            lock.remove_created_file(true);
            if (replaced) {
                fs::rename(lock_file(dir), dir.file("moved"));
                write_file(lock_file(dir), "theirs");
            }
        }
        const std::string now = !file_exists(lock_file(dir)) ? "(none)" : replaced ? read_file(lock_file(dir)) : "kept";
        EXPECT_EQ(now, left) << found << replaced;
    }
}

// Something other than a regular file in the lock file's place is refused,
// and nothing is created or written through it.
TEST(WorldLock, OnlyARegularFileIsUsedAsTheLockFile) {
    const std::pair<std::string, std::string> cases[] = {{"a link to nothing", "a link"},
                                                         {"a link to a file", "a link"},
                                                         {"a folder", "a folder"},
                                                         {"a FIFO", "a special file"}};
    for (const auto& [what, says] : cases) {
        SCOPED_TRACE(what);
        TempDir dir, elsewhere;
        const std::string target = elsewhere.file("target");
        if (what == "a link to a file") write_file(target, "precious");
        if (what.find("a link") == 0) fs::create_symlink(target, lock_file(dir));
        if (what == "a folder") fs::create_directory(lock_file(dir));
        if (what == "a FIFO") {
            ASSERT_EQ(::mkfifo(lock_file(dir).c_str(), 0600), 0);
        }
        const std::string got = refusal(dir.path());
        EXPECT_NE(got.find(says + " in place of its lock file .tlvx.lock; remove it"), std::string::npos) << got;
        EXPECT_EQ(file_exists(target) ? read_file(target) : "(none)",
                  what == "a link to a file" ? "precious" : "(none)");
    }
}

// A file system without locks: the world is used, unprotected, with a warning
// naming the reason; nothing is refused.
TEST(WorldLock, FileSystemWithoutLocksGoesOnWithAWarning) {
    for (const int err : {ENOLCK, EOPNOTSUPP, ENOSYS}) {
        SCOPED_TRACE(err);
        TempDir dir;
        static int fake_errno;
        fake_errno = err;
        WorldLock lock(dir.path(), "tlvx", [](int) { return errno = fake_errno, -1; });
        EXPECT_FALSE(lock.held());
        const std::string says = "the world in \"" + dir.path() + "\" is not protected against a second program: ";
        EXPECT_EQ(lock.warning().rfind(says + "its file system does not support locks (", 0), 0u) << lock.warning();
        EXPECT_EQ(read_file(lock_file(dir)), "") << "no holder is named for a lock not held";
        EXPECT_EQ(refusal(dir.path()), "");
    }
}

// A folder the program may not write: an existing lock file is still locked
// (through a descriptor open for reading), so a second lock is refused; without
// one the world is used unprotected, with a warning. Run in a child without
// root's override of file modes; it exits 0 for the first, 1 for the second.
TEST(WorldLock, ReadOnlyFolderLocksAnExistingFileOrWarns) {
    for (const bool has_file : {true, false}) {
        SCOPED_TRACE(has_file ? "lock file there" : "no lock file");
        TempDir dir;
        write_file(dir.file("probe"), "");
        if (has_file) write_file(lock_file(dir), "");
        ASSERT_EQ(::chmod(dir.file("probe").c_str(), 0444) + ::chmod(dir.path().c_str(), 0555), 0);
        const int code = child_exit([&] {
            if (!drop_file_mode_override(dir.file("probe")).empty()) return 3;
            WorldLock lock(dir.path(), "tlvx");
            const bool warned =
                lock.folder_unwritable() &&
                lock.warning().find("its lock file cannot be created (Permission denied)") != std::string::npos;
            const bool refused = !refusal(dir.path()).empty();
            return lock.held() && refused && !warned ? 0 : !lock.held() && warned && !refused ? 1 : 4;
        });
        ::chmod(dir.path().c_str(), 0755);
        if (code == 3) GTEST_SKIP() << "cannot make a read-only folder here";
        EXPECT_EQ(code, has_file ? 0 : 1);
        EXPECT_EQ(file_exists(lock_file(dir)), has_file);
    }
}

// The holder's line comes from a file anyone may have written: only a line
// "PROGRAM PID" names a holder, shown as printable text of bounded length.
TEST(WorldLock, HolderLineIsReadSafely) {
    const std::pair<std::string, std::string> cases[] = {
        {"tlvx 1234\n", "tlvx (pid 1234)"},
        {"tlvx-tool run 7", "tlvx-tool run (pid 7)"},
        {"tlvx 12\nold holder 99\n", "tlvx (pid 12)"},
        {"evil\x1b[2J\x01 5", "evil?[2J? (pid 5)"},
        {std::string(100, 'n') + " 5", std::string(64, 'n') + "... (pid 5)"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(lock_holder(text), want) << text;
    for (const char* junk : {"", "\n", "tlvx", " 1234", "tlvx 12a", "tlvx 12345678901", "tlvx "})
        EXPECT_EQ(lock_holder(junk), "another program") << junk;
}

}  // namespace
}  // namespace tlvx::test
