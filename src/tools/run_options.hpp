#pragma once
// What `tlvx-tool run` is asked to do: the world, the keys and clock or the
// recording to replay, the pass limit and what to write on the way.
#include <cstdint>
#include <string>

namespace tlvx::tools {

struct RunOptions {
    std::string data_dir = ".";
    std::string keys_file;  // empty: no keys
    double clock_start = 1000.0;
    double clock_step = 0.01;
    int64_t passes = 100000;
    std::string trace_file;       // empty: no trace
    std::string screenshot_file;  // empty: no screenshot
    std::string replay_file;      // a recording to replay instead of keys and a clock
    bool world_from_recording = false;
    std::string record_file;  // record the run into this file
    bool passes_set = false;  // --passes was given
};

}  // namespace tlvx::tools
