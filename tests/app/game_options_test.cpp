#include "game_options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

// No options: the current directory at 18 passes a second, a scale that fits, a window.
TEST(GameCommandLine, DefaultsAndEveryOptionReachItsField) {
    using Fields = std::tuple<std::string, double, int, bool, bool>;
    auto fields = [](const std::vector<std::string>& args) {
        const ParsedCommandLine p = parse(args);
        EXPECT_TRUE(p.run) << p.err;
        const GameOptions& o = p.options;
        return Fields{o.data_dir, o.speed, o.scale, o.fullscreen, o.aspect};
    };
    EXPECT_EQ(fields({}), Fields(".", 18.0, 0, false, false));
    EXPECT_EQ(fields({"--data", "/tmp/w", "--speed", "7.5", "--scale", "2", "--fullscreen", "--aspect"}),
              Fields("/tmp/w", 7.5, 2, true, true));
    EXPECT_EQ(parse({"--speed=max"}).options.speed, 0.0);
    EXPECT_EQ(parse({"--speed", "1000"}).options.speed, 1000.0);
    EXPECT_EQ(parse({"--speed", "1"}).options.speed, 1.0);
}

// --help and --version print and end with 0; a usage error (more rows in
// GameBadOptions) ends with 2 and the usage on standard error.
TEST(GameCommandLine, HelpAndVersionExitZeroAndUsageErrorsTwo) {
    for (const char* flag : {"--help", "-h", "--version"}) {
        const ParsedCommandLine p = parse({flag});
        EXPECT_FALSE(p.run);
        EXPECT_EQ(p.exit_status, 0);
        if (flag == std::string("--version")) EXPECT_EQ(p.out.rfind("tlvx ", 0), 0u) << p.out;
        else
            for (const char* opt : {"--speed", "--data", "--scale", "--fullscreen", "--aspect", "--version"})
                EXPECT_NE(p.out.find(opt), std::string::npos) << opt;
    }
    const std::vector<std::vector<std::string>> bad = {{"--speed", "0.5"}, {"--speed", "1001"}, {"--speed", "fast"},
                                                       {"--speed", "18x"}, {"--speed", "nan"},  {"--data", "a", "b"}};
    for (const auto& args : bad) {
        const ParsedCommandLine p = parse(args);
        EXPECT_FALSE(p.run) << args[1];
        EXPECT_EQ(p.exit_status, 2) << args[1];
        EXPECT_NE(p.err.find("Usage"), std::string::npos) << args[1] << p.err;
        EXPECT_TRUE(p.out.empty()) << args[1];
    }
}
