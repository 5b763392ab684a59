#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "tools/demo_world.hpp"
#include "tools/info.hpp"
#include "tools/picture_files.hpp"
#include "tools/user_world.hpp"
#include "tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::tools;
namespace fs = std::filesystem;

namespace {

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Sets an environment variable for the tools a test starts, and puts it back.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(const char* n, const std::string& value) : name(n) {
        if (const char* v = std::getenv(n)) old = v;
        ::setenv(n, value.c_str(), 1);
    }
    ~ScopedEnv() { old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str()); }
};

}  // namespace

TEST(UserWorld, FolderFollowsTheDataHomeThenTheHomeFolder) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* account;
        const char* want;  // nullptr: no home folder known
    } cases[] = {
        {"/x/data", "/h", "", "/x/data/tlvx/world"},
        {"/x/data//", "/h", "", "/x/data/tlvx/world"},
        {nullptr, "/h", "", "/h/.local/share/tlvx/world"},
        {"", "/h/", "", "/h/.local/share/tlvx/world"},
        {"relative/data", "/h", "", "/h/.local/share/tlvx/world"},  // relative values are ignored
        {nullptr, nullptr, "/acct", "/acct/.local/share/tlvx/world"},
        {nullptr, "not/absolute", "/acct", "/acct/.local/share/tlvx/world"},
        {nullptr, "/", "", "/.local/share/tlvx/world"},
        {"/", nullptr, "", "/tlvx/world"},
        {nullptr, nullptr, "", nullptr},
        {"", "", "relative", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " " + (c.home ? c.home : "(unset)"));
        WorldEnv env{c.xdg, c.home, c.account};
        if (c.want) EXPECT_EQ(user_world_dir(env), c.want);
        else EXPECT_THROW(user_world_dir(env), ToolError);
    }
}

// First start: the demo world appears in private new folders, whole and playable, nothing left beside it.
// Second start: the same folder, untouched.
TEST(UserWorld, FirstStartCreatesTheDemoWorldLaterStartsReuseIt) {
    test::TempDir home;
    const std::string dir = user_world_dir(WorldEnv{nullptr, home.path().c_str(), ""});
    const UserWorld first = prepare_user_world(dir);
    EXPECT_TRUE(first.created);
    EXPECT_EQ(first.dir, dir);
    EXPECT_TRUE(inspect_world(dir).problems.empty());
    EXPECT_EQ(names_in(fs::path(dir).parent_path()), std::set<std::string>{"world"});
    for (const std::string& p : {home.file(".local"), home.file(".local/share/tlvx"), dir}) {
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }

    test::write_file(dir + "/" + kSaveFileName, "the player's own save");
    const auto before = names_in(dir);
    const UserWorld second = prepare_user_world(dir);
    EXPECT_FALSE(second.created);
    EXPECT_EQ(names_in(dir), before);
    EXPECT_EQ(test::read_file(dir + "/" + kSaveFileName), "the player's own save");
}

// An empty folder is filled; a folder with anything in it is the player's and is never written to;
// a file in the folder's place, or a parent that cannot be made, is an error that leaves nothing behind.
TEST(UserWorld, OnlyMissingOrEmptyFoldersAreFilled) {
    test::TempDir base;
    fs::create_directory(base.file("empty"));
    EXPECT_TRUE(prepare_user_world(base.file("empty")).created);
    EXPECT_TRUE(test::file_exists(base.file("empty/") + kSaveFileName));

    fs::create_directory(base.file("mine"));
    test::write_file(base.file("mine/notes.txt"), "x");
    EXPECT_FALSE(prepare_user_world(base.file("mine")).created);
    EXPECT_EQ(names_in(base.file("mine")), std::set<std::string>{"notes.txt"});

    test::write_file(base.file("plain"), "a file");
    EXPECT_THROW(prepare_user_world(base.file("plain")), ToolError);
    EXPECT_THROW(prepare_user_world(base.file("plain/tlvx/world")), ToolError);
    EXPECT_EQ(test::read_file(base.file("plain")), "a file");
    EXPECT_EQ(names_in(base.path()), (std::set<std::string>{"empty", "mine", "plain"}));
}

TEST(UserWorld, TheCurrentFolderIsPlayedOnlyWhenItHoldsAWorldAndNothingElseIsAsked) {
    using O = std::optional<std::string>;
    EXPECT_EQ(chosen_data_dir(O("d"), false, false), O("d"));
    EXPECT_EQ(chosen_data_dir(O("d"), false, true), O("d"));
    EXPECT_EQ(chosen_data_dir(std::nullopt, false, true), O("."));
    EXPECT_EQ(chosen_data_dir(std::nullopt, false, false), std::nullopt);
    EXPECT_EQ(chosen_data_dir(std::nullopt, true, true), std::nullopt);
}

// The hint after `demo` names the game by the path the user can run.
TEST(UserWorld, PlayCommandNamesTheGameBesideTheTool) {
    test::TempDir bin, other;
    test::write_file(bin.file("tlvx"), "#!/bin/sh\n");
    ::chmod(bin.file("tlvx").c_str(), 0755);
    test::write_file(other.file("tlvx"), "#!/bin/sh\n");
    ::chmod(other.file("tlvx").c_str(), 0755);
    const std::string on_path = "/nonexistent:" + bin.path() + ":" + other.path();
    EXPECT_EQ(play_command("w", bin.path(), on_path.c_str()), "cd w && tlvx");
    EXPECT_EQ(play_command("w", bin.path(), other.path().c_str()), "cd w && " + bin.file("tlvx"));
    EXPECT_EQ(play_command("w", bin.path(), nullptr), "cd w && " + bin.file("tlvx"));
    EXPECT_EQ(play_command("w", bin.path(), ".:"), "cd w && " + bin.file("tlvx"));
    EXPECT_EQ(play_command("my world's", other.path() + "/none", nullptr), "cd 'my world'\\''s' && tlvx");
}

// The runner's --world: the first run creates the world and says so, the next says nothing and keeps
// what the first left; --world and --data exclude each other.
TEST(UserWorld, RunnerUsesTheWorldInTheDataHome) {
    test::TempDir data;
    ScopedEnv env("XDG_DATA_HOME", data.path());
    const std::string dir = data.file("tlvx/world");
    const test::ToolRun first = test::run_tool("run --world --passes 3");
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(first.output, created_world_message(dir) + "\n");
    const std::string layer = test::read_file(dir + "/tlvx_gr1.tmp");
    ASSERT_FALSE(layer.empty());

    test::write_file(data.file("keys"), "2 +\n3 esc\n");  // raise the ground in front, then quit
    const test::ToolRun second = test::run_tool("run --world --keys '" + data.file("keys") + "'");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output, "");
    EXPECT_NE(test::read_file(dir + "/tlvx_gr1.tmp"), layer);
    EXPECT_EQ(names_in(data.file("tlvx")), std::set<std::string>{"world"});

    EXPECT_NE(test::run_tool("run --world --data '" + dir + "' --passes 1").status, 0);
}
