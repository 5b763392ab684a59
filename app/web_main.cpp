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
    // ends keeps the character where it stood; the page copies every file
    // the game changes into the browser's storage as soon as the pass gives
    // it its turn.
    s->on_pass_end = [](const tlvx::State& st) { tell_pass(st); };
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
        notice += first_demo_world(storage == 1);
    } catch (const tlvx::tools::ToolError& e) {
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
        if (action == "new") set_state("loading", "Making a new demo world...");
        try {
            if (action == "open") notice = install_world(opened.files);
            else if (action == "new") notice = new_demo_world();
        } catch (const tlvx::tools::ToolError& e) {
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
