#include "game_options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tlvx;

namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tlvx");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return parse_game_command_line(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(GameCommandLine, NoArgumentsRunsInTheCurrentDirectoryAtTheDefaultSpeed) {
    const ParsedCommandLine p = parse({});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.options.data_dir, ".");
    EXPECT_EQ(p.options.speed, 18.0);
    EXPECT_EQ(p.options.scale, 0);
    EXPECT_FALSE(p.options.fullscreen);
    EXPECT_FALSE(p.options.aspect);
}

TEST(GameCommandLine, EveryOptionReachesItsField) {
    const ParsedCommandLine p =
        parse({"--data", "/tmp/w", "--speed", "7.5", "--scale", "2", "--fullscreen", "--aspect"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.options.data_dir, "/tmp/w");
    EXPECT_EQ(p.options.speed, 7.5);
    EXPECT_EQ(p.options.scale, 2);
    EXPECT_TRUE(p.options.fullscreen);
    EXPECT_TRUE(p.options.aspect);
    EXPECT_EQ(parse({"--speed=max"}).options.speed, 0.0);
    EXPECT_EQ(parse({"--speed", "1000"}).options.speed, 1000.0);
    EXPECT_EQ(parse({"--speed", "1"}).options.speed, 1.0);
}

TEST(GameCommandLine, HelpAndVersionPrintAndExitZero) {
    for (const char* flag : {"--help", "-h"}) {
        const ParsedCommandLine p = parse({flag});
        EXPECT_FALSE(p.run);
        EXPECT_EQ(p.exit_status, 0);
        for (const char* opt : {"--speed", "--data", "--scale", "--fullscreen", "--aspect", "--version"})
            EXPECT_NE(p.out.find(opt), std::string::npos) << opt;
    }
    const ParsedCommandLine v = parse({"--version"});
    EXPECT_FALSE(v.run);
    EXPECT_EQ(v.exit_status, 0);
    EXPECT_EQ(v.out.rfind("tlvx ", 0), 0u) << v.out;
}

TEST(GameCommandLine, UsageErrorsExitTwoWithTheUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"world"},
        {"--data"},
        {"--speed", "0"},
        {"--speed", "0.5"},
        {"--speed", "1001"},
        {"--speed", "fast"},
        {"--speed", "18x"},
        {"--speed", "-5"},
        {"--speed", "nan"},
        {"--scale", "0"},
        {"--scale", "two"},
        {"--fullscreen=maybe"},
        {"--data", "a", "b"},
    };
    for (const auto& args : bad) {
        const ParsedCommandLine p = parse(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_FALSE(p.run) << shown;
        EXPECT_EQ(p.exit_status, 2) << shown;
        EXPECT_NE(p.err.find("Usage"), std::string::npos) << shown << p.err;
        EXPECT_TRUE(p.out.empty()) << shown;
    }
}
