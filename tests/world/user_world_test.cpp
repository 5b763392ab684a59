#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>

#include "support/test_support.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"
#include "world/picture_files.hpp"
#include "world/user_world.hpp"

using namespace tlvx;
using namespace tlvx::world;
namespace fs = std::filesystem;

TEST(UserWorld, FolderFollowsTheDataHomeThenTheHomeFolder) {
    struct Case {
        const char *xdg, *home, *account, *want;  // want nullptr: no home folder known
    } cases[] = {
        {"/x/data", "/h", "", "/x/data/tlvx/world"},
        {nullptr, "/h", "", "/h/.local/share/tlvx/world"},
        {"", "/h/", "", "/h/.local/share/tlvx/world"},
        {"relative/data", "/h", "", "/h/.local/share/tlvx/world"},  // relative values are ignored
        {nullptr, nullptr, "/acct", "/acct/.local/share/tlvx/world"},
        {nullptr, "not/absolute", "/acct", "/acct/.local/share/tlvx/world"},
        {nullptr, nullptr, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " " + (c.home ? c.home : "(unset)"));
        WorldEnv env{c.xdg, c.home, c.account};
        if (c.want) EXPECT_EQ(user_world_dir(env), c.want);
        else EXPECT_THROW(user_world_dir(env), ToolError);
    }
}

// First start: the demo world appears in private new folders, whole and
// playable, nothing left beside it. Later starts, and folders with anything
// in them, are the player's and never written to; an empty folder is filled;
// a file in the folder's place, or a parent that cannot be made, is an error
// that leaves nothing behind.
TEST(UserWorld, FillsOnlyMissingOrEmptyFolders) {
    test::TempDir home;
    const std::string dir = user_world_dir(WorldEnv{nullptr, home.path().c_str(), ""});
    EXPECT_TRUE(prepare_user_world(dir).created);
    EXPECT_TRUE(inspect_world(dir).problems.empty());
    EXPECT_EQ(test::names_in(fs::path(dir).parent_path()), std::set<std::string>{"world"});
    for (const std::string& p : {home.file(".local"), home.file(".local/share/tlvx"), dir}) {
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    test::write_file(dir + "/" + kSaveFileName, "the player's own save");
    const auto before = test::names_in(dir);
    EXPECT_FALSE(prepare_user_world(dir).created);
    EXPECT_EQ(test::names_in(dir), before);
    EXPECT_EQ(test::read_file(dir + "/" + kSaveFileName), "the player's own save");

    test::TempDir base;
    fs::create_directory(base.file("empty"));
    EXPECT_TRUE(prepare_user_world(base.file("empty")).created);
    EXPECT_TRUE(test::file_exists(base.file("empty/") + kSaveFileName));
    test::write_file(base.file("plain"), "a file");
    EXPECT_THROW(prepare_user_world(base.file("plain")), ToolError);
    EXPECT_THROW(prepare_user_world(base.file("plain/tlvx/world")), ToolError);
    EXPECT_EQ(test::read_file(base.file("plain")), "a file");
    EXPECT_EQ(test::names_in(base.path()), (std::set<std::string>{"empty", "plain"}));
}

TEST(UserWorld, TheCurrentFolderIsPlayedOnlyWhenItHoldsAWorldAndNothingElseIsAsked) {
    using O = std::optional<std::string>;
    EXPECT_EQ(chosen_data_dir(O("d"), false, false), O("d"));
    EXPECT_EQ(chosen_data_dir(std::nullopt, false, true), O("."));
    EXPECT_EQ(chosen_data_dir(std::nullopt, false, false), std::nullopt);
    EXPECT_EQ(chosen_data_dir(std::nullopt, true, true), std::nullopt);
}

// The hint after `demo` names the game by the path the user can run.
TEST(UserWorld, PlayCommandNamesTheGameBesideTheTool) {
    test::TempDir bin, other;
    for (const test::TempDir* d : {&bin, &other}) {
        test::write_file(d->file("tlvx"), "#!/bin/sh\n");
        ::chmod(d->file("tlvx").c_str(), 0755);
    }
    const std::string on_path = "/nonexistent:" + bin.path() + ":" + other.path();
    EXPECT_EQ(play_command("w", bin.path(), on_path.c_str()), "cd w && tlvx");
    EXPECT_EQ(play_command("w", bin.path(), other.path().c_str()), "cd w && " + bin.file("tlvx"));
    EXPECT_EQ(play_command("my world's", other.path() + "/none", nullptr), "cd 'my world'\\''s' && tlvx");
}

// mended: the temporary folders of first starts that were killed are removed
// at the next start; only those: young folders (a start at work that may not
// have locked its folder yet), locked ones (a start at work), links, folders
// holding anything but files, and other names stay as they are.
TEST(UserWorld, LeftoversOfKilledFirstStartsAreRemovedAndNothingElse) {
    test::TempDir home, other;
    const std::string dir = user_world_dir(WorldEnv{nullptr, home.path().c_str(), ""});
    const std::string parent = fs::path(dir).parent_path().string();
    fs::create_directories(parent);
    fs::create_directories(other.file("target"));
    test::write_file(other.file("target/precious"), "kept");
    const struct {
        std::string name;
        bool old, sub, removed;
    } cases[] = {
        {".world-new-AbC123", true, false, true},   {".world-new-zzzzzz", true, false, true},
        {".world-new-young1", false, false, false}, {".world-new-sub123", true, true, false},
        {".world-new-locked", true, false, false},  {".world-new-toolong7", true, false, false},
        {"world-new-abcdef", true, false, false},
    };
    std::set<std::string> kept = {"world", ".world-new-link12"};
    for (const auto& c : cases) {
        const std::string p = parent + "/" + c.name;
        fs::create_directory(p);
        test::write_file(p + "/" + kSaveFileName, "half a world");
        test::write_file(p + "/tlvx_gr1.tmp.tmp-XyZ", "");
        if (c.sub) fs::create_directory(p + "/inner");
        if (c.old) {
            const timespec two_hours_ago[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), two_hours_ago, 0), 0);
        }
        if (!c.removed) kept.insert(c.name);
    }
    fs::create_directory_symlink(other.file("target"), parent + "/.world-new-link12");
    const int held = ::open((parent + "/.world-new-locked").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a start still filling it

    EXPECT_TRUE(prepare_user_world(dir).created);
    ::close(held);
    EXPECT_EQ(test::names_in(parent), kept);
    EXPECT_EQ(test::read_file(other.file("target/precious")), "kept");
    EXPECT_EQ(test::names_in(parent + "/.world-new-sub123").size(), 3u);
    // Later starts clean up too, once the folder is no longer locked.
    EXPECT_FALSE(prepare_user_world(dir).created);
    kept.erase(".world-new-locked");
    EXPECT_EQ(test::names_in(parent), kept);
}

// mended: the per-user world may be a link to a folder the player chose:
// an empty one is filled through the link, which stays; a link to nothing
// or to a file is refused and left as it is.
TEST(UserWorld, ALinkToAnEmptyFolderIsFilledThroughTheLink) {
    test::TempDir home, chosen;
    const std::string dir = user_world_dir(WorldEnv{nullptr, home.path().c_str(), ""});
    fs::create_directories(fs::path(dir).parent_path());
    fs::create_directory(chosen.file("world"));
    fs::create_directory_symlink(chosen.file("world"), dir);
    EXPECT_TRUE(prepare_user_world(dir).created);
    EXPECT_TRUE(fs::is_symlink(dir));
    EXPECT_TRUE(inspect_world(dir).problems.empty());
    EXPECT_TRUE(test::file_exists(chosen.file("world/") + kSaveFileName));
    EXPECT_EQ(test::names_in(chosen.path()), std::set<std::string>{"world"});
    EXPECT_EQ(test::names_in(fs::path(dir).parent_path().string()), std::set<std::string>{"world"});
    test::write_file(chosen.file("world/") + kSaveFileName, "played since");
    EXPECT_FALSE(prepare_user_world(dir).created);
    EXPECT_EQ(test::read_file(dir + "/" + kSaveFileName), "played since");

    test::write_file(chosen.file("file"), "a file");
    for (const char* target : {"nothing", "file"}) {
        SCOPED_TRACE(target);
        fs::remove(dir);
        fs::create_symlink(chosen.file(target), dir);
        EXPECT_THROW(prepare_user_world(dir), ToolError);
        EXPECT_TRUE(fs::is_symlink(dir));
        EXPECT_EQ(test::read_file(chosen.file("file")), "a file");
    }
}
