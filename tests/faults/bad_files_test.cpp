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

std::string random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(rng() & 255);
    return out;
}

// The error of the next pass, or 0 when it runs through.
RuntimeError next_pass_error(State& s) {
    try {
        run_pass(s);
    } catch (const RuntimeError& e) {
        return e;
    }
    return RuntimeError(0, "");
}

TEST(BadFiles, PictureDeletedOrSpoiledWhileRunningEndsTheNextDrawNamingIt) {
    struct Spoil {
        const char* what;
        std::string bytes;  // empty: the file is deleted
        int32_t error;
    };
    std::string garbage = random_bytes(600, 3);
    garbage[0] = 7;  // no picture layout starts with this byte
    const Spoil spoils[] = {{"deleted", "", 2},
                            {"garbage", garbage, 3},
                            {"a cut BMP", "BM\x10\0\0", 3},
                            {"zero length", std::string("\xFD\0\0\0\0\0\0", 7), 3}};
    for (const Spoil& spoil : spoils) {
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
        if (spoil.bytes.empty()) std::filesystem::remove(dir.file("tile1.pic"));
        else write_file(dir.file("tile1.pic"), spoil.bytes);
        platform.pending.push_back("9");  // a turn: the whole view is drawn again
        RuntimeError e = next_pass_error(*s);
        EXPECT_EQ(e.number(), spoil.error) << spoil.what << ": " << e.place();
        EXPECT_NE(e.place().find("\"tile1.pic\""), std::string::npos) << spoil.what << ": " << e.place();
        EXPECT_EQ(layer_files(dir.path()), layers) << spoil.what;
    }
}

// Each data file replaced by a directory, an empty file or random bytes.
TEST(BadFiles, EachDataFileAsDirectoryEmptyOrRandomEndsCleanly) {
    TempDir root;
    const std::string world = root.file("world");
    std::filesystem::create_directory(world);
    FixtureWorld().write(world);
    write_file(root.file("keys.txt"), "1 h\n2 +\n3 i\n4 b\n");
    const char* files[] = {"tlvx_w05.pal", "Pndx_001.sav", "Testland.txt", "tlvx_w05.mem",
                           "tlvx_w05.mom", "tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp",
                           "tlvx_gr4.tmp", "tlvx_gr5.tmp", "tile1.pic"};
    enum Kind { Directory, Empty, Random };
    uint32_t seed = 1;
    for (const std::string file : files) {
        for (Kind kind : {Directory, Empty, Random}) {
            const char* kind_name = kind == Directory ? "directory" : kind == Empty ? "empty" : "random";
            const std::string run = root.file("run");
            std::filesystem::remove_all(run);
            std::filesystem::create_directory(run);
            copy_dir(world, run);
            std::filesystem::remove(run + "/" + file);
            if (kind == Directory) std::filesystem::create_directory(run + "/" + file);
            std::string bytes = kind == Random ? random_bytes(2000, seed++) : "";
            if (kind == Random && file == "tile1.pic") bytes[0] = 7;  // not a picture layout
            if (kind != Directory) write_file(run + "/" + file, bytes);

            ToolRun tool{{"--data", run, "--keys", root.file("keys.txt"), "--passes", "6"}};
            tool.timeout_seconds = 30;
            ToolResult r = run_tool(tool);
            const std::string what = file + " " + kind_name + ": " + r.err;
            ASSERT_FALSE(r.timed_out) << what;
            ASSERT_TRUE(r.exited) << "signal " << r.signal << " " << what;
            if (r.code != 0) {
                EXPECT_NE(r.err.find("Aborting due to runtime error " + std::to_string(r.code) + " ("),
                          std::string::npos)
                    << what;
            }
            // A directory, a picture or an empty ground layer can only fail,
            // and the report names the file; text files tolerate any content.
            if (kind == Directory || file == "tile1.pic" || (kind == Empty && file == "tlvx_gr1.tmp")) {
                EXPECT_NE(r.code, 0) << what;
                EXPECT_NE(r.err.find(file + "\""), std::string::npos) << what;
            }
        }
    }
}

TEST(BadFiles, SaveNamesOutsideTheDataDirectoryAreRefusedAndWorldNamesAreReadAsGiven) {
    TempDir root;
    const std::string data = root.file("data");
    std::filesystem::create_directory(data);
    write_file(root.file("keys.txt"), "1 h\n2 esc\n");
    const std::string outside = "/tmp/tlvx-outside-" + std::to_string(getpid());
    for (const std::string& name : {std::string("../x"), outside, std::string("sub/x"), std::string("..")}) {
        std::filesystem::remove_all(data);
        std::filesystem::create_directory(data);
        std::filesystem::create_directory(data + "/sub");
        FixtureWorld w;
        w.name = name;  // field 7 of the start file names another character
        std::filesystem::create_directories(std::filesystem::path(data + "/" + name + "_001.sav").parent_path());
        w.write(data);
        std::filesystem::remove(data + "/" + name + "_001.sav");
        const std::string start = read_file(data + "/Pndx_001.sav");
        const size_t in_root = std::distance(std::filesystem::directory_iterator(root.path()), {});

        ToolResult r = run_tool({{"--data", data, "--keys", root.file("keys.txt")}});
        ASSERT_TRUE(r.exited) << r.err;
        EXPECT_EQ(r.code, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(name + "_001.sav"), std::string::npos) << r.err;
        EXPECT_FALSE(file_exists(outside + "_001.sav"));
        EXPECT_FALSE(file_exists(data + "/" + name + "_001.sav")) << name;
        EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(root.path()), {})), in_root);
        EXPECT_EQ(read_file(data + "/Pndx_001.sav"), start);
    }

    // A world base name reaching into the parent directory is read from there
    // like any other name, and saved back unchanged.
    std::filesystem::remove_all(data);
    std::filesystem::create_directory(data);
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
