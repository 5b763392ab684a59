#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>

#include "tools/user_world.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"
#include "world/picture_files.hpp"

using namespace tlvx;
using namespace tlvx::tools;
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
