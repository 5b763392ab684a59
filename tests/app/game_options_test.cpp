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
    for (auto [arg, speed] : {std::pair{"--speed=max", 0.0}, {"--speed=1000", 1000.0}, {"--speed=1", 1.0}})
        EXPECT_EQ(parse({arg}).options.speed, speed) << arg;
}

// --help and --version print and end with 0 (usage errors: GameBadOptions).
TEST(GameCommandLine, HelpAndVersionExitZero) {
    for (const char* flag : {"--help", "-h", "--version"}) {
        const ParsedCommandLine p = parse({flag});
        EXPECT_FALSE(p.run);
        EXPECT_EQ(p.exit_status, 0);
        if (flag == std::string("--version")) EXPECT_EQ(p.out.rfind("tlvx ", 0), 0u) << p.out;
        else
            for (const char* opt : {"--speed", "--data", "--scale", "--fullscreen", "--aspect", "--version"})
                EXPECT_NE(p.out.find(opt), std::string::npos) << opt;
    }
}
