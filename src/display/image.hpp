#pragma once
// Tile images: loading a picture file into the image buffer SCN and blitting it.
#include <cstdint>
#include <string>

namespace tlvx {
struct State;

// Draw the picture file GRPT at (X, Y) with mode M ("pset", "and", "or").
// Rewrites the 12th character of GRPT to "v" in the caller's variable.
void GRAPHICPUT(State& s, std::string& GRPT, int32_t& X, int32_t& Y, std::string& M);

// Drawing rewrites the 12th character of a picture name to "v" (names shorter
// than 12 characters are kept): `name` rewritten, and the name a picture is
// read from once it has been drawn.
void mark_drawn(std::string& name);
std::string drawn_name(std::string name);

// Whether the picture `name` is read from outside the world folder (the part
// of the name a load uses, by name_leaves_folder of data/stream.hpp).
bool picture_leaves_folder(const std::string& name);

// The two halves of GRAPHICPUT, for tools and tests. With
// s.names_stay_in_folder, a picture whose name leaves the folder is runtime
// error 2 and nothing is opened.
void load_image(State& s, const std::string& name);
void blit_image(State& s, int32_t x, int32_t y, const std::string& mode);

}  // namespace tlvx
