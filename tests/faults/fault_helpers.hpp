#pragma once
// Running tlvx-tool for the fault tests: as a child process with a time limit,
// optionally with a file made read-only or a file size limit, and the
// in-process replay that gives the layer files after every pass.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
    bool exited = false;  // false: killed by a signal (SIGALRM: the time limit)
    int code = -1;        // exit status when exited
    std::string err;      // standard error
};

constexpr int kFaultNotMade = 124;

// Start tlvx-tool run with `run.args`; standard output and error go to `err_path`.
pid_t start_tool(const ToolRun& run, const std::string& err_path);
// Run it to the end (or the time limit) and collect the result.
ToolResult run_tool(const ToolRun& run);

// Copy every regular file of `from` into `to` (which must exist), but for a
// world's lock file.
void copy_dir(const std::string& from, const std::string& to);

using Layers = std::map<std::string, std::string>;  // the three layer files by name
Layers layer_files(const std::string& dir);

// `w` written into root/world, a copy of it in root/run and `script` in root/keys.txt.
struct FaultRig {
    TempDir root;
    std::string world = root.file("world"), run = root.file("run"), keys = root.file("keys.txt"), script;
    FaultRig(const FixtureWorld& w, const std::string& keys_script);
    ToolRun tool() const { return {{"--data", run, "--keys", keys}}; }
    // The script run in-process on another copy of the world with the clock of
    // tlvx-tool run --clock 1000:STEP; element k of the result holds the layer files
    // after pass k (element 0: before the first pass). `save` receives the save
    // file written at Escape, if the script reaches it.
    std::vector<Layers> replay(int64_t passes, std::string* save = nullptr, double step = 0.01) const;
};

}  // namespace tlvx::test
