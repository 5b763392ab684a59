#pragma once
// Running tlvx-tool for the fault tests: as a child process with a time limit,
// optionally as an unprivileged user or with a file size limit, and the
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
    bool unprivileged = false;      // run as uid/gid 65534 when started as root
    int64_t file_size_limit = -1;   // RLIMIT_FSIZE in bytes (SIGXFSZ ignored); -1: none
    int timeout_seconds = 60;
};

struct ToolResult {
    bool exited = false;  // false: killed by a signal (or by the time limit)
    int code = -1;        // exit status when exited
    int signal = 0;
    bool timed_out = false;
    std::string err;      // standard error
};

// Start tlvx-tool run with `run.args`; standard output and error go to `err_path`.
pid_t start_tool(const ToolRun& run, const std::string& err_path);
// Run it to the end (or the time limit) and collect the result.
ToolResult run_tool(const ToolRun& run);

// True when the tests can run a child that cannot write a file we make
// read-only: either we are not root, or we can drop to uid 65534.
bool can_make_read_only();
// Let uid 65534 work in `dir`: the directory and every file in it writable by all.
void open_up(const std::string& dir);

// Copy every regular file of `from` into `to` (which must exist).
void copy_dir(const std::string& from, const std::string& to);

const char* const kLayerFiles[] = {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"};

// The layer files of `dir`, by name.
std::map<std::string, std::string> layer_files(const std::string& dir);

// Run `keys` in-process on a copy of the world in `scratch` with the same
// clock as tlvx-tool run --clock START:STEP; element k of the result holds the
// layer files after pass k (element 0: before the first pass). `save` receives
// the save file written at Escape, if the script reaches it.
std::vector<std::map<std::string, std::string>> replay_layers(const std::string& world, const std::string& scratch,
                                                               const std::string& keys, double start, double step,
                                                               int64_t passes, std::string* save);

}  // namespace tlvx::test
