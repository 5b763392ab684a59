// The game's command line: defaults, every option reaching its field, and the
// table of bad invocations.
#include "game_options.hpp"

#include "input/key_help.hpp"

#include <gtest/gtest.h>

#include <regex>
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

// No options: the current directory at 20 passes a second, a scale that fits, a window.
TEST(GameCommandLine, DefaultsAndEveryOptionReachItsField) {
    using Fields = std::tuple<std::string, double, int, bool, bool>;
    auto fields = [](const std::vector<std::string>& args) {
        const ParsedCommandLine p = parse(args);
        EXPECT_TRUE(p.run) << p.err;
        const GameOptions& o = p.options;
        return Fields{o.data_dir, o.speed, o.scale, o.fullscreen, o.aspect};
    };
    EXPECT_EQ(fields({}), Fields(".", 20.0, 0, false, false));
    EXPECT_EQ(fields({"--data", "/tmp/w", "--speed", "7.5", "--scale", "2", "--fullscreen", "--aspect"}),
              Fields("/tmp/w", 7.5, 2, true, true));
    for (auto [arg, speed] : {std::pair{"--speed=max", 0.0}, {"--speed=1000", 1000.0}, {"--speed=1", 1.0}})
        EXPECT_EQ(parse({arg}).options.speed, speed) << arg;
}

// Each refusal exits with status 2 before anything is opened: on standard error one line naming
// the option or word at fault, then "see tlvx --help" (mended: not the whole usage), no number
// spelled out in hundreds of digits.
TEST(GameBadOptions, EachRefusalNamesItsCulpritOnItsFirstLine) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
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
        {{"--sped", "20"}, "--sped"},
        {{"--speed", "fast"}, "--speed"},
        {{"--scale", "0"}, "--scale"},
        {{"--speed", "2\x1b[2J"}, "\\x1B"},  // a control byte of the command line is shown escaped
    };
    for (const auto& [args, names] : rows) {
        const ParsedCommandLine p = parse(args);
        const std::string first = p.err.substr(0, p.err.find('\n'));
        EXPECT_TRUE(!p.run && p.exit_status == 2) << names;
        EXPECT_TRUE(p.out.empty()) << p.out;
        EXPECT_EQ(p.err, first + "\nsee tlvx --help\n");
        EXPECT_EQ(first.rfind("tlvx: ", 0), 0u) << first;
        EXPECT_NE(first.find(names), std::string::npos) << first;
        EXPECT_LE(first.size(), 200u) << first;
        EXPECT_FALSE(std::regex_search(p.err, std::regex("[0-9]{25}"))) << p.err;
    }
}

// --version prints one line and --help ends with the key table, complete, as
// the terminal text of the keys; both end with 0 before anything is opened
// (needing no display either: GameWithoutDisplay).
TEST(GameCommandLine, VersionIsOneLineAndHelpListsEveryKey) {
    const ParsedCommandLine v = parse({"--version"}), h = parse({"--help"});
    EXPECT_TRUE(!v.run && v.exit_status == 0 && !h.run && h.exit_status == 0) << v.err << h.err;
    EXPECT_EQ(v.out.rfind("tlvx ", 0), 0u) << v.out;
    EXPECT_EQ(v.out.find('\n'), v.out.size() - 1) << v.out;
    const std::string keys = key_help_text();
    const size_t at = h.out.find(keys);
    ASSERT_NE(at, std::string::npos) << h.out;
    EXPECT_EQ(h.out.find_first_not_of('\n', at + keys.size()), std::string::npos) << h.out;
}
