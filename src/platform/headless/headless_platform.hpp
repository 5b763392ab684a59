#pragma once
// The platform without a window: keys come from a script and the clock is
// simulated, so a run is fully repeatable. The screen stays in the program
// state, where a caller can read it or write it out as a PNG.
//
// Clock: `start` during start-up, `start + n * step` for every reading during
// pass n.
// Keys: from pass n on, every poll pushes each scripted key due by pass n (its
// pass is n or earlier and it has not been handed over yet) into the key queue,
// in script order; so the keys of pass n are waiting for its key poll. A poll of the pause takes the next scripted key
// at once whatever its pass, if the queue holds none; with no scripted key left it throws StopRun.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/platform.hpp"
#include "platform/headless/key_script.hpp"

namespace tlvx {

// Parses a clock "START:STEP" into the two numbers; false when malformed.
bool parse_clock(const std::string& text, double& start, double& step);

class HeadlessPlatform : public Platform {
public:
    // The script may list passes in any order; keys of one pass keep their order.
    HeadlessPlatform(std::vector<ScriptedKey> script, double start, double step);

    void open_screen() override {}
    void close_screen() override {}
    void set_mouse(int, int, bool) override {}
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    void begin_pass(int64_t pass) override;

    int64_t pass() const { return pass_; }
    // Scripted keys not yet pushed into the queue.
    size_t keys_left() const { return script_.size() - next_; }

private:
    std::vector<ScriptedKey> script_;
    size_t next_ = 0;
    double start_, step_;
    int64_t pass_ = 0;  // 0 during start-up
};

}  // namespace tlvx
