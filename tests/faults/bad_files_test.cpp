// Data files that are missing, empty, directories or garbage, before the start
// or while the game runs, and names that point outside the data directory:
// always a clean end with a report that names the file, never a crash, a hang
// or a damaged map.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "base/error.hpp"
#include "faults/fault_helpers.hpp"
#include "shell/game.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(rng() & 255);
    return out;
}

TEST(BadFiles, PictureDeletedOrSpoiledWhileRunningEndsTheNextDrawNamingIt) {
    std::string garbage = random_bytes(600, 3);
    garbage[0] = 7;  // no picture layout starts with this byte
    // The picture deleted (error 2) or garbage (error 3); the loaders' other refusals are the image tests'.
    for (const std::string& bytes : {""s, garbage}) {
        SCOPED_TRACE(bytes.size());
        TempDir dir;
        FixtureWorld().write(dir.path());
        FakePlatform platform;
        auto s = std::make_unique<State>();
        init_state(*s, dir.path(), platform);
        startup(*s);
        for (const char* key : {"+", "h", "*"}) {
            platform.pending.push_back(key);
            run_pass(*s);
        }
        const auto layers = layer_files(dir.path());
        if (bytes.empty()) fs::remove(dir.file("tile1.pic"));
        else write_file(dir.file("tile1.pic"), bytes);
        platform.pending.push_back("9");  // a turn: the whole view is drawn again
        try {
            run_pass(*s);
            ADD_FAILURE() << "the pass ran through";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), bytes.empty() ? 2 : 3) << e.place();
            EXPECT_NE(e.place().find("\"tile1.pic\""), std::string::npos) << e.place();
        }
        EXPECT_EQ(layer_files(dir.path()), layers);
    }
}

// Each data file replaced by a directory, an empty file or random bytes.
TEST(BadFiles, EachDataFileAsDirectoryEmptyOrRandomEndsCleanly) {
    FaultRig rig(FixtureWorld(), "1 h\n2 +\n3 i\n4 b\n");
    uint32_t seed = 1;
    for (const std::string file :
         {"tlvx_w05.pal", "Pndx_001.sav", "Testland.txt", "tlvx_w05.mem", "tlvx_w05.mom", "tlvx_gr1.tmp",
          "tlvx_gr2.tmp", "tlvx_gr3.tmp", "tlvx_gr4.tmp", "tlvx_gr5.tmp", "tile1.pic"}) {
        for (const std::string kind : {"directory", "empty", "random"}) {
            fs::remove_all(rig.run);
            fs::create_directory(rig.run);
            copy_dir(rig.world, rig.run);
            const std::string path = rig.run + "/" + file;
            fs::remove(path);
            std::string bytes = kind == "random" ? random_bytes(2000, seed++) : "";
            if (kind == "random" && file == "tile1.pic") bytes[0] = 7;  // not a picture layout
            if (kind == "directory") fs::create_directory(path);
            else write_file(path, bytes);

            ToolRun tool = rig.tool();
            tool.args.insert(tool.args.end(), {"--passes", "6"});
            tool.timeout_seconds = 30;
            ToolResult r = run_tool(tool);
            const std::string what = file + " " + kind + ": " + r.err;
            ASSERT_TRUE(r.exited) << "killed (SIGALRM: a hang) " << what;  // never a crash or a hang
            EXPECT_TRUE(r.code == 0 || r.err.find("runtime error " + std::to_string(r.code)) != std::string::npos)
                << what;
            // A directory, a picture or an empty ground layer can only fail,
            // and the report names the file; text files tolerate any content.
            if (kind == "directory" || file == "tile1.pic" || (kind == "empty" && file == "tlvx_gr1.tmp")) {
                EXPECT_NE(r.code, 0) << what;
                EXPECT_NE(r.err.find(file + "\""), std::string::npos) << what;
            }
        }
    }
}

TEST(BadFiles, SaveNamesOutsideTheDataDirectoryAreRefusedAndWorldNamesAreReadAsGiven) {
    TempDir root;
    const std::string data = root.file("data"), outside = "/tmp/tlvx-outside-" + std::to_string(getpid());
    write_file(root.file("keys.txt"), "1 h\n2 esc\n");
    auto entries = [&] { return std::distance(fs::directory_iterator(root.path()), {}); };
    // More names (with "/", "..") in SaveFile.MissingFileOrNameReachingOutsideTheDataDirectoryIsError2.
    for (const std::string& name : {"../x"s, outside}) {
        fs::remove_all(data);
        fs::create_directory(data);
        FixtureWorld w;
        w.name = name;  // field 7 of the start file names another character
        const std::string save = data + "/" + name + "_001.sav";
        fs::create_directories(fs::path(save).parent_path());
        w.write(data);
        fs::remove(save);
        const std::string start = read_file(data + "/Pndx_001.sav");
        const auto in_root = entries();

        ToolResult r = run_tool({{"--data", data, "--keys", root.file("keys.txt")}});
        ASSERT_TRUE(r.exited) << r.err;
        EXPECT_EQ(r.code, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(name + "_001.sav"), std::string::npos) << r.err;
        EXPECT_FALSE(file_exists(outside + "_001.sav"));
        EXPECT_FALSE(file_exists(save)) << name;
        EXPECT_EQ(entries(), in_root);
        EXPECT_EQ(read_file(data + "/Pndx_001.sav"), start);
    }

    // A world base name reaching into the parent directory is read from there
    // like any other name, and saved back unchanged.
    fs::remove_all(data);
    fs::create_directory(data);
    FixtureWorld w;
    w.world = "../Outer";
    w.write(data);
    ASSERT_TRUE(file_exists(root.file("Outer.txt")));
    ToolResult r = run_tool({{"--data", data, "--keys", root.file("keys.txt")}});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(data + "/Pndx_001.sav").substr(0, 10), "../Outer\r\n");
}

}  // namespace
}  // namespace tlvx::test
