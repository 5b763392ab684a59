// Every refusal of tlvx-tool: a non-zero exit status, one short line of
// output that names the culprit, and the folder tree exactly as it was (no
// file left behind, no world changed). The tool runs without the
// capabilities that let root write read-only files, so the unwritable rows
// mean the same for every user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "tools/new_map.hpp"
#include "tools/run_command.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"

namespace fs = std::filesystem;

namespace tlvx::test {
namespace {

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path();
        world::write_demo_world(root_ + "/w", false);
        ASSERT_EQ(run_tool({"export-tiled", "w", "m.tmj"}, {.cwd = root_}).status, 0);
        ASSERT_EQ(run_tool({"export-tiled", "w", "r.tmj", "--region", "1,1,2,2"}, {.cwd = root_}).status, 0);
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
    // (`memory`: the address space the tool may use, in bytes.) Every refusal comes at once.
    void refused(const std::vector<std::string>& args, int status, const std::vector<std::string>& says,
                 bool report = false, rlim_t memory = 0) {
        const auto before = tree(root_);
        const ToolRun r = run_tool(args, {.cwd = root_, .probe = "ro/locked", .memory = memory, .deadline_s = 20});
        SCOPED_TRACE(testing::PrintToString(args) + "\n" + r.output);
        ASSERT_NE(r.status, kNotStarted);
        EXPECT_EQ(r.status, status);
        EXPECT_LT(r.seconds, 10);
        for (const std::string& s : says) EXPECT_NE(r.output.find(s), std::string::npos) << s;
        EXPECT_TRUE(report ||
                    (one_short_line(r.output) && !std::regex_search(r.output, std::regex("exception|[0-9]{25}"))));
        EXPECT_EQ(changes(before, tree(root_)), "");
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
    for (const char* size : {"7x8", "8x65536", "200x", "-10x10", "10x10x3", "99999999999999999999999x8"})
        refused({"new", "n", "--size", size}, 2, {"--size must be WxH", size});
    refused({"new", "n", "--size", "10x10", "--fill", "256"}, 2, {"--fill must be 0 to 255"});
    refused({"new", "w", "--size", "10x10"}, 1, {"w", "already has a map"});
    refused({"new", "row", "--size", "10x10", "--force"}, 1, {"row/tlvx_gr1.tmp", "folder row cannot be written"});
    for (const char* name : {"", "Ninechars", " Lead", "Tail ", "Say\"hi", "Tab\tin", "Caf\xC3\xA9"})
        refused({"new", "n", "--size", "10x10", "--name", name}, 2, {"--name: a world name"});
    refused({"new", "w", "--size", "10x10", "--force", "--name", "Elm"}, 1, {"w/oakvale.txt", "exists already"});
    refused({"render", "w", "adir"}, 1, {"adir", "is a folder"});
    refused({"render", "w", "ro/x.png"}, 1, {"ro", "cannot be written"});
    refused({"render", "w", "link.png"}, 1, {"link.png", "link"});
    for (const char* region : {"0,0,5,5", "1,1,5", "1,1,99999999999999999999,5"})
        refused({"render", "w", "x.png", "--region", region}, 2, {"--region must be"});
    refused({"render", "w", "x.png", "--region", "1,1,500,5"}, 1, {"region reaches outside"});
    refused({"render", "w", "x.png", "--frame", "5"}, 2, {"--frame must be 1 to 4"});
    refused({"info", "nodir"}, 1, {"world folder nodir does not exist"});
    refused({"site", "nodir", "out"}, 1, {"world folder nodir does not exist"});
    refused({"site", "w", "file.txt"}, 1, {"site folder file.txt is a file"});
    refused({"site", "w", "ro"}, 1, {"site folder ro is not empty", "--force"});
    refused({"site", "no-tlvx_w05.mem", "out"}, 1, {"no-tlvx_w05.mem is not published, as info finds", "tlvx_w05.mem"});
    refused({"site", "w", "out", "--from", "adir"}, 1, {"no web build's site in adir", "--from SITE"});
    refused({"icon", "--size", "8", "i.png"}, 2, {"--size must be 24 to"});
}

TEST_F(BadInput, TiledCommands) {
    refused({"export-tiled", "w", "m2.tmj"}, 1, {"m2-objects.tsj", "is a folder"});
    refused({"export-tiled", "w", "m.tmj"}, 1, {"m-ground.png exists already", "--force"});
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

// mended: `new` wrote the world description where the save file's world
// name led: here the issue's own save file, in a world folder two levels
// below the test's root, made it write ESCAPED.txt into that root's "deep".
TEST_F(BadInput, NewRefusesAWorldNameThatIsNotAPlainFileName) {
    for (const std::string world : {"../../ESCAPED", "sub/x", ".x", ""}) {
        fs::remove_all(root_ + "/deep");
        fs::create_directories(root_ + "/deep/er/w");
        write_file(root_ + "/deep/er/w/Pndx_001.sav",
                   world + "\r\n5\r\n5\r\n1\r\n5\r\n5\r\nPndx\r\n\r\n\r\n\r\n0\r\n1\r\n1\r\n0\r\n");
        refused({"new", "deep/er/w", "--size", "20x20"}, 1, {"\"" + world + "\"", "not a plain file name"});
    }
}

// Names from a world's own files that lead out of its folder. mended: render
// and export-tiled drew and copied a picture from beside the world, and info
// did not say. kept: the game itself still reads such a picture.
TEST_F(BadInput, NamesFromTheWorldThatLeadOutOfItsFolder) {
    fs::copy(root_ + "/w/grass_01.pcv", root_ + "/outs.pcv");
    const std::string table = read_file(root_ + "/w/tlvx_w05.mem");
    for (const std::string name : {"../outs.pcv", "..\\outs.pcv"}) {
        const std::string w = name[2] == '/' ? "up" : "upb";
        fs::copy(root_ + "/w", root_ + "/" + w);
        write_file(root_ + "/" + w + "/tlvx_w05.mem",
                   std::regex_replace(table, std::regex("\"grass_01\\.pcv\""), "\"" + name + "\""));
        const std::string says = "the picture \"" + name + "\" (ground value 1), outside the world folder";
        refused({"render", w, "x.png"}, 1, {"render", says});
        refused({"export-tiled", w, "x.tmj"}, 1, {"export-tiled", says});
        refused({"info", w}, 1, {"picture \"" + name + "\" is outside the world folder"}, true);
        EXPECT_EQ(run_tool({"run", "--data", w, "--keys", "keys.txt"}, {.cwd = root_}).status, 0) << name;
    }
    // The save file's world name leading out: info says so, render refuses.
    fs::copy(root_ + "/w", root_ + "/outer");
    const std::string save = read_file(root_ + "/w/Pndx_001.sav");
    write_file(root_ + "/outer/Pndx_001.sav", "../oakvale" + save.substr(save.find('\r')));
    fs::copy(root_ + "/w/oakvale.txt", root_ + "/oakvale.txt");
    refused({"info", "outer"}, 1, {"world description \"../oakvale.txt\" is outside the world folder"}, true);
    refused({"render", "outer", "x.png"}, 1, {"../oakvale.txt", "leads out of the world folder"});
}

// A world with one data file missing: each tool names the file. The game's
// own report of `run` (error_report, whose escaping of names is ErrorReport's)
// and the report of info keep their form.
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

// Files the tools read because a user or a user's file names them.
class InputFiles : public BadInput {
protected:
    // The exported map with its ground tileset's `source` replaced, as `name`.
    std::string map_with_source(const std::string& name, const std::string& source) {
        const std::string map = read_file(root_ + "/m.tmj");
        write_file(root_ + "/" + name, std::regex_replace(map, std::regex("\"source\":\"[^\"]*ground.tsj\""),
                                                          "\"source\":\"" + source + "\""));
        EXPECT_NE(read_file(root_ + "/" + name), map);
        return name;
    }
    // A copy of the demo world with `name` replaced by a FIFO.
    std::string world_with_fifo(const std::string& name) {
        const std::string w = "w-" + name;
        fs::copy(root_ + "/w", root_ + "/" + w);
        fs::remove(root_ + "/" + w + "/" + name);
        EXPECT_EQ(::mkfifo((root_ + "/" + w + "/" + name).c_str(), 0644), 0);
        return w;
    }
};

// mended: each of these waited for ever on the old tools (the open of a FIFO
// waits for a writer, deaf to Ctrl+C) or read a device as a file. The tool
// runs without a terminal: /dev/tty cannot wait for keys.
TEST_F(InputFiles, NonRegularFilesAreRefusedAtOnceNamingThem) {
    ASSERT_EQ(::mkfifo((root_ + "/fifo").c_str(), 0644), 0);
    fs::create_symlink("m-ground.tsj", root_ + "/link.tsj");
    refused({"import-tiled", map_with_source("fifo-set.tmj", "fifo"), "w"}, 1, {"fifo-set.tmj", "file fifo,", "FIFO"});
    refused({"import-tiled", map_with_source("tty-set.tmj", "/dev/tty"), "w"}, 1,
            {"tty-set.tmj", "/dev/tty", "terminal"});
    refused({"import-tiled", map_with_source("zero-set.tmj", "/dev/zero"), "w"}, 1, {"/dev/zero", "device"});
    refused({"import-tiled", map_with_source("dir-set.tmj", "w"), "w"}, 1, {"file w,", "folder"});
    // A link planted in the tileset's place is not followed.
    refused({"import-tiled", map_with_source("link-set.tmj", "link.tsj"), "w"}, 1, {"link.tsj", "link"});
    refused({"import-tiled", "fifo", "w"}, 1, {"fifo", "FIFO"});
    refused({"import-tiled", "/dev/zero", "w"}, 1, {"/dev/zero", "device"});
    refused({"info", world_with_fifo(kSaveFileName)}, 1, {kSaveFileName}, true);
    refused({"render", world_with_fifo(kPaletteFileName), "x.png"}, 1, {kPaletteFileName});
    refused({"render", world_with_fifo("grass_01.pcv"), "y.png"}, 1, {"grass_01.pcv"});
    // export-tiled only warns of a table it cannot read.
    const ToolRun r =
        run_tool({"export-tiled", world_with_fifo("tlvx_w05.mem"), "e.tmj"}, {.cwd = root_, .deadline_s = 20});
    EXPECT_TRUE(r.status == 0 && holds(r.output, {"warning", "tlvx_w05.mem"})) << r.output;
    // The same map with the tileset's own file imports.
    EXPECT_EQ(run_tool({"import-tiled", "m.tmj", "w"}, {.cwd = root_}).status, 0);
}

// mended: a key script or a recording named on the command line is opened as
// every other input file: a FIFO waited for a writer, /dev/zero was read until
// memory ran out, a folder ran with no keys. A shell's `<(...)` still gives
// the keys; a recording, read twice by position, must be a file.
TEST_F(InputFiles, KeyScriptsAndRecordingsAreFilesOrAShellsPipe) {
    ASSERT_EQ(::mkfifo((root_ + "/fifo").c_str(), 0644), 0);
    write_file(root_ + "/huge.txt", "");
    ASSERT_EQ(::truncate((root_ + "/huge.txt").c_str(), (16 << 20) + 1), 0);
    const rlim_t budget = rlim_t{96} << 20;
    for (const std::vector<std::string>& take : {std::vector<std::string>{"run", "--data", "w", "--keys"},
                                                 {"run", "--data", "w", "--replay"},
                                                 {"record-info"}}) {
        SCOPED_TRACE(take.back());
        const auto with = [&](const std::string& name) {
            std::vector<std::string> args = take;
            return args.push_back(name), args;
        };
        refused(with("fifo"), 2, {"\"fifo\" is a FIFO"});
        refused(with("/dev/zero"), 2, {"\"/dev/zero\" is a terminal or a device"}, false, budget);
        refused(with("adir"), 2, {"\"adir\" is a folder"});
    }
    refused({"run", "--data", "w", "--keys", "huge.txt"}, 2, {"\"huge.txt\" is larger than 16 MiB"}, false, budget);
    // No writer ever comes: the refusal does not wait for one.
    const ToolRun fifo = run_tool({"run", "--data", "w", "--keys", "fifo"}, {.cwd = root_, .deadline_s = 20});
    EXPECT_LT(fifo.seconds, 1.0);
    // Process substitution: the keys arrive through an unnamed pipe.
    write_file(root_ + "/subst.sh", "timeout 20 \"$1\" run --data w --keys <(printf '1 h\\n2 esc\\n') --trace t.csv\n");
    EXPECT_EQ(std::system(("cd '" + root_ + "' && bash subst.sh '" + TLVX_TOOL + "' >said 2>&1").c_str()), 0);
    EXPECT_EQ(read_file(root_ + "/said"), "");
    EXPECT_NE(read_file(root_ + "/t.csv").find(",h,"), std::string::npos);
}

// mended: maps that are all brackets, or millions of small values, are
// refused while they are read: within seconds and within a memory budget a
// 10 MB file of brackets used to exceed many times over.
TEST_F(InputFiles, MapsBuiltToExhaustMemoryAreRefusedQuickly) {
    const rlim_t budget = rlim_t{96} << 20;
    auto list = [](int n, const std::string& item) {
        std::string out = item;
        for (int i = 1; i < n; ++i) out += "," + item;
        return out;
    };
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"deep.tmj", "{\"a\":" + std::string(10'000'000, '['), "nests lists and objects more than 256 deep"},
        {"arrays.tmj", "[" + std::string(5'000'000, '[') + std::string(5'000'000, ']') + "]", "256 deep"},
        // Skipped values do not count, but they may not nest without end either.
        {"skipdeep.tmj", "{\"layers\":[{\"data\":" + std::string(1000, '['), "256 deep"},
        {"wide.tmj", "{\"width\":80,\"height\":60,\"layers\":[],\"properties\":[" + list(400000, "{}") + "]}",
         "more than 262144 values"},
    };
    for (const auto& c : cases) {
        write_file(root_ + "/" + c.name, c.bytes);
        refused({"import-tiled", c.name, "w"}, 1, {std::string(c.name) + " ", c.says}, false, budget);
    }
    // A real map imports within the same budget, and so does one with many
    // objects, which the plan skips.
    const std::string objects =
        "\"layers\":[{\"name\":\"things\",\"type\":\"objectgroup\",\"objects\":[" + list(300000, "{\"id\":1}") + "]},";
    write_file(root_ + "/objects.tmj",
               std::regex_replace(read_file(root_ + "/m.tmj"), std::regex("\"layers\":\\["), objects));
    for (const char* name : {"m.tmj", "objects.tmj"}) {
        const ToolRun r = run_tool({"import-tiled", name, "w"}, {.cwd = root_, .memory = budget, .deadline_s = 60});
        EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
    }
}

// mended: text files were read whole, so a sparse 2 GiB save file (no disk)
// cost 4 GB of memory, and more ended `run` with an uncaught exception. Each
// text file of a world larger than kMaxTextFileBytes is refused before it is
// read, in a memory budget far below its size, naming the file; the world
// stays as it was.
TEST_F(InputFiles, HugeTextFilesAreRefusedBeforeTheyAreRead) {
    TempDir big;  // outside root_, whose tree the fixture reads whole
    const rlim_t budget = rlim_t{256} << 20;
    for (const std::string name : {"Pndx_001.sav", "oakvale.txt", "tlvx_w05.mem", "tlvx_w05.mom", "tlvx_w05.pal"}) {
        const std::string w = "w";  // in big, the tools' folder
        fs::copy(root_ + "/w", big.file(w));
        const std::string save = read_file(big.file(w + "/Pndx_001.sav"));
        fs::resize_file(big.file(w + "/" + name), uintmax_t{2} << 30);  // sparse: no disk
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"run", "--data", w, "--keys", root_ + "/keys.txt"},
              {"render", w, "x.png"},
              {"info", w}}) {
            const ToolRun r = run_tool(args, {.cwd = big.path(), .memory = budget, .deadline_s = 20});
            SCOPED_TRACE(name + " " + args[0] + "\n" + r.output);
            EXPECT_EQ(r.status, args[0] == "run" ? 3 : 1);
            EXPECT_LT(r.seconds, 10);
            EXPECT_NE(r.output.find("\"" + name + "\": it is 2147483648 bytes, over the 4194304 a text file may hold"),
                      std::string::npos);
            EXPECT_TRUE(args[0] != "render" || one_short_line(r.output));
        }
        EXPECT_EQ(fs::file_size(big.file(w + "/" + name)), uintmax_t{2} << 30);
        EXPECT_TRUE(name == "Pndx_001.sav" || read_file(big.file(w + "/Pndx_001.sav")) == save);
        EXPECT_FALSE(fs::exists(big.file("x.png")));
        fs::remove_all(big.file(w));
    }
}

// The options of the game itself (tlvx) have their rows in tests/app/game_options_test.cpp.

}  // namespace
}  // namespace tlvx::test
