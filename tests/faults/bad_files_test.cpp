// Data files that are empty, directories or garbage, and names that point
// outside the data directory: always a clean end with a report that names the
// file, never a crash, a hang or a damaged map. A picture missing at the first
// draw is the golden case missing_picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "faults/fault_helpers.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Each data file replaced by a directory, an empty file or random bytes.
TEST(BadFiles, EachDataFileAsDirectoryEmptyOrRandomEndsCleanly) {
    std::mt19937 rng(1);
    for (const std::string file :
         {"tlvx_w05.pal", "Pndx_001.sav", "Testland.txt", "tlvx_w05.mem", "tlvx_w05.mom", "tlvx_gr1.tmp",
          "tlvx_gr2.tmp", "tlvx_gr3.tmp", "tlvx_gr4.tmp", "tlvx_gr5.tmp", "tile1.pic"}) {
        for (const std::string kind : {"directory", "empty", "random"}) {
            FaultRig rig(FixtureWorld(), "1 h\n2 +\n3 i\n4 b\n");
            const std::string path = rig.run + "/" + file;
            fs::remove(path);
            std::string bytes(kind == "random" ? 2000 : 0, '\0');
            for (char& c : bytes) c = static_cast<char>(rng() & 255);
            if (kind == "random" && file == "tile1.pic") bytes[0] = 7;  // not a picture layout
            if (kind == "directory") fs::create_directory(path);
            else write_file(path, bytes);

            const ToolResult r =
                run_tool({.args = {"--data", rig.run, "--keys", rig.keys, "--passes", "6"}, .timeout_seconds = 30});
            const std::string what = file + " " + kind + ": " + r.err;
            ASSERT_LT(r.code, 128) << "killed (SIGALRM: a hang) " << what;  // never a crash or a hang
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
    // More names (with "/", "..") in SaveFile.RefusedNamesAreErrorsNamingTheCauseAndWriteNothing.
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

        const ToolResult r = run_tool({{"--data", data, "--keys", root.file("keys.txt")}});
        EXPECT_EQ(r.code, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(name + "_001.sav"), std::string::npos) << r.err;
        EXPECT_EQ(std::tuple(file_exists(outside + "_001.sav"), file_exists(save), entries()),
                  std::tuple(false, false, in_root))
            << name;
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
    EXPECT_EQ(run_tool({{"--data", data, "--keys", root.file("keys.txt")}}).code, 0);
    EXPECT_EQ(read_file(data + "/Pndx_001.sav").substr(0, 10), "../Outer\r\n");
}

}  // namespace
}  // namespace tlvx::test
