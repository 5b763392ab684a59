// Faults a run must survive, all through tlvx-tool run in a child process:
// data files that are empty, directories or garbage, and names that point
// outside the data directory (a clean end with a report that names the file,
// never a crash, a hang or a damaged map; a picture missing at the first draw
// is the golden case missing_picture); a layer file that cannot be written
// and a save at quit on a full disk or in a read-only folder (error 3 or a
// save in place, nothing a completed pass wrote lost); and SIGKILL at many
// different passes (every completed pass in the layer files, the save file
// old or whole).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "shell/game.hpp"
#include "tools/tools_helpers.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using Layers = std::map<std::string, std::string>;  // the three layer files by name
Layers layer_files(const std::string& dir) {
    Layers out;
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"}) out[name] = read_file(dir + "/" + name);
    return out;
}

// `w` written into root/world, a copy of it in root/run and `script` in root/keys.txt.
struct FaultRig {
    TempDir root;
    std::string world = root.file("world"), run = root.file("run"), keys = root.file("keys.txt"), script;
    FaultRig(const FixtureWorld& w, const std::string& keys_script) : script(keys_script) {
        fs::create_directory(world);
        w.write(world);
        fs::copy(world, run);
        write_file(keys, script);
    }
    std::vector<std::string> args() const { return {"run", "--data", run, "--keys", keys}; }
    // The script run in-process on another copy of the world with the clock of
    // tlvx-tool run --clock 1000:STEP; element k of the result holds the layer files
    // after pass k (element 0: before the first pass). `save` receives the save
    // file written at Escape, if the script reaches it.
    std::vector<Layers> replay(int64_t passes, std::string* save = nullptr, double step = 0.01) const {
        const std::string scratch = root.file("replay");
        fs::copy(world, scratch);
        std::vector<Layers> after{layer_files(scratch)};
        HeadlessPlatform platform(parse_key_script(script), 1000, step);
        auto s = std::make_unique<State>();
        init_state(*s, scratch, platform);
        s->on_pass_end = [&](const State&) { after.push_back(layer_files(scratch)); };
        startup(*s);
        if (run_loop(*s, passes) == RunEnd::Quit && save) *save = read_file(scratch + "/Pndx_001.sav");
        return after;
    }
};

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

            const ToolRun r =
                run_tool({"run", "--data", rig.run, "--keys", rig.keys, "--passes", "6"}, {.deadline_s = 30});
            const std::string what = file + " " + kind + ": " + r.output;
            ASSERT_GE(r.status, 0) << "killed (a crash, or a hang at the deadline) " << what;
            EXPECT_TRUE(r.status == 0 ||
                        r.output.find("runtime error " + std::to_string(r.status)) != std::string::npos)
                << what;
            // A directory, a picture or an empty ground layer can only fail,
            // and the report names the file; text files tolerate any content.
            if (kind == "directory" || file == "tile1.pic" || (kind == "empty" && file == "tlvx_gr1.tmp")) {
                EXPECT_NE(r.status, 0) << what;
                EXPECT_NE(r.output.find(file + "\""), std::string::npos) << what;
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

        const ToolRun r = run_tool({"run", "--data", data, "--keys", root.file("keys.txt")}, {});
        EXPECT_EQ(r.status, 2) << name << ": " << r.output;
        EXPECT_NE(r.output.find(name + "_001.sav"), std::string::npos) << r.output;
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
    EXPECT_EQ(run_tool({"run", "--data", data, "--keys", root.file("keys.txt")}, {}).status, 0);
    EXPECT_EQ(read_file(data + "/Pndx_001.sav").substr(0, 10), "../Outer\r\n");
}

// mended: a world the game cannot write (a layer it writes, the save file, or
// the folder its saves need for their temporaries) used to start and stop
// with runtime error 3 at its first write. It is refused before anything is
// written, in one line, and `info` reports it; root, who may write such files,
// plays it.
TEST(DiskFaults, AReadOnlyWorldIsRefusedAtStartInOneLineChangingNothing) {
    enum Fault { StructureLayer, SaveFile, Folder, Everything };
    for (const Fault fault : {StructureLayer, SaveFile, Folder, Everything}) {
        SCOPED_TRACE(fault);
        FaultRig rig(FixtureWorld(), "1 +\n2 *\n3 h\n4 ]\n5 esc\n");
        const std::string probe = rig.root.file("probe");
        write_file(probe, "");
        chmod(probe.c_str(), 0444);
        std::vector<std::string> read_only;
        if (fault == StructureLayer) read_only = {"tlvx_gr3.tmp"};
        if (fault == SaveFile) read_only = {"Pndx_001.sav"};
        if (fault == Everything)
            for (const std::string& name : names_in(rig.run)) read_only.push_back(name);
        for (const std::string& name : read_only) chmod((rig.run + "/" + name).c_str(), 0444);
        const auto before = tree(rig.run);
        if (fault == Folder || fault == Everything) chmod(rig.run.c_str(), 0555);
        std::vector<std::string> args = rig.args();
        args.insert(args.end(), {"--trace", rig.root.file("trace.csv")});
        const ToolRun r = run_tool(args, {.probe = probe});
        const ToolRun info = run_tool({"info", rig.run}, {.probe = probe});
        chmod(rig.run.c_str(), 0755);
        ASSERT_NE(r.status, kNotStarted) << r.output;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output,
                  "tlvx-tool run: the world in \"" + rig.run + "\" is read-only: copy it to a folder you can write\n");
        EXPECT_EQ(changes(before, tree(rig.run)), "") << "nothing in the world changed";
        EXPECT_FALSE(file_exists(rig.root.file("trace.csv"))) << "refused before the run opens its trace";
        EXPECT_NE(info.output.find("start-up refuses it: the world in \"" + rig.run + "\" is read-only"),
                  std::string::npos)
            << info.output;
        if (geteuid() == 0) {
            if (fault == Folder || fault == Everything) chmod(rig.run.c_str(), 0555);
            const ToolRun as_root = run_tool(rig.args(), {});
            chmod(rig.run.c_str(), 0755);
            EXPECT_EQ(as_root.status, 0) << "root may write the world: " << as_root.output;
            EXPECT_NE(changes(before, tree(rig.run)), "") << "root played it";
        }
    }
}

// `rig`'s script played in a child without the rights that let root write any
// file (`probe` is a read-only file it checks that on), with the world's folder
// made read-only (and with `save_too` its save file) once start-up is done:
// start-up refuses a folder that is read-only already (the test above).
ToolRun run_with_folder_made_read_only(const FaultRig& rig, const std::string& probe, bool save_too) {
    TempDir out;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(out.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) _exit(126);
        if (const std::string why = drop_file_mode_override(probe); !why.empty())
            dprintf(fd, "fault not made: %s\n", why.c_str()), _exit(kNotStarted);
        HeadlessPlatform platform(parse_key_script(rig.script), 1000, 0.01);
        auto s = std::make_unique<State>();
        init_state(*s, rig.run, platform);
        int code = 0;
        try {
            startup(*s);
            if (save_too) chmod((rig.run + "/Pndx_001.sav").c_str(), 0444);
            chmod(rig.run.c_str(), 0555);
            run_loop(*s, 100);
        } catch (const FinalSaveFailed& e) {
            dprintf(fd, "%s\n", final_save_line(e).c_str());
            code = e.number();
        } catch (const RuntimeError& e) {
            dprintf(fd, "%s", error_report(e).c_str());
            code = e.number();
        } catch (const std::exception& e) {
            dprintf(fd, "%s\n", e.what());
            code = 125;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), read_file(out.file("err"))};
}

// A save at Escape that cannot be written as usual: on a full disk (a file
// size limit that the layer files of an 8 by 8 map fit under and the save
// file with its long world name does not), or in a data folder made read-only
// while playing, where no temporary file can be made beside the save file.
// There, when the save file itself may be written it is rewritten in place;
// otherwise, and on the full disk, the run ends with error 3 naming the cause.
// Either way no file is added, the old save is kept or the new one is whole,
// and every edit and step is kept.
TEST(DiskFaults, SaveOnAFullDiskOrInAReadOnlyFolderKeepsTheOldSaveOrWritesInPlace) {
    FixtureWorld w;
    w.w = 8, w.h = 8, w.vx = 4, w.vy = 4;
    w.world = std::string(200, 'w');
    enum Fault { FullDisk, ReadOnlyFolder, ReadOnlyFolderAndSave };
    for (const Fault fault : {FullDisk, ReadOnlyFolder, ReadOnlyFolderAndSave}) {
        SCOPED_TRACE(fault);
        FaultRig rig(w, "1 +\n2 *\n3 h\n4 b\n5 esc\n");
        const std::string save = rig.run + "/Pndx_001.sav", old_save = read_file(save);
        const size_t files_before = names_in(rig.run).size();
        ToolRun r;
        if (fault == FullDisk) {
            r = run_tool(rig.args(), {.file_size_limit = 128});
        } else {
            const std::string probe = rig.root.file("probe");
            write_file(probe, "");
            chmod(probe.c_str(), 0444);
            r = run_with_folder_made_read_only(rig, probe, fault == ReadOnlyFolderAndSave);
            chmod(rig.run.c_str(), 0755);
        }
        ASSERT_NE(r.status, kNotStarted) << r.output;
        EXPECT_EQ(names_in(rig.run).size(), files_before) << "no file is added";

        std::string new_save;
        const auto after = rig.replay(5, &new_save);
        EXPECT_EQ(layer_files(rig.run), after.back()) << "every edit and step is kept";
        ASSERT_NE(after.back(), after.front());
        ASSERT_NE(new_save, old_save);
        if (fault == ReadOnlyFolder) {
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_EQ(read_file(save), new_save) << "the save is rewritten in place";
        } else {
            // mended: a quit whose save fails says so in one line, the world being
            // as of the last save made while playing, instead of the runtime error report.
            EXPECT_EQ(r.status, 3) << r.output;
            EXPECT_NE(r.output.find("\"Pndx_001.sav\""), std::string::npos) << r.output;
            EXPECT_EQ(r.output.find("Aborting"), std::string::npos) << r.output;
            const std::string says = fault == FullDisk ? "tlvx-tool run: " : "";
            EXPECT_NE(r.output.find(says + "the final save could not be written (runtime error 3"), std::string::npos)
                << r.output;
            // The file size limit cuts the full disk's output short.
            if (fault == ReadOnlyFolderAndSave) {
                EXPECT_NE(r.output.find("permission denied"), std::string::npos) << r.output;
                EXPECT_NE(r.output.find("the world is as of the last save"), std::string::npos) << r.output;
            }
        }
    }
}

constexpr int64_t kPasses = 300;  // the script's Escape comes in this pass
constexpr int kKills = 24;

// Walking, turning and every editing key, one key a pass, then Escape.
std::string walk_and_edit_script() {
    const char* keys[] = {"h", "+", "*", "]", "b", "bksp", "-", "g", "[", "y", "f", "/", "\\", "9", "h", "F", "*", "*"};
    std::string script;
    std::mt19937 pick(7);
    for (int64_t pass = 1; pass < kPasses; ++pass)
        script += std::to_string(pass) + " " + keys[pick() % std::size(keys)] + "\n";
    return script + std::to_string(kPasses) + " esc\n";
}

TEST(Kill, EveryCompletedPassIsInTheLayerFilesAndTheSaveIsWhole) {
    FixtureWorld w;
    w.w = 40, w.h = 30, w.vx = 20, w.vy = 15;
    w.objects[1].move = 3;  // creatures (value 2) that wander and write the creature layer
    FaultRig rig(w, walk_and_edit_script());
    std::string new_save;
    const auto after = rig.replay(kPasses + 1, &new_save, 0.05);
    ASSERT_EQ(after.size(), static_cast<size_t>(kPasses + 1));
    ASSERT_FALSE(new_save.empty());
    ASSERT_NE(after.back(), after.front()) << "the script changes the map";

    std::mt19937 rng(std::random_device{}());
    std::set<int64_t> killed_at;
    for (int i = 0; i < kKills; ++i) {
        const std::string run = rig.root.file("run" + std::to_string(i));
        fs::copy(rig.world, run);
        const std::string trace = run + "/trace.csv";
        // Kill targets spread over the whole run; the last two come once the
        // Escape pass is traced, while the save is being written or after it.
        const int64_t target =
            i >= kKills - 2 ? kPasses : 1 + (kPasses * i) / kKills + static_cast<int64_t>(rng() % (kPasses / kKills));
        pid_t pid = start_tool({"run", "--data", run, "--keys", rig.keys, "--clock", "1000:0.05", "--trace", trace},
                               rig.root.file("err" + std::to_string(i)));
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (lines_in(trace) > target) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const int64_t done = lines_in(trace) - 1;  // passes the trace lists
        ASSERT_TRUE(done >= 0 && done <= kPasses) << done;
        killed_at.insert(done);

        // Each layer byte is as after the last completed pass, or as after the
        // next pass, which may have been under way when the kill came.
        for (const auto& [name, got] : layer_files(run)) {
            const std::string &a = after[static_cast<size_t>(done)].at(name),
                              &b = after[static_cast<size_t>(std::min(done + 1, kPasses))].at(name);
            ASSERT_TRUE(got.size() == a.size() || got.size() == b.size()) << name << " after pass " << done;
            for (size_t k = 0; k < got.size(); ++k)
                ASSERT_TRUE((k < a.size() && got[k] == a[k]) || (k < b.size() && got[k] == b[k]))
                    << name << " byte " << k << " after pass " << done;
        }
        const std::string save = read_file(run + "/Pndx_001.sav");
        // The save follows the walk (every step is saved before the marker
        // moves): it is always a whole record, and the quit's own once the
        // Escape pass is traced and the run ended.
        EXPECT_EQ(std::count(save.begin(), save.end(), '\n'), 14) << "kill after pass " << done;
        fs::remove_all(run);
    }
    EXPECT_GE(killed_at.size(), 12u) << "kills should land at many different passes";
}

// mended: a walking game killed at any moment (the save used to be written at
// quit only) starts again with exactly one player marker, in the cell the save
// names, so the player is drawn and no second figure stands anywhere.
TEST(Kill, AWalkKilledAtAnyMomentStartsWithOneMarkerInTheSavedCell) {
    FixtureWorld w;
    w.w = 40, w.h = 30, w.vx = 20, w.vy = 15;
    std::string script;
    const char* ring[] = {"h", "h", "h", "b", "b", "b", "g", "g", "g", "y", "y", "y"};
    for (int pass = 2; pass < 200000; ++pass) script += std::to_string(pass) + " " + ring[pass % 12] + "\n";
    FaultRig rig(w, script);
    std::mt19937 rng(std::random_device{}());
    for (int i = 0; i < 20; ++i) {
        const pid_t pid =
            start_tool({"run", "--data", rig.run, "--keys", rig.keys, "--passes", "100000000"}, rig.root.file("err"));
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + rng() % 200000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        const ToolRun start = run_tool({"run", "--data", rig.run, "--passes", "1"}, {});
        ASSERT_EQ(start.status, 0) << start.output;
        const std::string creatures = read_file(rig.run + "/tlvx_gr2.tmp");
        ASSERT_GT(creatures.size(), 4u);
        EXPECT_EQ(std::count(creatures.begin() + 4, creatures.end(), '\x01'), 1) << "kill " << i;
        std::istringstream save(read_file(rig.run + "/Pndx_001.sav"));
        std::string line;
        int64_t x = 0, y = 0;
        for (int k = 1; k <= 6 && std::getline(save, line); ++k) {
            if (k == 5) x = std::stoll(line);
            if (k == 6) y = std::stoll(line);
        }
        const size_t at = static_cast<size_t>(x + y * w.w + 3);
        ASSERT_LT(at, creatures.size());
        EXPECT_EQ(creatures[at], '\x01') << "kill " << i << ": the saved cell (" << x << ", " << y << ")";
    }
}

}  // namespace
}  // namespace tlvx::test
