#pragma once
// The creatures' random steps inside the view.

namespace tlvx {
struct State;

void creature_sweep(State& s);  // clears LC; sweeps when GC = 4

}  // namespace tlvx
