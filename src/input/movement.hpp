#pragma once
// Turning, stepping, road-following, the checks after a move and the player
// marker in the creature layer.

namespace tlvx {
struct State;

void step_keys(State& s);
void facing_keys(State& s);
void road_following_and_checks(State& s);
void player_marker(State& s);

}  // namespace tlvx
