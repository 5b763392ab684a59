#include "tools/headless_game.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "base/platform.hpp"
#include "base/state.hpp"
#include "data/world_files.hpp"
#include "formats/png_writer.hpp"
#include "shell/run_game.hpp"
#include "tools/trace.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"

namespace tlvx::tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

}  // namespace

RunOutcome run_game_headless(Platform& platform, const RunOptions& o, int64_t passes, bool* ended) {
    std::unique_ptr<std::FILE, FileCloser> trace;
    if (!o.trace_file.empty()) {
        trace.reset(std::fopen(o.trace_file.c_str(), "w"));
        if (!trace) {
            std::cerr << "tlvx-tool run: " << printable("cannot write " + o.trace_file + ": " + std::strerror(errno))
                      << "\n";
            return 2;
        }
        std::fprintf(trace.get(), "%s\n", trace_header().c_str());
        std::fflush(trace.get());
    }

    auto state = std::make_unique<State>();
    State& s = *state;
    if (trace) {
        // Each line is flushed as it is written, so the trace of a killed run
        // lists exactly the passes that completed.
        std::FILE* f = trace.get();
        s.on_pass_end = [f](const State& st) {
            std::fprintf(f, "%s\n", trace_line(st).c_str());
            std::fflush(f);
        };
    }

    const GameResult r = run_game(s, platform, o.data_dir, passes);
    if (ended) *ended = r.ended();
    RunOutcome out(r.status);
    if (r.end == GameEnd::Refused || r.end == GameEnd::SaveFailed)
        std::cerr << "tlvx-tool run: " << printable(r.text) << "\n";
    else if (r.end == GameEnd::Error) out.report = r.text;
    if (!o.screenshot_file.empty()) {
        try {
            write_screen_png(s.screen, o.screenshot_file);
        } catch (const std::exception& e) {
            std::cerr << "tlvx-tool run: " << printable(e.what()) << "\n";
            if (out.status == 0) out.status = 2;
        }
    }
    return out;
}

std::optional<WorldLock> lock_run_world(const std::string& dir) {
    // Before the lock, whose warning about a folder it cannot write in would
    // come first, and before a recording is started.
    if (const std::string problem = read_only_world_problem(dir); !problem.empty()) {
        std::cerr << "tlvx-tool run: " << printable(problem) << "\n";
        return std::nullopt;
    }
    try {
        return world::lock_world(dir, "tlvx-tool run", true);
    } catch (const world::ToolError& e) {
        std::cerr << "tlvx-tool run: " << printable(e.what()) << "\n";
        return std::nullopt;
    }
}

}  // namespace tlvx::tools
