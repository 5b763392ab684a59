#include "tools/trace.hpp"

#include <cstdint>

#include "base/state.hpp"
#include "platform/headless/key_script.hpp"

namespace tlvx::tools {

std::string trace_header() { return "pass,key,VX2,VY2,D2,G2,GC,GE,TIMD,TIMH,TIMM,SCRNUPDT,I,O,P"; }

std::string trace_line(const State& s) {
    std::string line = std::to_string(s.pass);
    line += ',';
    line += key_name(s.KEY);
    for (int32_t v : {s.VX2, s.VY2, s.D2, s.G2, s.GC, s.GE, s.TIMD, s.TIMH, s.TIMM, s.SCRNUPDT, s.I, s.O, s.P}) {
        line += ',';
        line += std::to_string(v);
    }
    return line;
}

}  // namespace tlvx::tools
