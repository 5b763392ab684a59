#include "platform/headless/headless_platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace tlvx {

bool parse_clock(const std::string& text, double& start, double& step) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string a = text.substr(0, colon), b = text.substr(colon + 1);
    if (a.empty() || b.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double x = std::strtod(a.c_str(), &end);
    if (*end != '\0' || errno != 0) return false;
    double y = std::strtod(b.c_str(), &end);
    if (*end != '\0' || errno != 0) return false;
    if (!std::isfinite(x) || !std::isfinite(y) || y < 0) return false;
    start = x;
    step = y;
    return true;
}

HeadlessPlatform::HeadlessPlatform(std::vector<ScriptedKey> script, double start, double step)
    : script_(std::move(script)), start_(start), step_(step) {
    std::stable_sort(script_.begin(), script_.end(),
                     [](const ScriptedKey& a, const ScriptedKey& b) { return a.pass < b.pass; });
}

double HeadlessPlatform::time() { return start_ + static_cast<double>(pass_) * step_; }

void HeadlessPlatform::begin_pass(int64_t pass) { pass_ = pass; }

void HeadlessPlatform::poll(const Screen&, KeyQueue& keys, bool paused) {
    // The first poll of a pass comes before anything else reads the queue, so
    // handing the due keys over here is the same as at the start of the pass.
    while (next_ < script_.size() && script_[next_].pass <= pass_) keys.push(script_[next_++].key);
    if (!paused || !keys.empty()) return;
    if (next_ == script_.size()) throw StopRun{};
    keys.push(script_[next_++].key);
}

}  // namespace tlvx
