// The registered subcommands against the places that list them: the worlds
// guide's table of tools and the manual page's COMMANDS, so that a new tool is
// its registration and nothing else by hand (HACKING.md, Adding a world tool).
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.hpp"
#include "tools/tool_commands.hpp"

using namespace tlvx::test;

namespace {

constexpr const char* kGuide = "docs/worlds.md";
constexpr const char* kManual = "share/tlvx-tool.6";
constexpr const char* kGuideHead = "| Tool | Usage | What it does |";

struct Tool {
    std::string name, description;
    std::vector<std::string> positionals, options;  // "DIR"; "--size"
};

std::vector<Tool> registered_tools() {
    CLI::App app;
    int exit_code = 0;
    std::string report;
    tlvx::tools::add_tool_commands(app, exit_code, report);
    std::vector<Tool> tools;
    for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        Tool t{sub->get_name(), sub->get_description(), {}, {}};
        for (const CLI::Option* o : sub->get_options()) {
            if (o->get_positional()) t.positionals.push_back(o->get_name());
            else if (!o->get_lnames().empty() && o->get_lnames()[0] != "help")
                t.options.push_back("--" + o->get_lnames()[0]);
        }
        tools.push_back(t);
    }
    return tools;
}

std::string usage(const Tool& t) {
    std::string u = "tlvx-tool " + t.name;
    for (const std::string& p : t.positionals) u += " " + p;
    return u + (t.options.empty() ? "" : " [options]");
}

std::string guide_row(const Tool& t) { return "| `" + t.name + "` | `" + usage(t) + "` | " + t.description + " |"; }

std::string troff(const std::string& text) { return std::regex_replace(text, std::regex("-"), "\\-"); }
std::string plain(const std::string& troff_text) { return std::regex_replace(troff_text, std::regex(R"(\\-)"), "-"); }

// The guide's table rows: from two lines below its head to the first line that is no row.
std::pair<long, long> guide_rows(const std::vector<std::string>& lines) {
    const long first = std::find(lines.begin(), lines.end(), kGuideHead) - lines.begin() + 2;
    long end = std::min(first, static_cast<long>(lines.size()));
    while (end < static_cast<long>(lines.size()) && lines[size_t(end)].rfind('|', 0) == 0) ++end;
    return {first, end};
}

// The manual page's tool sections: the name of each ".SS name" and the end of its lines, up to
// the next section.
std::vector<std::pair<std::string, long>> man_sections(const std::vector<std::string>& lines) {
    std::vector<std::pair<std::string, long>> sections;
    auto i = std::find(lines.begin(), lines.end(), ".SH COMMANDS") - lines.begin() + 1;
    for (; i < static_cast<long>(lines.size()) && lines[size_t(i)].rfind(".SH ", 0) != 0; ++i) {
        if (lines[size_t(i)].rfind(".SS ", 0) == 0) sections.push_back({plain(lines[size_t(i)].substr(4)), i + 1});
        else if (!sections.empty()) sections.back().second = i + 1;
    }
    return sections;
}

// A section for a tool the manual page lacks, from its registration alone.
std::vector<std::string> man_stub(const Tool& t) {
    std::vector<std::string> s = {".SS " + troff(t.name), ".B tlvx\\-tool " + troff(t.name)};
    for (const std::string& p : t.positionals) s.push_back(".I " + p);
    for (const std::string& o : t.options) s.push_back(".RB [ " + troff(o) + " ]");
    s.push_back(".PP");
    s.push_back(t.description + ".");
    for (const std::string& o : t.options)
        s.insert(s.end(), {".TP", ".B " + troff(o), "See tlvx\\-tool " + troff(t.name) + " \\-\\-help."});
    return s;
}

}  // namespace

// Every tool is one row of the guide's table, as its registration says, in its order, and one
// section of the manual page in the same order (the installed tree's check compares each
// section's options with the tool's --help). With TLVX_WRITE_TOOL_DOCS set, the guide's table is
// written from the registrations first, and a tool the manual page lacks gets a section there
// after the section of the tool before it.
TEST(ToolDocs, GuideAndManualPageListExactlyTheRegisteredTools) {
    const std::vector<Tool> tools = registered_tools();
    ASSERT_GE(tools.size(), 10u);
    const bool write = std::getenv("TLVX_WRITE_TOOL_DOCS") != nullptr;
    std::vector<std::string> guide = project_lines(kGuide), want, want_names;
    for (const Tool& t : tools) want.push_back(guide_row(t)), want_names.push_back(t.name);
    auto [first, end] = guide_rows(guide);
    ASSERT_LE(first, static_cast<long>(guide.size())) << "no \"" << kGuideHead << "\" in " << kGuide;
    if (write) {
        guide.erase(guide.begin() + first, guide.begin() + end);
        guide.insert(guide.begin() + first, want.begin(), want.end());
        write_project_lines(kGuide, guide);
        end = first + static_cast<long>(want.size());
    }
    EXPECT_EQ(std::vector<std::string>(guide.begin() + first, guide.begin() + end), want)
        << "TLVX_WRITE_TOOL_DOCS=1 build/tests/test_tools --gtest_filter=ToolDocs.* writes them";

    std::vector<std::string> man = project_lines(kManual);
    for (size_t k = 0; write && k < tools.size(); ++k) {
        const auto have = man_sections(man);
        if (std::any_of(have.begin(), have.end(), [&](const auto& m) { return m.first == tools[k].name; })) continue;
        long at = std::find(man.begin(), man.end(), ".SH COMMANDS") - man.begin() + 1;
        for (const auto& [name, section_end] : have)
            if (std::find(want_names.begin(), want_names.begin() + long(k), name) != want_names.begin() + long(k))
                at = std::max(at, section_end);
        const std::vector<std::string> stub = man_stub(tools[k]);
        man.insert(man.begin() + at, stub.begin(), stub.end());
    }
    if (write) write_project_lines(kManual, man);
    std::vector<std::string> names;
    for (const auto& m : man_sections(man)) names.push_back(m.first);
    EXPECT_EQ(names, want_names);
}
