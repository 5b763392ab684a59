// tlvx in a browser page: the game over the page's canvas and keys, the
// player's world kept in the browser's storage at /world. With a test set up
// by the page (window.tlvxTest), it plays that instead (web_test_mode.hpp).
// The page (share/web/index.html) mounts the storage, takes the one-tab lock
// and answers the calls of web_page.hpp.
#include <emscripten.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "input/key_help.hpp"
#include "input/touch_table.hpp"
#include "platform/web/web_platform.hpp"
#include "shell/run_game.hpp"
#include "web_page.hpp"
#include "web_test_mode.hpp"
#include "web_world_actions.hpp"
#include "world/paths.hpp"

namespace {

using namespace tlvx::web_page;

// Plays the player's world until the game ends; returns "" or the runtime
// error report.
std::string play(tlvx::WebPlatform& platform, OpenedWorld& opened) {
    auto s = std::make_unique<tlvx::State>();
    platform.between_passes = [&s, &opened]() { take_world_action(s.get(), opened); };
    // The game keeps its save file up to date while it plays (every step,
    // and the rest once a second, shell/game.cpp), so that a page the browser
    // ends keeps the character where it stood; once a second the storage takes
    // whatever changed, the save and the layers alike.
    double last_sync = platform.time();
    s->on_pass_end = [&platform, &last_sync](const tlvx::State& st) {
        tell_pass(st);
        const double now = platform.time();
        if (now - last_sync < 1.0) return;
        last_sync = now;
        world_changed();
    };
    const std::string report = tlvx::run_game(*s, platform, kWorldDir).text;
    platform.between_passes = nullptr;
    platform.close_screen();
    world_changed();
    return report;
}

std::string wait_for_action(OpenedWorld& opened) {
    for (;;) {
        take_world_action(nullptr, opened);
        std::string action = next_action();
        if (!action.empty()) return action;
        emscripten_sleep(100);
    }
}

// The page's key table and its key help (F1, the Keys button), from the one
// table of keys: the game's keys, then the page's own in place of the
// window's (the browser keeps F11, F12 and Ctrl with + and -).
void show_key_table() {
    for (const tlvx::KeyRow* row : tlvx::key_help_rows(tlvx::KeySource::Page))
        key_row(std::string(row->help.keys), std::string(row->help.what));
    for (const std::string& line : tlvx::key_help_screen_lines(tlvx::KeySource::Page)) help_line(line);
    // The on-screen controls of a touch screen, which the page shows when it has one.
    int n = 0;
    for (const tlvx::TouchControl& c : tlvx::kTouchControls) touch_control(n++, c);
}

int run_player() {
    show_key_table();
    const int storage = tlvx::web_page::storage();
    if (storage == 2) {
        set_state(
            "locked",
            "The world is open in another tab of this site. Play it there, or close that tab and reload this one.");
        return 0;
    }
    std::string notice = storage == 1 ? "Your browser refused to keep this site's data: the game plays in memory, and "
                                        "what you do is lost when the page closes. "
                                      : "";
    try {
        notice += first_world(storage == 1);
    } catch (const tlvx::world::ToolError& e) {
        set_state("error", e.what());
        return 1;
    }
    tlvx::WebPlatform platform;
    for (;;) {
        set_state("running", notice);
        notice.clear();
        OpenedWorld opened;
        const std::string report = play(platform, opened);
        std::string action = next_action();
        if (!report.empty()) {
            set_state("error", report);
            action = wait_for_action(opened);
        } else if (action.empty()) {
            set_state("ended", "Your world is saved.");
            action = wait_for_action(opened);
        }
        if (action == "open") set_state("loading", "Opening the world...");
        if (action == "new")
            set_state("loading", published() ? "Starting the world again..." : "Making a new demo world...");
        try {
            if (action == "open") notice = install_world(opened.files);
            else if (action == "new") notice = start_over();
        } catch (const tlvx::world::ToolError& e) {
            notice = e.what();
        }
        world_changed();
    }
}

}  // namespace

int main() {
    // The browser's file system starts with a mask that takes every
    // permission away; files are made as on a desktop instead.
    ::umask(022);
    return test_mode() ? run_test() : run_player();
}
