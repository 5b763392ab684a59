// The reader of import-tiled: any bytes as a map file are either read into
// the three layers or refused with one line that names the file and says
// what is wrong; no other exception, no crash, no line break in a message,
// none of the JSON library's own texts.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "tools/tiled_import_data.hpp"
#include "world/picture_files.hpp"
#include "world/staged_files.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using tlvx::fuzz::check;

namespace {

// `input` is the map file. The JSON library's own texts begin
// "[json.exception."; a refusal may quote a short text of the file, so they
// count only where the file cannot spell them (plainly or with \u escapes).
void check_message(const world::ToolError& e, std::string_view input) {
    const std::string m = e.what();
    check(!m.empty() && m.find('\n') == std::string::npos && m.find('\r') == std::string::npos,
          "a refusal is one line");
    if (input.find("json.exception") == std::string_view::npos && input.find("\\u") == std::string_view::npos)
        check(m.find("[json.exception.") == std::string::npos, "a refusal is in plain words");
    check(m.size() < 1000, "a refusal is short");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzz::as_text(data, size);
    fuzz::put_file("map.tmj", input);
    const std::string in = fuzz::scratch_dir() + "/map.tmj";
    MapPlan plan;
    try {
        plan = read_map_plan(in);
    } catch (const world::ToolError& e) {
        check_message(e, input);
        return 0;
    }
    check(plan.w >= 1 && plan.h >= 1 && plan.w <= 65535 && plan.h <= 65535, "an accepted map has a size");
    // Huge maps are accepted by the plan; streaming them only costs time.
    if (int64_t{plan.w} * plan.h > (int64_t{1} << 20)) return 0;
    world::StagedFiles staged;  // never committed: its temporary files go with it
    std::array<std::unique_ptr<LayerOut>, 3> outs;
    std::array<LayerOut*, 3> ptrs{};
    for (size_t k = 0; k < 3; ++k) {
        outs[k] = std::make_unique<LayerOut>(staged, fuzz::scratch_dir(), kLayers[k].name, plan.w, plan.h);
        ptrs[k] = outs[k].get();
    }
    Progress progress(false, "importing", int64_t{3} * plan.h);
    try {
        stream_layer_data(plan, ptrs, progress);
    } catch (const world::ToolError& e) {
        check_message(e, input);
        return 0;
    }
    for (const auto& o : outs) check(o->cells() == int64_t{plan.w} * plan.h, "an accepted layer has every cell");
    return 0;
}
