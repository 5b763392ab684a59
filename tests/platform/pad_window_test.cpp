// A game controller in the window: SDL's virtual controller, attached in this
// process, plays the game run in an SdlPlatform (on SDL's dummy video driver,
// which needs no display) through the same key queue and repeat as keys.
#include <gtest/gtest.h>

#ifdef TLVX_GAME
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "base/state.hpp"
#include "platform/sdl/sdl_platform.hpp"
#include "shell/run_game.hpp"
#include "x_window.hpp"

using namespace tlvx;
using namespace tlvx::test;

namespace {

using Clock = std::chrono::steady_clock;

// Polls `done` every 5 ms for at most `seconds`; whether it came true.
bool wait_until(const std::function<bool()>& done, double seconds = 10) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class PadWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // The dummy window never has the keyboard's focus, without which SDL
        // holds a controller's presses back.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
        FixtureWorld().write(dir.path());
    }
    void TearDown() override {
        if (game.joinable()) {
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            if (!ended) window.inject_event(quit);
            game.join();
        }
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS");
    }
    // The value of cell (c, r) of layer file `k`.
    int cell(int k, int c, int r) const {
        const std::string bytes = read_file(dir.file("tlvx_gr" + std::to_string(k) + ".tmp"));
        const size_t at = 4 + static_cast<size_t>(c - 1) + static_cast<size_t>(r) * 20;
        return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : -1;
    }
    TempDir dir;
    // What the game's thread uses, kept until TearDown has joined it.
    std::atomic<int> x{0}, y{0}, passes{0};
    std::atomic<bool> ended{false};
    std::unique_ptr<State> s = std::make_unique<State>();
    GameResult result;
    SdlPlatform window;
    std::thread game;
};

// The d-pad held walks on (the key repeat) and stops when let go; A and X edit the cell in front;
// the left stick inside its dead zone does nothing and pushed steps; a short press of Back does
// nothing, and Back held for a second saves and quits as Escape does.
TEST_F(PadWindow, VirtualControllerWalksEditsAndQuits) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "tlvx test pad";
    const int device = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(device, 0) << SDL_GetError();
    SDL_Joystick* pad = SDL_JoystickOpen(device);
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    const auto button = [&](SDL_GameControllerButton b, bool down) {
        SDL_JoystickSetVirtualButton(pad, b, down ? 1 : 0);
    };
    const auto axis = [&](SDL_GameControllerAxis a, int value) {
        SDL_JoystickSetVirtualAxis(pad, a, static_cast<Sint16>(value));
    };

    s->on_pass_end = [&](const State& st) {
        x = st.VX2;
        y = st.VY2;
        ++passes;
    };
    // The game ends with SDL_Quit, which takes the virtual controller with it.
    game = std::thread([&] {
        result = run_game(*s, window, dir.path());
        window.close_screen();
        ended = true;
    });

    ASSERT_TRUE(wait_until([&] { return passes > 0; })) << "the game never ran a pass";
    const int x0 = x, row = y;
    button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    ASSERT_TRUE(wait_until([&] { return x >= x0 + 3; })) << "the held d-pad took " << x - x0 << " steps";
    button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, false);
    const int released = x;
    // Sixteen passes (0.8 s at the default speed) are more than the repeat's delay and a beat.
    const int passes_at_release = passes;
    ASSERT_TRUE(wait_until([&] { return passes >= passes_at_release + 16; }));
    const int stopped = x;
    EXPECT_LE(stopped - released, 1) << "the walk went on after the d-pad was let go";

    button(SDL_CONTROLLER_BUTTON_A, true);
    ASSERT_TRUE(wait_until([&] { return cell(1, stopped + 1, row) == 2; })) << "A did not raise the ground in front";
    button(SDL_CONTROLLER_BUTTON_A, false);
    button(SDL_CONTROLLER_BUTTON_X, true);
    ASSERT_TRUE(wait_until([&] { return cell(3, stopped + 1, row) == 1; })) << "X did not raise the structure";
    button(SDL_CONTROLLER_BUTTON_X, false);

    // A quarter of the way left is inside the dead zone: B's edit comes and the place stays.
    axis(SDL_CONTROLLER_AXIS_LEFTX, -8000);
    button(SDL_CONTROLLER_BUTTON_B, true);
    ASSERT_TRUE(wait_until([&] { return cell(1, stopped + 1, row) == 1; })) << "B did not lower the ground";
    button(SDL_CONTROLLER_BUTTON_B, false);
    EXPECT_EQ(x, stopped);
    axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    EXPECT_TRUE(wait_until([&] { return x < stopped; })) << "the stick pushed left did not step";
    axis(SDL_CONTROLLER_AXIS_LEFTX, 0);

    // A short press of Back, then an edit the game still takes.
    button(SDL_CONTROLLER_BUTTON_BACK, true);
    const int seen = passes;
    ASSERT_TRUE(wait_until([&] { return passes >= seen + 2; }));
    button(SDL_CONTROLLER_BUTTON_BACK, false);
    const int left_at = x;
    button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    EXPECT_TRUE(wait_until([&] { return cell(2, left_at - 1, row) == 1 || ended; }));
    button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false);
    EXPECT_FALSE(ended) << "a short press of Back ended the game";
    EXPECT_EQ(cell(2, left_at - 1, row), 1) << "RB did not raise the creature in front";

    const auto held = Clock::now();
    button(SDL_CONTROLLER_BUTTON_BACK, true);
    ASSERT_TRUE(wait_until([&] { return ended.load(); })) << "Back held did not end the game";
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - held).count(), 0.95);
    EXPECT_EQ(result.end, GameEnd::Quit) << result.text;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(std::pair(save_field(dir.path(), 2), save_field(dir.path(), 3)), std::pair(x.load(), row))
        << "the quit saved the place";
}

}  // namespace
#endif
