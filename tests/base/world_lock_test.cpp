#include "base/world_lock.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "support/test_support.hpp"

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

// A second lock is refused naming the holder by its line; the line is written
// over a longer old one; once the holder is gone (its descriptor closed, as at
// its exit or death) the world can be locked again, and the file stays.
TEST(WorldLock, SecondLockIsRefusedNamingTheHolderUntilTheHolderEnds) {
    TempDir dir;
    write_file(lock_file(dir), "an old holder with a much longer name 99999\nand a second line\n");
    std::optional<WorldLock> first;
    first.emplace(dir.path(), "tlvx-tool import-tiled");
    EXPECT_TRUE(first->held());
    EXPECT_EQ(first->warning(), "");
    const std::string pid = std::to_string(::getpid());
    EXPECT_EQ(read_file(lock_file(dir)), "tlvx-tool import-tiled " + pid + "\n");
    EXPECT_EQ(refusal(dir.path()), "the world in \"" + dir.path() + "\" is in use by tlvx-tool import-tiled (pid " +
                                       pid + "); close it first");
    // A lock moved to another owner is still held by it.
    WorldLock moved(std::move(*first));
    first.reset();
    EXPECT_TRUE(moved.held());
    EXPECT_NE(refusal(dir.path()), "");
    { WorldLock gone(std::move(moved)); }
    EXPECT_EQ(refusal(dir.path(), "tlvx"), "");
    EXPECT_TRUE(file_exists(lock_file(dir)));
}

// Something other than a regular file in the lock file's place is refused,
// and nothing is created or written through it.
TEST(WorldLock, OnlyARegularFileIsUsedAsTheLockFile) {
    struct Case {
        const char* what;
        void (*make)(const TempDir& dir, const std::string& target);
        const char* says;
    } cases[] = {
        {"a link to a missing file",
         [](const TempDir& d, const std::string& t) { fs::create_symlink(t, lock_file(d)); }, "a link"},
        {"a link to a file",
         [](const TempDir& d, const std::string& t) {
             write_file(t, "precious");
             fs::create_symlink(t, lock_file(d));
         },
         "a link"},
        {"a folder", [](const TempDir& d, const std::string&) { fs::create_directory(lock_file(d)); }, "a folder"},
        {"a FIFO", [](const TempDir& d, const std::string&) { ASSERT_EQ(::mkfifo(lock_file(d).c_str(), 0600), 0); },
         "a special file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir, elsewhere;
        const std::string target = elsewhere.file("target");
        c.make(dir, target);
        auto target_state = [&] { return file_exists(target) ? read_file(target) : "(none)"; };
        const std::string before = target_state();
        const std::string got = refusal(dir.path());
        EXPECT_NE(got.find(std::string(c.says) + " in place of its lock file .tlvx.lock; remove it"), std::string::npos)
            << got;
        EXPECT_EQ(target_state(), before);
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
        WorldLock lock(dir.path(), "tlvx", [](int) {
            errno = fake_errno;
            return -1;
        });
        EXPECT_FALSE(lock.held());
        EXPECT_EQ(lock.warning().rfind("the world in \"" + dir.path() +
                                           "\" is not protected against a second program: "
                                           "its file system does not support locks (",
                                       0),
                  0u)
            << lock.warning();
        EXPECT_EQ(read_file(lock_file(dir)), "") << "no holder is named for a lock not held";
        EXPECT_EQ(refusal(dir.path()), "");
    }
}

// A folder the program may not write: an existing lock file is still locked
// (through a descriptor open for reading); without one the world is used
// unprotected, with a warning. Run in a child without root's override of file
// modes.
TEST(WorldLock, ReadOnlyFolderLocksAnExistingFileOrWarns) {
    for (const bool has_file : {true, false}) {
        SCOPED_TRACE(has_file ? "lock file there" : "no lock file");
        TempDir dir;
        write_file(dir.file("probe"), "");
        if (has_file) write_file(lock_file(dir), "");
        ASSERT_EQ(::chmod(dir.file("probe").c_str(), 0444), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!drop_file_mode_override(dir.file("probe")).empty()) _exit(3);
            try {
                WorldLock lock(dir.path(), "tlvx");
                const bool warned =
                    lock.warning().find("its lock file cannot be created (Permission denied)") != std::string::npos &&
                    lock.folder_unwritable();
                // A second lock in the same state is refused only when the first is held.
                bool second_refused = false;
                try {
                    WorldLock second(dir.path(), "tlvx");
                } catch (const WorldLockError&) {
                    second_refused = true;
                }
                _exit(lock.held() && second_refused && !warned ? 0 : !lock.held() && warned && !second_refused ? 1 : 4);
            } catch (...) {
                _exit(5);
            }
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ::chmod(dir.path().c_str(), 0755);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot make a read-only folder here";
        EXPECT_EQ(WEXITSTATUS(status), has_file ? 0 : 1);
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
        {"", "another program"},
        {"\n", "another program"},
        {"tlvx", "another program"},
        {" 1234", "another program"},
        {"tlvx 12a", "another program"},
        {"tlvx 12345678901", "another program"},
        {"tlvx ", "another program"},
        {"evil\x1b[2J\x01 5", "evil?[2J? (pid 5)"},
        {std::string(100, 'n') + " 5", std::string(64, 'n') + "... (pid 5)"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(lock_holder(text), want) << text;
}

}  // namespace
}  // namespace tlvx::test
