// The registered subcommands against the places that list them: the worlds
// guide's table of tools and the manual page's COMMANDS, so that a new tool is
// its registration and nothing else by hand (HACKING.md, Adding a world tool).
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
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

std::string troff(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

std::string plain(const std::string& troff_text) {
    std::string out = troff_text;
    for (size_t at; (at = out.find("\\-")) != std::string::npos;) out.replace(at, 2, "-");
    return out;
}

// The guide's table rows: from two lines below its head to the first line that is no row.
size_t guide_rows(const std::vector<std::string>& lines, size_t& end) {
    const size_t first = static_cast<size_t>(std::find(lines.begin(), lines.end(), kGuideHead) - lines.begin()) + 2;
    for (end = std::min(first, lines.size()); end < lines.size() && lines[end].rfind('|', 0) == 0;) ++end;
    return first;
}

// The manual page's tool sections: each ".SS name" with its lines, up to the next section.
struct ManSection {
    std::string name;
    size_t first, end;
};
std::vector<ManSection> man_sections(const std::vector<std::string>& lines) {
    std::vector<ManSection> sections;
    size_t i = static_cast<size_t>(std::find(lines.begin(), lines.end(), ".SH COMMANDS") - lines.begin()) + 1;
    for (; i < lines.size() && lines[i].rfind(".SH ", 0) != 0; ++i) {
        if (lines[i].rfind(".SS ", 0) == 0) sections.push_back({plain(lines[i].substr(4)), i, i + 1});
        else if (!sections.empty()) sections.back().end = i + 1;
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

// With TLVX_WRITE_TOOL_DOCS set, the guide's table is written from the
// registrations and a tool the manual page lacks gets a section there.
void write_tool_docs(const std::vector<Tool>& tools) {
    std::vector<std::string> guide = project_lines(kGuide);
    size_t end = 0;
    const size_t first = guide_rows(guide, end);
    ASSERT_LE(first, guide.size()) << "no \"" << kGuideHead << "\" in " << kGuide;
    guide.erase(guide.begin() + static_cast<long>(first), guide.begin() + static_cast<long>(end));
    for (size_t k = 0; k < tools.size(); ++k)
        guide.insert(guide.begin() + static_cast<long>(first + k), guide_row(tools[k]));
    write_project_lines(kGuide, guide);

    std::vector<std::string> man = project_lines(kManual);
    for (size_t k = 0; k < tools.size(); ++k) {
        const std::vector<ManSection> have = man_sections(man);
        if (std::any_of(have.begin(), have.end(), [&](const ManSection& m) { return m.name == tools[k].name; }))
            continue;
        size_t at = static_cast<size_t>(std::find(man.begin(), man.end(), ".SH COMMANDS") - man.begin()) + 1;
        for (const ManSection& m : have)
            for (size_t j = 0; j < k; ++j)
                if (m.name == tools[j].name) at = std::max(at, m.end);
        const std::vector<std::string> stub = man_stub(tools[k]);
        man.insert(man.begin() + static_cast<long>(at), stub.begin(), stub.end());
    }
    write_project_lines(kManual, man);
}

}  // namespace

// Every tool is one row of the guide's table, as its registration says, in its order, and one
// section of the manual page in the same order (the installed tree's check compares each
// section's options with the tool's --help).
TEST(ToolDocs, GuideAndManualPageListExactlyTheRegisteredTools) {
    const std::vector<Tool> tools = registered_tools();
    ASSERT_GE(tools.size(), 10u);
    if (std::getenv("TLVX_WRITE_TOOL_DOCS")) write_tool_docs(tools);

    const std::vector<std::string> guide = project_lines(kGuide);
    size_t end = 0;
    const size_t first = guide_rows(guide, end);
    std::vector<std::string> rows, want;
    for (size_t i = first; i < end; ++i) rows.push_back(guide[i]);
    for (const Tool& t : tools) want.push_back(guide_row(t));
    EXPECT_EQ(rows, want) << "TLVX_WRITE_TOOL_DOCS=1 build/tests/test_tools --gtest_filter=ToolDocs.* writes them";

    const std::vector<std::string> man = project_lines(kManual);
    const std::vector<ManSection> sections = man_sections(man);
    std::vector<std::string> names;
    for (const ManSection& m : sections) names.push_back(m.name);
    std::vector<std::string> want_names;
    for (const Tool& t : tools) want_names.push_back(t.name);
    EXPECT_EQ(names, want_names);
}
