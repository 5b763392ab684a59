#include "data/world_names.hpp"

#include <string_view>

#include "base/state.hpp"

namespace tlvx {

namespace {

constexpr std::string_view kSaveSuffix = "_001.sav";
static_assert(std::string_view(kSaveFileName).size() == std::string_view(kCharacterName).size() + kSaveSuffix.size() &&
                  std::string_view(kSaveFileName).starts_with(kCharacterName) &&
                  std::string_view(kSaveFileName).ends_with(kSaveSuffix),
              "the save file start-up reads is the one of start-up's character");

}  // namespace

std::string save_file_name(const std::string& name) { return name + std::string(kSaveSuffix); }

std::string world_description_name(const std::string& base) { return base + ".txt"; }

void name_world_files(State& s) {
    s.NM_S = kCharacterName;
    s.GM_S = kTileTableName;
    s.OM_S = kObjectTableName;
    s.MG_S = kLayerNames[0];
    s.MGB_S = kLayerNames[1];
    s.MGC_S = kLayerNames[2];
}

std::vector<std::string> start_file_names(const std::optional<std::string>& base) {
    std::vector<std::string> names = {kPaletteFileName, kSaveFileName};
    if (base) names.push_back(world_description_name(*base));
    names.push_back(kTileTableName);
    names.push_back(kObjectTableName);
    for (const char* layer : kLayerNames) names.emplace_back(layer);
    return names;
}

}  // namespace tlvx
