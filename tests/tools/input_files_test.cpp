// Files the tools read because a user or a user's file names them: a FIFO,
// a terminal, a device or a link is refused at once with one line naming it,
// and a map made to exhaust memory is refused quickly within a small budget.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>

#include "tools/tiled_export.hpp"
#include "tools_helpers.hpp"
#include "world/demo_world.hpp"

namespace fs = std::filesystem;

namespace tlvx::test {
namespace {

struct TimedRun {
    int status = -1;  // -1: killed at the deadline, or ended by a signal
    std::string output;
    double seconds = 0;
};

// Runs tlvx-tool in `cwd`, its address space limited to `memory` bytes
// (0: no limit), killing it after `deadline_s` seconds.
TimedRun run_timed(const std::string& cwd, const std::vector<std::string>& args, rlim_t memory = 0,
                   int deadline_s = 15) {
    TempDir io;
    const std::string out = io.file("out");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();  // no controlling terminal: /dev/tty cannot wait for keys
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        if (o < 0 || null < 0 || ::dup2(null, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(o, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0)
            ::_exit(120);
        if (memory != 0 && test::kAddressSpaceCanBeLimited) {
            const rlimit lim{memory, memory};
            if (::setrlimit(RLIMIT_AS, &lim) != 0) ::_exit(121);
        }
        std::vector<char*> argv = {const_cast<char*>(TLVX_TOOL)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int st = 0;
    while (::waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(deadline_s)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &st, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    TimedRun r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.output = read_file(out);
    return r;
}

std::string with_tileset_source(const std::string& map, const std::string& source) {
    return std::regex_replace(map, std::regex("\"source\":\"[^\"]*ground.tsj\""), "\"source\":\"" + source + "\"");
}

class InputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path();
        tools::write_demo_world(root_ + "/w", false);
        tools::tiled::export_tiled({root_ + "/w", root_ + "/m.tmj"});
        map_ = read_file(root_ + "/m.tmj");
        ASSERT_NE(with_tileset_source(map_, "x"), map_);
        ASSERT_EQ(::mkfifo((root_ + "/fifo").c_str(), 0644), 0);
    }

    // A copy of the demo world with `name` replaced by a FIFO.
    std::string world_with_fifo(const std::string& name) {
        const std::string w = root_ + "/w-" + name;
        fs::copy(root_ + "/w", w);
        fs::remove(w + "/" + name);
        EXPECT_EQ(::mkfifo((w + "/" + name).c_str(), 0644), 0);
        return "w-" + name;
    }

    TempDir dir_;
    std::string root_, map_;
};

// mended: each of these waited for ever on the old tools (the open of a FIFO
// waits for a writer, deaf to Ctrl+C) or read a device as a file.
TEST_F(InputFiles, NonRegularFilesAreRefusedAtOnceNamingThem) {
    auto put_map = [&](const std::string& name, const std::string& source) {
        write_file(root_ + "/" + name, with_tileset_source(map_, source));
        return name;
    };
    fs::create_symlink("m-ground.tsj", root_ + "/link.tsj");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> says;
        int status = 1;  // export-tiled only warns of a table it cannot read
    } cases[] = {
        {{"import-tiled", put_map("fifo-set.tmj", "fifo"), "w"}, {"fifo-set.tmj", "file fifo,", "FIFO"}},
        {{"import-tiled", put_map("tty-set.tmj", "/dev/tty"), "w"}, {"tty-set.tmj", "/dev/tty", "terminal"}},
        {{"import-tiled", put_map("zero-set.tmj", "/dev/zero"), "w"}, {"/dev/zero", "device"}},
        {{"import-tiled", put_map("dir-set.tmj", "w"), "w"}, {"file w,", "folder"}},
        // A link planted in the tileset's place is not followed.
        {{"import-tiled", put_map("link-set.tmj", "link.tsj"), "w"}, {"link.tsj", "link"}},
        {{"import-tiled", "fifo", "w"}, {"fifo", "FIFO"}},
        {{"import-tiled", "/dev/zero", "w"}, {"/dev/zero", "device"}},
        {{"info", world_with_fifo(tools::kSaveFileName)}, {tools::kSaveFileName}},
        {{"render", world_with_fifo(tools::kPaletteFileName), "x.png"}, {tools::kPaletteFileName}},
        {{"render", world_with_fifo("grass_01.pcv"), "y.png"}, {"grass_01.pcv"}},
        {{"export-tiled", world_with_fifo("tlvx_w05.mem"), "e.tmj"}, {"warning", "tlvx_w05.mem"}, 0},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a + " ";
        const auto before = tree(root_ + "/w");
        const TimedRun r = run_timed(root_, c.args);
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.output;
        EXPECT_LT(r.seconds, 5) << shown;
        for (const std::string& s : c.says) EXPECT_NE(r.output.find(s), std::string::npos) << shown << "\n" << r.output;
        if (c.args[0] != "info" && c.status == 1) {
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        }
        EXPECT_EQ(changes(before, tree(root_ + "/w")), "") << shown;
    }
    // The same map with the tileset's own file imports.
    EXPECT_EQ(run_timed(root_, {"import-tiled", "m.tmj", "w"}).status, 0);
}

// mended: maps that are all brackets, or millions of small values, are
// refused while they are read: within seconds and within a memory budget a
// 10 MB file of brackets used to exceed many times over.
TEST_F(InputFiles, MapsBuiltToExhaustMemoryAreRefusedQuickly) {
    const rlim_t budget = rlim_t{96} << 20;
    std::string wide = "{\"width\":80,\"height\":60,\"layers\":[],\"properties\":[";
    for (int i = 0; i < 400000; ++i) wide += i ? ",{}" : "{}";
    wide += "]}";
    // Skipped values do not count, but they may not nest without end either.
    const std::string skipped_deep = "{\"layers\":[{\"data\":" + std::string(1000, '[');
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"deep.tmj", "{\"a\":" + std::string(10'000'000, '['), "nests lists and objects more than 256 deep"},
        {"arrays.tmj", "[" + std::string(5'000'000, '[') + std::string(5'000'000, ']') + "]", "256 deep"},
        {"skipdeep.tmj", skipped_deep, "256 deep"},
        {"wide.tmj", wide, "more than 262144 values"},
    };
    for (const auto& c : cases) {
        write_file(root_ + "/" + c.name, c.bytes);
        const TimedRun r = run_timed(root_, {"import-tiled", c.name, "w"}, budget, 20);
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(std::string(c.name) + " "), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_LT(r.seconds, 10) << c.name;
    }
    // A real map imports within the same budget, and so does one with many
    // objects, which the plan skips.
    std::string objects = std::regex_replace(map_, std::regex("\"layers\":\\["),
                                             "\"layers\":[{\"name\":\"things\",\"type\":\"objectgroup\",\"objects\":[");
    {
        std::string many;
        for (int i = 0; i < 300000; ++i) many += i ? ",{\"id\":1}" : "{\"id\":1}";
        objects.insert(objects.find("\"objects\":[") + 11, many + "]},");
    }
    write_file(root_ + "/objects.tmj", objects);
    for (const char* name : {"m.tmj", "objects.tmj"}) {
        const TimedRun r = run_timed(root_, {"import-tiled", name, "w"}, budget, 60);
        EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
    }
}

}  // namespace
}  // namespace tlvx::test
