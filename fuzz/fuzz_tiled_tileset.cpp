// The external tileset files a map names, read by import-tiled for their
// "name": the input, split at its first NUL byte, is the two tileset files of
// a fixed map whose file names say nothing. Any bytes are either taken (each
// file then names its tileset) or refused with one plain line; no other
// exception, no crash.
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "tools/tiled_import_data.hpp"
#include "world/picture_files.hpp"

using namespace tlvx;
using namespace tlvx::tools::tiled;
using tlvx::fuzz::check;

namespace {

constexpr const char* kMap =
    R"({"height":3,"infinite":false,"orientation":"orthogonal","tileheight":24,"tilewidth":24,"type":"map",)"
    R"("width":4,"tilesets":[{"firstgid":1,"source":"a.tsj"},{"firstgid":257,"source":"b.tsj"}],"layers":[)"
    R"({"height":3,"id":1,"name":"ground","type":"tilelayer","width":4,"data":[1,2,3,4,5,1,2,3,4,5,1,2]},)"
    R"({"height":3,"id":2,"name":"structures","type":"tilelayer","width":4,"data":[257,0,0,260,0,0,263,0,0,0,0,0]},)"
    R"({"height":3,"id":3,"name":"creatures","type":"tilelayer","width":4,"data":[0,0,0,0,0,263,0,0,260,0,0,257]}]})";

// The name may be spelt with \u escapes or reach the file otherwise only through its text.
bool may_name(std::string_view file, const char* set) {
    return file.find(set) != std::string_view::npos || file.find("\\u") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzz::as_text(data, size);
    const size_t nul = input.find('\0');
    const std::string_view first = input.substr(0, nul);
    const std::string_view second = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    static const bool map_written = (fuzz::put_file("map.tmj", kMap), true);
    (void)map_written;
    fuzz::put_file("a.tsj", first);
    fuzz::put_file("b.tsj", second);
    MapPlan plan;
    try {
        plan = read_map_plan(fuzz::scratch_dir() + "/map.tmj");
    } catch (const world::ToolError& e) {
        const std::string m = e.what();
        check(!m.empty() && m.find('\n') == std::string::npos && m.find('\r') == std::string::npos,
              "a refusal is one line");
        check(m.find("[json.exception.") == std::string::npos, "a refusal is in plain words");
        check(m.size() < 1000, "a refusal is short");
        return 0;
    }
    check(plan.w == 4 && plan.h == 3, "the map's size is the map's");
    check(plan.ground.first != plan.objects.first, "the two tilesets are told apart");
    check(plan.ground.first == 1 ? may_name(first, "ground") && may_name(second, "objects")
                                 : may_name(first, "objects") && may_name(second, "ground"),
          "a tileset is known by the name its file gives");
    return 0;
}
