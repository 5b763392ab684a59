#pragma once
// The names of a world's files, as start-up gives them. The game, the tools,
// the page and the recorder all take them from here, so that they cannot
// disagree about which files make a world.
#include <optional>
#include <string>
#include <vector>

namespace tlvx {
struct State;

// NM$ as start-up sets it before reading the save file: the character whose
// save file start-up reads (a save file may name another one, whose save
// file the quit then writes).
inline constexpr const char* kCharacterName = "Pndx";
// The save file start-up reads: save_file_name(kCharacterName).
inline constexpr const char* kSaveFileName = "Pndx_001.sav";
inline constexpr const char* kPaletteFileName = "tlvx_w05.pal";
inline constexpr const char* kTileTableName = "tlvx_w05.mem";    // GM$
inline constexpr const char* kObjectTableName = "tlvx_w05.mom";  // OM$
// The five layer files: ground (MG$), creatures (MGB$), structures (MGC$)
// and two that start-up opens but nothing reads or writes.
inline constexpr const char* kLayerNames[5] = {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp", "tlvx_gr4.tmp",
                                               "tlvx_gr5.tmp"};

// The save file of the character `name` (NM$): name + "_001.sav".
std::string save_file_name(const std::string& name);
// The world description of the world `base` (P1$, the save file's first
// field): base + ".txt".
std::string world_description_name(const std::string& base);

// Gives `s` the file names start-up gives: NM$, GM$, OM$ and the three
// layers' MG$, MGB$, MGC$.
void name_world_files(State& s);

// The files start-up opens, in its order: the palette, the save file, the
// world description of `base` (P1$; left out when unknown: no readable save
// file), the tile table, the object table and the five layers.
std::vector<std::string> start_file_names(const std::optional<std::string>& base);

}  // namespace tlvx
