// `tlvx-tool record-info`.
#include "tools/record_info.hpp"

#include <CLI/CLI.hpp>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <vector>

#include "base/printable.hpp"
#include "platform/headless/key_script.hpp"
#include "platform/record/recording_reader.hpp"
#include "platform/record/session.hpp"
#include "world/paths.hpp"

namespace tlvx::tools {

namespace {

std::string utc_text(int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm)) return "?";
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

int record_info(const std::string& path) {
    try {
        RecordingReader reader(path);
        const RecordingHeader& h = reader.header();
        const RecordingSummary s = summarize_recording(reader);
        // mended: every name read from the recording is printed escaped: a
        // crafted name can carry terminal escape sequences or a NUL.
        std::printf("recording: %s\n", printable(path).c_str());
        std::printf("made by: tlvx %s on %s (format %u)\n", printable(h.program_version).c_str(),
                    utc_text(h.created).c_str(), h.format);
        std::string end;
        if (!s.ended) end = "the session did not end in the recording (killed, or the recording is damaged)";
        else if (s.exit_status == 0)
            end = s.ended_by_quit ? "ended by closing the window or a signal, exit status 0"
                                  : "ended by Escape, exit status 0";
        else end = "ended with runtime error " + std::to_string(s.exit_status);
        std::printf("passes: %" PRId64 " complete; %s\n", s.complete_passes, end.c_str());
        if (!s.damage.empty()) std::printf("damaged: %s\n", s.damage.c_str());
        std::printf("duration: %.3f s (clock %.6f to %.6f, %" PRId64 " readings, %" PRId64 " key polls)\n",
                    s.last_time - s.first_time, s.first_time, s.last_time, s.time_readings, s.polls);
        std::printf("keys pressed: %" PRId64 "\n", s.keys_pressed);
        if (!s.keys.empty()) {
            std::string line = " ";
            for (const auto& [key, n] : s.keys) line += " " + key_name(key) + " x" + std::to_string(n);
            std::printf("%s\n", line.c_str());
        }
        std::printf("world it starts from:\n");
        for (const StartFile& f : h.files) {
            const std::string name = printable(f.name);
            if (f.size < 0) std::printf("  %-16s absent\n", name.c_str());
            else std::printf("  %-16s %12" PRId64 " bytes  hash %016" PRIx64 "\n", name.c_str(), f.size, f.hash);
        }
        if (!h.has_world_copy) {
            std::printf("world copy: none (the world was too large to keep)\n");
            return 0;
        }
        // What a replay with --world-from-recording would write, read with the
        // same limits; a copy the reader refuses is damaged.
        std::vector<EmbeddedFile> copy;
        try {
            copy = reader.world_copy();
        } catch (const RecordingError& e) {
            std::printf("world copy: damaged (%s)\n", e.what());
            return 2;
        }
        int64_t total = 0;
        for (const EmbeddedFile& f : copy) total += static_cast<int64_t>(f.bytes.size());
        std::printf("world copy: %zu files, %" PRId64 " bytes\n", copy.size(), total);
        for (const EmbeddedFile& f : copy)
            std::printf("  %-16s %12zu bytes\n", printable(f.name).c_str(), f.bytes.size());
        return 0;
    } catch (const RecordingError& e) {
        std::cerr << "tlvx-tool record-info: " << printable(e.what()) << "\n";
        return 2;
    }
}

}  // namespace

void add_record_info_command(CLI::App& app, int& exit_code) {
    auto path = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand("record-info", "Tell what a recording holds: passes, duration, keys, its world");
    cmd->add_option("FILE", *path, "The recording")->required();
    cmd->callback([path, &exit_code] { exit_code = record_info(*path); });
}

}  // namespace tlvx::tools
