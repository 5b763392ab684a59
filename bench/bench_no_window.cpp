// The `window` command of a build without SDL.
#include <stdexcept>

#include "bench_main.hpp"

namespace tlvx::bench {

int cmd_window(const std::string&, Walk, int, double) {
    throw std::runtime_error("this build has no window (configure with TLVX_SDL=ON)");
}

int cmd_paced(const std::string&, double, double, int) {
    throw std::runtime_error("this build has no window (configure with TLVX_SDL=ON)");
}

int cmd_window_clock(const std::string&, double, double) {
    throw std::runtime_error("this build has no window (configure with TLVX_SDL=ON)");
}

}  // namespace tlvx::bench
