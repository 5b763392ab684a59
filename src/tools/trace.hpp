#pragma once
// The trace of a headless run: one CSV line per pass.
#include <string>

namespace tlvx {
struct State;
}

namespace tlvx::tools {

// The header and one line of the trace CSV.
std::string trace_header();
std::string trace_line(const State& s);

}  // namespace tlvx::tools
