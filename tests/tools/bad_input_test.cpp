// Every refusal of tlvx-tool: a non-zero exit status, one short line of
// output that names the culprit, and the folder tree exactly as it was (no
// file left behind, no world changed). The tool runs without the
// capabilities that let root write read-only files, so the unwritable rows
// mean the same for every user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>

#include "tools/new_map.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"

namespace fs = std::filesystem;

namespace tlvx::test {
namespace {

constexpr int kNotMade = 124;

// Runs tlvx-tool in `cwd` with `args`, without the file mode override.
ToolRun run_in(const std::string& cwd, const std::vector<std::string>& args, const std::string& probe) {
    TempDir io;
    const std::string out = io.file("out");
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || dup2(o, 1) < 0 || dup2(o, 2) < 0 || chdir(cwd.c_str()) != 0) _exit(kNotMade);
        if (const std::string why = drop_file_mode_override(probe); !why.empty())
            std::fprintf(stderr, "fault not made: %s\n", why.c_str()), _exit(kNotMade);
        std::vector<char*> argv = {const_cast<char*>(TLVX_TOOL)};  // execv changes none of them
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, read_file(out)};
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path();
        tools::write_demo_world(root_ + "/w", false);
        ASSERT_EQ(run_in(root_, {"export-tiled", "w", "m.tmj"}, "").status, 0);
        ASSERT_EQ(run_in(root_, {"export-tiled", "w", "r.tmj", "--region", "1,1,2,2"}, "").status, 0);
        const std::string map = read_file(root_ + "/m.tmj");
        auto swap = [&](const char* from, const std::string& to) {
            return std::regex_replace(map, std::regex(from), to);
        };
        auto put = [&](const char* name, const std::string& bytes) { write_file(root_ + "/" + name, bytes); };
        put("trunc.tmj", map.substr(0, 300));
        put("empty.tmj", "");
        put("wrongtype.tmj", swap("\"width\":80", "\"width\":\"80\""));
        put("range.tmj", swap("\"width\":80", "\"width\":70000"));
        // A compression name with a line break, long enough to swamp a message.
        put("oddzip.tmj", swap("\"compression\":\"zlib\"", "\"compression\":\"zl\\nib" + std::string(300, 'z') + "\""));
        put("hugenum.tmj", swap("\"width\":80", "\"width\":3e3333"));  // a number beyond any double
        put("file.txt", "not a folder\n");
        put("keys.txt", "1 h\n2 esc\n");
        put("badkeys.txt", "1 h\n2 nosuchkey\n");
        fs::create_directory(root_ + "/adir");
        fs::create_directory(root_ + "/m2-objects.tsj");  // in the way of an export to m2.tmj
        fs::create_symlink("file.txt", root_ + "/link.png");
        fs::create_directory(root_ + "/ro");
        write_file(root_ + "/ro/locked", "");
        ::chmod((root_ + "/ro/locked").c_str(), 0444);
        ::chmod((root_ + "/ro").c_str(), 0555);
        tools::new_map({.dir = root_ + "/small", .w = 10, .h = 10, .fill = {}});
        // A world whose creature layer is a link, and worlds each missing one data file.
        fs::copy(root_ + "/w", root_ + "/wlink");
        fs::remove(root_ + "/wlink/tlvx_gr2.tmp");
        fs::create_symlink("../w/tlvx_gr2.tmp", root_ + "/wlink/tlvx_gr2.tmp");
        fs::copy(root_ + "/w", root_ + "/row");  // a world in a read-only folder
        ::chmod((root_ + "/row").c_str(), 0555);
        for (const char* name : kDataFiles) {
            fs::copy(root_ + "/w", root_ + "/no-" + std::string(name));
            fs::remove(root_ + "/no-" + std::string(name) + "/" + name);
        }
    }
    void TearDown() override {
        for (const char* d : {"/ro", "/row"}) ::chmod((root_ + d).c_str(), 0755);
    }

    static constexpr const char* kDataFiles[] = {"tlvx_w05.pal", "Pndx_001.sav", "oakvale.txt",
                                                 "tlvx_w05.mem", "tlvx_w05.mom", "tlvx_gr1.tmp"};

    // Runs one bad invocation and checks everything a refusal promises
    // (`report`: a report of several lines, the game's or info's).
    void refused(const std::vector<std::string>& args, int status, const std::vector<std::string>& says,
                 bool report = false) {
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        const auto before = tree(root_);
        const ToolRun r = run_in(root_, args, "ro/locked");
        ASSERT_NE(r.status, kNotMade) << r.output;
        EXPECT_EQ(r.status, status) << shown << "\n" << r.output;
        for (const std::string& s : says) EXPECT_NE(r.output.find(s), std::string::npos) << shown << "\n" << r.output;
        if (!report) {
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << shown << "\n" << r.output;
            EXPECT_LE(r.output.size(), 200u) << shown << "\n" << r.output;
            EXPECT_FALSE(std::regex_search(r.output, std::regex("exception|[0-9]{25}"))) << shown << "\n" << r.output;
        }
        EXPECT_EQ(changes(before, tree(root_)), "") << shown;
    }

    TempDir dir_;
    std::string root_;
};

TEST_F(BadInput, TopLevelAndWorldCommands) {
    refused({}, 2, {"subcommand", "render"});
    refused({"bogus"}, 2, {"\"bogus\"", "demo, new, render, info"});
    refused({"demo", "file.txt"}, 1, {"file.txt", "not a folder"});
    refused({"demo", "w"}, 1, {"w", "--force"});
    refused({"demo", "ro/new"}, 1, {"ro/new", "permission denied"});
    for (const char* size : {"7x7", "200x", "99999999999999999999999x8", "10x70000"})
        refused({"new", "n", "--size", size}, 2, {"--size must be WxH", size});
    refused({"new", "n", "--size", "10x10", "--fill", "256"}, 2, {"--fill must be 0 to 255"});
    refused({"new", "w", "--size", "10x10"}, 1, {"w", "already has a map"});
    refused({"new", "row", "--size", "10x10", "--force"}, 1, {"row/tlvx_gr1.tmp", "folder row cannot be written"});
    refused({"render", "w", "adir"}, 1, {"adir", "is a folder"});
    refused({"render", "w", "ro/x.png"}, 1, {"ro", "cannot be written"});
    refused({"render", "w", "link.png"}, 1, {"link.png", "link"});
    for (const char* region : {"0,0,5,5", "1,1,5", "1,1,99999999999999999999,5"})
        refused({"render", "w", "x.png", "--region", region}, 2, {"--region must be"});
    refused({"render", "w", "x.png", "--region", "1,1,500,5"}, 1, {"region reaches outside"});
    refused({"render", "w", "x.png", "--frame", "5"}, 2, {"--frame must be 1 to 4"});
    refused({"info", "nodir"}, 1, {"world folder nodir does not exist"});
    refused({"icon", "--size", "8", "i.png"}, 2, {"--size must be 24 to"});
}

TEST_F(BadInput, TiledCommands) {
    refused({"export-tiled", "w", "m2.tmj"}, 1, {"m2-objects.tsj", "is a folder"});
    refused({"export-tiled", "w", "m3.tmj", "--region", "76,1,6,5"}, 1, {"76,1,6,5 reaches outside", "80 x 60"});
    refused({"import-tiled", "trunc.tmj", "w"}, 1, {"trunc.tmj is not a complete map", "line 3, column"});
    refused({"import-tiled", "empty.tmj", "w"}, 1, {"empty.tmj is empty"});
    refused({"import-tiled", "wrongtype.tmj", "w"}, 1, {"wrongtype.tmj", "\"width\"", "a text"});
    refused({"import-tiled", "range.tmj", "w"}, 1, {"range.tmj", "70000"});
    refused({"import-tiled", "oddzip.tmj", "w"}, 1, {"oddzip.tmj", "compressed as \"zl\\nibzzz"});
    refused({"import-tiled", "hugenum.tmj", "w"}, 1, {"hugenum.tmj holds a number too large to read at line"});
    refused({"import-tiled", "nofile.tmj", "w"}, 1, {"nofile.tmj", "No such file"});
    refused({"import-tiled", "adir", "w"}, 1, {"adir is a folder"});
    refused({"import-tiled", "m.tmj", "wlink"}, 1, {"tlvx_gr2.tmp", "link"});
    refused({"import-tiled", "m.tmj", "small"}, 1, {"80 x 60", "10 x 10"});
    refused({"import-tiled", "r.tmj", "adir"}, 1, {"adir", "holds no map to put it into"});
    refused({"import-tiled", "m.tmj", "row"}, 1, {"row", "Permission denied"});
    refused({"import-tiled", "m.tmj"}, 2, {"import-tiled", "DIR"});
}

TEST_F(BadInput, Run) {
    for (const char* passes : {"0", "99999999999999999999999999999"})
        refused({"run", "--data", "w", "--passes", passes}, 2, {"--passes must be 1 or more"});
    refused({"run", "--data", "w", "--passes", "1e3"}, 2, {"--passes must be a whole number 1 or more", "1e3"});
    refused({"run", "--data", "nodir"}, 2, {"data folder nodir does not exist"});
    refused({"run", "--world", "--data", "w"}, 2, {"--world", "--data"});
    refused({"run", "--data", "w", "--keys", "nokeys.txt"}, 2, {"nokeys.txt"});
    refused({"run", "--data", "w", "--keys", "badkeys.txt"}, 2, {"badkeys.txt", "line 2"});
    refused({"run", "--data", "w", "--clock", "abc"}, 2, {"--clock must be START:STEP", "abc"});
    // The README's example run outside the project: refused before the game
    // starts, so the world is not touched.
    refused({"run", "--data", "w", "--keys", "keys.txt", "--screenshot", "docs/demo.png"}, 2,
            {"docs/demo.png", "folder docs does not exist"});
}

// A world with one data file missing: each tool names the file. The game's
// own report of `run` and the report of info keep their form.
TEST_F(BadInput, WorldWithEachDataFileMissing) {
    for (const std::string name : kDataFiles) {
        const std::string world = "no-" + name;
        refused({"render", world, "x.png"}, 1, {world, name});
        if (name == "tlvx_gr1.tmp") {
            refused({"export-tiled", world, "m3.tmj"}, 1, {world, name});
            continue;  // the game itself creates a missing layer file
        }
        refused({"run", "--data", world, "--keys", "keys.txt"}, 2,
                {"Aborting due to runtime error 2 (file not found)", name}, true);
        refused({"info", world}, 1, {name}, true);
    }
}

// The options of the game itself (tlvx) have their rows in tests/app/bad_options_test.cpp.

}  // namespace
}  // namespace tlvx::test
