#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "display/view.hpp"
#include "tools/new_map.hpp"
#include "tools/tools_helpers.hpp"
#include "world/demo_world.hpp"
#include "world/info.hpp"

using namespace tlvx;
using namespace tlvx::tools;
using namespace tlvx::world;

namespace {

// How many of `lines` hold both `a` and `b`.
int holding(const std::vector<std::string>& lines, std::string_view a, std::string_view b = "") {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(a) != l.npos && l.find(b) != l.npos; }));
}

// Writes `v` into cell (c, r) of layer file `k` of a map `w` cells wide.
void put_cell(const std::string& dir, int k, int64_t w, int64_t c, int64_t r, uint8_t v) {
    std::FILE* f = std::fopen(test::layer_path(dir, k).c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, static_cast<long>(c + r * w + 3), SEEK_SET);
    std::fputc(v, f);
    std::fclose(f);
}

// A `new` world `w` cells wide in t/W, made once for all rows of that width (each row puts back what it changes).
const NewMapResult& world_of(const test::TempDir& t, std::map<int32_t, NewMapResult>& made, int32_t w, int32_t h) {
    if (!made.count(w)) made[w] = new_map({.dir = t.file(std::to_string(w)), .w = w, .h = h, .fill = {}});
    return made[w];
}

}  // namespace

// Each planted fault is named in a problem (the game would stop) or in a note, and only then is there a problem.
TEST(Info, FindsEachKindOfPlantedFault) {
    using Dir = const test::TempDir&;
    auto gone = [](const char* name) { return [=](Dir d) { std::filesystem::remove(d.file(name)); }; };
    auto with = [](const char* name, std::string bytes) {
        return [=](Dir d) { test::write_file(d.file(name), bytes); };
    };
    struct Fault {
        std::function<void(Dir)> plant;
        bool problem;
        const char *says1, *says2;
    };
    const Fault faults[] = {
        {gone("grass_01.pcv"), true, "ground value 1 ", "file not found"},
        {gone("tlvx_w05.pal"), true, "palette file: runtime error 2 (file not found) while opening \"tlvx_w05.pal\"",
         "."},
        {with("foxy_wk2.pcv", "garbage"), true, "creature value 2 (4 cells), frame 2", "file I/O error"},
        {gone("tree-oak.pcv"), true, "structure value 10", "mask"},
        {with("tlvx_gr1.tmp", ""), true, "tlvx_gr1.tmp", "no map"},
        {with("tlvx_gr1.tmp", test::layer_bytes(3, 3, nullptr)), true, "too small", "runtime error 1"},
        {[](Dir d) { std::filesystem::resize_file(d.file("tlvx_gr2.tmp"), 100); }, false, "tlvx_gr2.tmp", "shorter"},
        {gone("tlvx_gr5.tmp"), false, "tlvx_gr5.tmp", "creates it empty"},
        {gone("mark_inv.pcv"), false, "", ""},  // the invisible marker (mode 3) is never drawn: no finding
        // A file nothing reads is named; the lock file and other hidden files are not.
        {with("holiday.mkv", "x"), false, "\"holiday.mkv\" is not part of the world", "never reads it"},
        {with(".tlvx.lock", "tlvx 1"), false, "", ""},
        // Pictures the game draws without an error, yet with wrong pixels.
        {[](Dir d) { std::filesystem::resize_file(d.file("grass_01.pcv"), 20); }, true, "ground value 1 ",
         "holds 13 of the 580 data bytes"},
        {with("grass_01.pcv", test::block_picture(24, 24, {}).substr(0, 7 + 4) + std::string(100, '\1')), true,
         "ground value 1 ", "wrong pixels"},
        {with("grass_01.pcv", test::solid_picture(60, 60, 9)), true, "ground value 1 ", "not drawn"},
    };
    for (const Fault& f : faults) {
        test::TempDir dir;
        write_demo_world(dir.path(), false);
        f.plant(dir);
        const WorldInfo info = inspect_world(dir.path());
        EXPECT_EQ(holding(f.problem ? info.problems : info.notes, f.says1, f.says2) > 0, *f.says1 != 0)
            << f.says1 << "\n"
            << format_info(info);
        EXPECT_EQ(info.problems.empty(), !f.problem) << format_info(info);
    }
}

// The report counts the values, and names from the data files cannot break
// its lines. (A world with a missing file: status 1 and the file named, in
// the bad-input table.)
TEST(Info, ToolReportCountsAndQuotesNames) {
    test::TempDir dir;
    write_demo_world(dir.path(), false);
    test::write_file(dir.file("oakvale.txt"), "\"Oak\nvale\x01\"\r\n\"unused\"\r\n0\r\n0\r\n");
    const test::ToolRun ok = test::run_tool({"info", dir.path()}, {});
    EXPECT_EQ(ok.status, 0) << ok.output;
    for (const char* line : {"No problems", "world: \"Oak\\nvale\\x01\" (oakvale.txt)\n", "map: 80 x 60 cells",
                             "creature values:  0 x 4783, 1 x 1, 2 x 4", "start: (38, 33)"})
        EXPECT_NE(ok.output.find(line), std::string::npos) << line << "\n" << ok.output;
}

// Every value the editing keys can reach has a picture in the demo world and
// in a world made by `new`: "+" and "f" make ground values up to 64 and "-"
// and "F" none below 1; "*" and "]" make creature and structure values up to
// 255. Each such value is put into a cell and info draws every one without a
// finding. The report of so many values wraps with real line breaks.
TEST(Info, EveryValueTheEditingKeysReachHasAPicture) {
    test::TempDir t;
    const std::string demo = t.file("demo"), made = t.file("made");
    write_demo_world(demo, false);
    new_map({.dir = made, .w = 20, .h = 16, .fill = {}});
    for (const auto& [dir, w] : {std::pair{demo, 80}, std::pair{made, 20}}) {
        SCOPED_TRACE(dir);
        for (int v = 1; v <= 255; ++v) {
            const int c = 1 + (v - 1) % w, r = 1 + (v - 1) / w;
            if (v <= kLastEditedGround) put_cell(dir, 0, w, c, r, static_cast<uint8_t>(v));
            for (int k = 1; k <= 2; ++k) put_cell(dir, k, w, c, r, static_cast<uint8_t>(v));
        }
        const WorldInfo info = inspect_world(dir);
        EXPECT_TRUE(info.problems.empty()) << format_info(info);
        for (const std::string& n : info.notes) EXPECT_EQ(n.find("picture"), std::string::npos) << n;
        const test::ToolRun run = test::run_tool({"info", dir}, {});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find("\\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(",\n      "), std::string::npos) << run.output;
    }
}

// While a game holds the world's lock, the markers it moves are no finding:
// info says who holds the world instead, and the finding is back once it ends.
// Looking never creates the lock file.
TEST(Info, AWorldInUseIsNamedWithoutPlayerMarkerFindings) {
    test::TempDir t;
    const std::string dir = t.file("w");
    new_map({.dir = dir, .w = 20, .h = 16, .fill = {}});
    put_cell(dir, 1, 20, 3, 2, 1);  // a second marker, as a step under way leaves it
    const auto marker_findings = [](const WorldInfo& info) { return holding(info.notes, "player marker"); };
    const auto in_use = [](const WorldInfo& info) { return holding(info.lines, "in use by"); };
    {
        const WorldLock game(dir, "tlvx");
        const WorldInfo info = inspect_world(dir);
        EXPECT_EQ(in_use(info), 1) << format_info(info);
        EXPECT_NE(format_info(info).find("in use by tlvx (pid " + std::to_string(::getpid()) + ")"), std::string::npos)
            << format_info(info);
        EXPECT_EQ(marker_findings(info), 0) << format_info(info);
        EXPECT_EQ(format_info(info).find("Backspace"), std::string::npos) << format_info(info);
    }
    const WorldInfo after = inspect_world(dir);
    EXPECT_EQ(in_use(after), 0) << format_info(after);
    EXPECT_EQ(marker_findings(after), 1) << format_info(after);
    std::filesystem::remove(t.file("w/.tlvx.lock"));
    EXPECT_EQ(marker_findings(inspect_world(dir)), 1);
    EXPECT_FALSE(std::filesystem::exists(t.file("w/.tlvx.lock"))) << "info never creates the lock file";
}

// Cells no player can reach are notes naming their count and the first of them: a player marker
// (creature value 1) anywhere but the start cell, and road cells where the centre clamp never leaves
// the player; a `new` world and the cells just inside (columns 4 to WX - 3, rows 4 to WY - 3) give
// none. The scan reads only the written parts of a sparse map, so the largest map is checked in
// moments. centres_kept is the clamp's own range.
TEST(Info, PlayerMarkersAwayFromTheStartAndRoadCellsWhereThePlayerCanNeverStand) {
    for (int32_t size = 1; size <= 12; ++size)
        for (int32_t v = -1; v <= size + 1; ++v) {
            State s;
            std::tie(s.WX, s.WY, s.VX2, s.VY2) = std::tuple(size, 100, v, 50);
            centre_clamp(s);
            const CentreRange kept = centres_kept(size);
            EXPECT_EQ(s.VX2 == v, v >= kept.first && v <= kept.last) << size << " " << v;
        }
    struct Row {
        int32_t w, h;
        bool road;  // the cells get a road, else a player marker
        std::vector<std::pair<int64_t, int64_t>> cells;
        const char* says;  // "" when no note about those cells is expected
        bool clear_start = false;
    };
    const Row rows[] = {
        {20, 16, false, {}, ""},
        {20, 16, false, {{3, 2}}, "in 1 cell besides the start cell, e.g. (3, 2)"},
        {20, 16, false, {{20, 16}}, "e.g. (20, 16)"},
        {20, 16, false, {{1, 1}}, "in 1 cell besides the start cell, e.g. (1, 1)", true},
        {20, 16, false, {{5, 5}, {19, 15}}, "in 2 cells besides"},
        {65535, 65535, false, {{65000, 64000}}, "e.g. (65000, 64000)"},
        {20, 16, true, {}, ""},
        {20, 16, true, {{4, 4}, {17, 13}, {4, 13}, {17, 4}}, ""},
        {20, 16, true, {{3, 8}}, "1 road cell lies outside"},
        {20, 16, true, {{18, 8}, {10, 14}}, "2 road cells lie"},
        {20,
         16,
         true,
         {{10, 2}, {1, 1}, {20, 16}},
         "3 road cells lie outside columns 4 to 17 and rows 4 to 13, where the player can never stand, e.g. (1, 1)"},
        {65535, 65535, true, {{65533, 30000}}, "e.g. (65533, 30000)"},
    };
    test::TempDir t;
    std::map<int32_t, NewMapResult> made;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.w) + " " + row.says);
        const std::string dir = t.file(std::to_string(row.w));
        const NewMapResult& m = world_of(t, made, row.w, row.h);
        const int k = row.road ? 0 : 1;
        const uint8_t value = row.road ? ground::Road : 1, fill = row.road ? static_cast<uint8_t>(m.fill) : 0;
        for (const auto& [c, r] : row.cells) put_cell(dir, k, row.w, c, r, value);
        if (row.clear_start) put_cell(dir, 1, row.w, m.start_x, m.start_y, 0);
        const WorldInfo info = inspect_world(dir);
        for (const auto& [c, r] : row.cells) put_cell(dir, k, row.w, c, r, fill);
        if (row.clear_start) put_cell(dir, 1, row.w, m.start_x, m.start_y, 1);
        const char* about = row.road ? "road cell" : "besides the start cell";
        EXPECT_EQ(holding(info.notes, about, row.says), *row.says ? 1 : 0) << format_info(info);
        EXPECT_EQ(holding(info.notes, "start cell holds no player marker"), row.clear_start ? 1 : 0)
            << format_info(info);
        EXPECT_TRUE(info.problems.empty()) << format_info(info);
    }
}
