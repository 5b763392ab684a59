// The game's own options in the table of bad invocations: each refusal exits
// with status 2 before anything is opened, the usage on standard error, its first
// line naming the option or word at fault, no number spelled out in hundreds of digits.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "game_options.hpp"

using namespace tlvx;

TEST(GameBadOptions, EachRefusalNamesItsCulpritOnItsFirstLine) {
    struct Row {
        std::vector<std::string> args;
        const char* names;
    };
    const Row rows[] = {
        {{"--bogus"}, "--bogus"},
        {{"world"}, "world"},
        {{"--data"}, "--data"},
        {{"--data", "a", "b"}, "b"},
        {{"--speed", "0.5"}, "--speed"},  // 1 to 1000
        {{"--speed", "1001"}, "--speed"},
        {{"--speed", "1e400"}, "--speed"},
        {{"--speed", "18x"}, "--speed"},
        {{"--speed", "nan"}, "--speed"},
        {{"--scale", "17"}, "--scale"},
        {{"--scale", "x"}, "--scale"},
        {{"--fullscreen=maybe"}, "--fullscreen"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), "tlvx");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        const ParsedCommandLine p = parse_game_command_line(static_cast<int>(argv.size()), argv.data());
        const std::string first = p.err.substr(0, p.err.find('\n'));
        EXPECT_FALSE(p.run) << row.names;
        EXPECT_EQ(p.exit_status, 2) << row.names;
        EXPECT_TRUE(p.out.empty() && p.err.find("Usage") != std::string::npos) << p.err;
        EXPECT_NE(first.find(row.names), std::string::npos) << first;
        EXPECT_LE(first.size(), 200u) << first;
        EXPECT_FALSE(std::regex_search(p.err, std::regex("[0-9]{25}"))) << p.err;
    }
}
