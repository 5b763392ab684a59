#include "web_test_mode.hpp"

#include <emscripten.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "shell/run_game.hpp"
#include "web_page.hpp"

namespace tlvx::web_page {

namespace {

// The headless platform, giving the browser its turn now and then so that the
// page stays alive during a long scripted run; the game sees no difference.
class YieldingPlatform : public HeadlessPlatform {
public:
    using HeadlessPlatform::HeadlessPlatform;
    void begin_pass(int64_t pass) override {
        HeadlessPlatform::begin_pass(pass);
        if (pass % 500 == 0) emscripten_sleep(0);
    }
};

}  // namespace

int run_test() {
    const std::string dir = "/test";
    ::mkdir(dir.c_str(), 0755);
    if (!write_test_world(dir)) {
        set_state("error", "the test's world could not be written");
        return 2;
    }
    double start = 1000, step = 0.01;
    const std::string clock = test_text("clock");
    if (!clock.empty() && !parse_clock(clock, start, step)) {
        set_state("error", "the test's clock must be START:STEP, e.g. 1000:0.01");
        return 2;
    }
    std::vector<ScriptedKey> script;
    try {
        script = parse_key_script(test_text("keys"));
    } catch (const std::exception& e) {
        set_state("error", e.what());
        return 2;
    }
    const std::string passes_text = test_text("passes");
    const int64_t passes = passes_text.empty() ? INT64_MAX : std::strtoll(passes_text.c_str(), nullptr, 10);
    YieldingPlatform platform(std::move(script), start, step);
    auto s = std::make_unique<State>();
    s->on_pass_end = [](const State& st) { tell_pass(st); };
    const GameResult r = run_game(*s, platform, dir, passes);
    present_final(s->screen);
    set_state(r.text.empty() ? "ended" : "error", r.text);
    return r.status;
}

}  // namespace tlvx::web_page
