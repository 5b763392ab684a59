#pragma once
// Running tlvx-tool for the fault tests: as a child process with a time limit,
// optionally with a file made read-only or a file size limit, and the
// in-process replay that gives the layer files after every pass.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "shell/game.hpp"
#include "support/test_support.hpp"

namespace tlvx::test {

struct ToolRun {
    std::vector<std::string> args;  // after "tlvx-tool run"
    // A file made read-only: the child runs without the capabilities that
    // would let it write the file anyway (root's), and first checks that it
    // cannot; when it can, it exits with kFaultNotMade and says why.
    std::string read_only = {};
    int64_t file_size_limit = -1;  // RLIMIT_FSIZE in bytes (SIGXFSZ ignored); -1: none
    int timeout_seconds = 60;      // then SIGALRM ends it
};

struct ToolResult {
    int code = -1;    // the exit status, or 128 + the signal that ended it (SIGALRM: the time limit)
    std::string err;  // standard output and error
};

constexpr int kFaultNotMade = 124;

// Starts tlvx-tool run with `run.args`; standard output and error go to `err_path`.
inline pid_t start_tool(const ToolRun& run, const std::string& err_path) {
    std::vector<std::string> argv = {TLVX_TOOL, "run"};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(126);
    if (run.file_size_limit >= 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit limit{static_cast<rlim_t>(run.file_size_limit), static_cast<rlim_t>(run.file_size_limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
    }
    if (const std::string why = run.read_only.empty() ? "" : drop_file_mode_override(run.read_only); !why.empty())
        dprintf(2, "fault not made: %s\n", why.c_str()), _exit(kFaultNotMade);
    alarm(static_cast<unsigned>(run.timeout_seconds));
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Runs it to the end (or the time limit).
inline ToolResult run_tool(const ToolRun& run) {
    TempDir out;
    int status = 0;
    waitpid(start_tool(run, out.file("err")), &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), read_file(out.file("err"))};
}

using Layers = std::map<std::string, std::string>;  // the three layer files by name
inline Layers layer_files(const std::string& dir) {
    Layers out;
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"}) out[name] = read_file(dir + "/" + name);
    return out;
}

// `w` written into root/world, a copy of it in root/run and `script` in root/keys.txt.
struct FaultRig {
    TempDir root;
    std::string world = root.file("world"), run = root.file("run"), keys = root.file("keys.txt"), script;
    FaultRig(const FixtureWorld& w, const std::string& keys_script) : script(keys_script) {
        std::filesystem::create_directory(world);
        w.write(world);
        std::filesystem::copy(world, run);
        write_file(keys, script);
    }
    std::vector<std::string> args() const { return {"--data", run, "--keys", keys}; }
    // The script run in-process on another copy of the world with the clock of
    // tlvx-tool run --clock 1000:STEP; element k of the result holds the layer files
    // after pass k (element 0: before the first pass). `save` receives the save
    // file written at Escape, if the script reaches it.
    std::vector<Layers> replay(int64_t passes, std::string* save = nullptr, double step = 0.01) const {
        const std::string scratch = root.file("replay");
        std::filesystem::copy(world, scratch);
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

}  // namespace tlvx::test
