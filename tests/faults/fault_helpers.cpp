#include "faults/fault_helpers.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/world_lock.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "shell/game.hpp"

namespace fs = std::filesystem;

namespace tlvx::test {

pid_t start_tool(const ToolRun& run, const std::string& err_path) {
    std::vector<std::string> argv = {TLVX_TOOL, "run"};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    pid_t pid = fork();
    if (pid != 0) return pid;
    int fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
    }
    if (run.file_size_limit >= 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        rlimit limit{static_cast<rlim_t>(run.file_size_limit), static_cast<rlim_t>(run.file_size_limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
    }
    const std::string why = run.read_only.empty() ? "" : drop_file_mode_override(run.read_only);
    if (!why.empty()) {
        dprintf(2, "fault not made: %s\n", why.c_str());
        _exit(kFaultNotMade);
    }
    alarm(static_cast<unsigned>(run.timeout_seconds));  // the time limit: SIGALRM ends the run
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

ToolResult run_tool(const ToolRun& run) {
    TempDir out;
    int status = 0;
    waitpid(start_tool(run, out.file("stderr")), &status, 0);
    return {WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            file_exists(out.file("stderr")) ? read_file(out.file("stderr")) : ""};
}

void copy_dir(const std::string& from, const std::string& to) {
    for (auto& e : fs::directory_iterator(from))
        if (e.is_regular_file() && e.path().filename() != kWorldLockName)
            fs::copy_file(e.path(), fs::path(to) / e.path().filename(), fs::copy_options::overwrite_existing);
}

Layers layer_files(const std::string& dir) {
    Layers out;
    for (const char* name : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"}) out[name] = read_file(dir + "/" + name);
    return out;
}

std::vector<Layers> FaultRig::replay(int64_t passes, std::string* save, double step) const {
    const std::string scratch = root.file("replay");
    fs::create_directory(scratch);
    copy_dir(world, scratch);
    std::vector<Layers> after{layer_files(scratch)};
    HeadlessPlatform platform(parse_key_script(script), 1000, step);
    auto s = std::make_unique<State>();
    s->data_dir = scratch;
    s->platform = &platform;
    s->on_pass_end = [&](const State&) { after.push_back(layer_files(scratch)); };
    startup(*s);
    if (run_loop(*s, passes) == RunEnd::Quit && save) *save = read_file(scratch + "/Pndx_001.sav");
    return after;
}

FaultRig::FaultRig(const FixtureWorld& w, const std::string& keys_script) : script(keys_script) {
    fs::create_directory(world);
    fs::create_directory(run);
    w.write(world);
    write_file(keys, script);
    copy_dir(world, run);
}

}  // namespace tlvx::test
