#pragma once
// The page's world actions: Download, Open and New demo world, and the demo
// world made on the first visit. The player's world lives at kWorldDir in the
// browser's storage.
#include <string>
#include <vector>

#include "world/open_world.hpp"

namespace tlvx {
struct State;
}

namespace tlvx::web_page {

inline constexpr const char* kWorldDir = "/world";

// An opened world that passed its check, waiting for the game to end.
struct OpenedWorld {
    bool ready = false;
    std::vector<world::WorldFile> files;
};

// The page's Download and Open, taken between passes (or while no game
// runs, `s` null): they leave the game exactly as it is. Download archives
// the files as they are: the cells are written at every edit, and the save
// file is brought up to this moment first (a quit would write the same). An
// Open is checked here; one refused is said and changes nothing, one accepted
// asks the game to end, and the main then puts the world in place.
void take_world_action(const State* s, OpenedWorld& opened);

// The checked world replaces the player's. Returns the message for the page.
std::string install_world(const std::vector<world::WorldFile>& files);

// The site's first world (the demo world, or the world the site publishes)
// in place of the player's, after it passed its check. Returns the message
// for the page; throws ToolError (the player's world untouched) when the
// published world is refused.
std::string start_over();

// Makes the site's first world when the storage holds no world yet; the
// message for the page ("" when there was a world). Throws ToolError.
std::string first_world(bool storage_refused);

}  // namespace tlvx::web_page
