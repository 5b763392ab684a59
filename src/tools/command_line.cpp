#include "tools/command_line.hpp"

#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>
#include <limits>

#include "tools/render.hpp"
#include "world/paths.hpp"

namespace tlvx::tools {

namespace {

// The user's text in a message, cut short: a mistyped number may be long.
std::string shown(const std::string& text) {
    const std::string p = printable(text);
    return "\"" + (p.size() > 24 ? p.substr(0, 24) + "..." : p) + "\"";
}

std::string subcommand_list(const CLI::App& app) {
    std::string out;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        out += (out.empty() ? "" : ", ") + sub->get_name();
    return out;
}

}  // namespace

CLI::Validator region_text() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (parse_region(text)) return "";
            return "--region must be X,Y,W,H: four whole numbers 1 to 65535, e.g. 10,5,40,30 (got \"" +
                   printable(text) + "\")";
        },
        "X,Y,W,H");
}

CLI::Validator whole_number(const std::string& option, int64_t lo, int64_t hi) {
    const std::string range = hi == std::numeric_limits<int64_t>::max()
                                  ? std::to_string(lo) + " or more"
                                  : std::to_string(lo) + " to " + std::to_string(hi);
    auto check = [option, lo, hi, range](std::string& text) -> std::string {
        const std::string must = option + " must be " + range;
        size_t i = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
        if (i == text.size() || text.find_first_not_of("0123456789", i) != std::string::npos)
            return option + " must be a whole number " + range + " (got " + shown(text) + ")";
        // More digits than any accepted number has: out of range either way.
        const size_t digits = text.size() - i;
        if (digits > 18) return must;
        const int64_t v = std::stoll(text);
        if (v < lo || v > hi) return must;
        return "";
    };
    return CLI::Validator(check, range, "whole number");
}

int run_command_line(CLI::App& app, int argc, char** argv, const int& exit_code) {
    const std::string tool = app.get_name().empty() ? "tlvx-tool" : app.get_name();
    // The first word names the subcommand; a name the tool does not know is
    // reported as such (the parser would only ask for a subcommand).
    if (argc < 2) {
        std::cerr << tool << ": name a subcommand: " << subcommand_list(app) << " (--help tells more)\n";
        return kUsageError;
    }
    const std::string first = argv[1];
    const CLI::App* sub = nullptr;
    if (!first.empty() && first[0] == '-' && first != "--help" && first != "-h") {
        std::cerr << tool << ": there is no option " << shown(first)
                  << " before the subcommand; name a subcommand: " << subcommand_list(app) << "\n";
        return kUsageError;
    }
    if (!first.empty() && first[0] != '-') {
        for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
            if (s->get_name() == first) sub = s;
        if (!sub) {
            std::cerr << tool << ": there is no subcommand " << shown(first) << "; the subcommands are "
                      << subcommand_list(app) << "\n";
            return kUsageError;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        // A failed check reads "OPTION: MESSAGE"; the messages of whole_number
        // name the option themselves.
        if (dynamic_cast<const CLI::ValidationError*>(&e)) {
            const size_t colon = message.find(": ");
            if (colon != std::string::npos && message.compare(colon + 2, colon, message, 0, colon) == 0)
                message = message.substr(colon + 2);
        }
        if (message == "A subcommand is required") message = "name a subcommand: " + subcommand_list(app);
        // "--passes: 1 required INT:... missing": an option given without its value.
        if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && message.find(" missing") != std::string::npos)
            message = message.substr(0, message.find(':')) + " needs a value";
        std::cerr << tool << (sub ? " " + sub->get_name() : std::string()) << ": " << printable(message) << "\n";
        return kUsageError;
    }
    return exit_code;
}

}  // namespace tlvx::tools
