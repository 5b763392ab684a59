#pragma once
// The map editing keys: they change the ground, creature or structure value of
// the cell in front of the character.

namespace tlvx {
struct State;

void editing_keys(State& s);

}  // namespace tlvx
