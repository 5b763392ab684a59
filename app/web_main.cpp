// tlvx in a browser page: the game over the page's canvas and keys, the
// player's world kept in the browser's storage at /world. With a test set up
// by the page (window.tlvxTest), it plays that instead (web_test_mode.hpp).
// The page (share/web/index.html) mounts the storage, takes the one-tab lock
// and answers the calls of web_page.hpp.
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "base/stop_signal.hpp"
#include "input/key_help.hpp"
#include "input/touch_table.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/web/web_platform.hpp"
#include "shell/run_game.hpp"
#include "web_page.hpp"
#include "web_test_mode.hpp"
#include "web_world_actions.hpp"
#include "world/paths.hpp"

namespace {

using namespace tlvx::web_page;

// Where the page's recordings are made and the one to watch is put (the
// browser's memory, not the world's storage).
constexpr const char* kRecordingPath = "/tlvx-session.tlvxrec";
constexpr const char* kWatchPath = "/watch.tlvxrec";

// How the next game runs: as it is, recorded (Record), or a recording played
// back (Watch recording).
enum class Session { Plain, Recorded, Playback };

// A playback in the page: the page's picture and steering keys, and the
// browser's turn while it waits for the recording's pace.
class PagePlayback : public tlvx::PlaybackPlatform {
public:
    PagePlayback(tlvx::RecordingReader& reader, tlvx::WebPlatform& page)
        : PlaybackPlatform(reader, page), page_(page) {}
    void begin_pass(int64_t pass) override {
        // Unpaced, the page shows the last picture and gives the browser its
        // turn about 60 times a second; the recording's pace comes after.
        page_.begin_pass(pass);
        PlaybackPlatform::begin_pass(pass);
    }

protected:
    void wait(double seconds) override { page_.idle(seconds); }

private:
    tlvx::WebPlatform& page_;
};

// Runs the game on `platform` over `dir` with the page told of every pass;
// with `show_end` the canvas shows the game's last screen when it has ended.
tlvx::GameResult run(tlvx::WebPlatform& page, tlvx::Platform& platform, const std::string& dir, OpenedWorld& opened,
                     bool own_world, bool show_end, int64_t passes = INT64_MAX) {
    auto s = std::make_unique<tlvx::State>();
    // Download and Open take the game's state only when it plays the player's
    // world (a playback's game plays a copy).
    page.between_passes = [&s, &opened, own_world]() { take_world_action(own_world ? s.get() : nullptr, opened); };
    // The game keeps its save file up to date while it plays (every step,
    // and the rest once a second, shell/game.cpp), so that a page the browser
    // ends keeps the character where it stood; the page copies every file
    // the game changes into the browser's storage as soon as the pass gives
    // it its turn.
    s->on_pass_end = [](const tlvx::State& st) { tell_pass(st); };
    tlvx::GameResult r = tlvx::run_game(*s, platform, dir, passes);
    page.between_passes = nullptr;
    page.close_screen();
    if (show_end) present_final(s->screen);
    world_changed();
    return r;
}

// Plays the player's world, recorded when asked, until the game ends; a
// finished recording is offered for download. Returns "" or the runtime
// error report.
std::string play(tlvx::WebPlatform& page, OpenedWorld& opened, bool recorded) {
    if (!recorded) return run(page, page, kWorldDir, opened, true, false).text;
    ::unlink(kRecordingPath);
    std::unique_ptr<tlvx::RecordingWriter> writer;
    try {
        writer = tlvx::start_recording(kRecordingPath, kWorldDir);
    } catch (const tlvx::RecordingError& e) {
        say(std::string("The recording could not start: ") + e.what());
        return run(page, page, kWorldDir, opened, true, false).text;
    }
    tlvx::RecordingPlatform recorder(page, *writer, "tlvx");
    set_recording(true);
    const tlvx::GameResult r = run(page, recorder, kWorldDir, opened, true, true);
    set_recording(false);
    try {
        writer->finish(r.status);
    } catch (const tlvx::RecordingError&) {
        // failure() says why.
    }
    if (!writer->failure().empty())
        say("The recording stopped early (" + writer->failure() + "); what it holds downloads.");
    writer.reset();
    download(kRecordingPath, "tlvx-session.tlvxrec");
    ::unlink(kRecordingPath);
    return r.text;
}

// Plays back the recording the page put at kWatchPath on a copy of its
// world; the player's world stays as it is. Returns the message for the page.
std::string watch(tlvx::WebPlatform& page, OpenedWorld& opened) {
    std::string message;
    try {
        tlvx::PreparedPlayback prepared(kWatchPath, kWorldDir, false);
        ::unlink(kWatchPath);
        PagePlayback playback(prepared.reader(), page);
        playback.on_state = [](const std::string& state) { playback_state(state); };
        const double speed = page.speed();
        page.set_speed(0);
        set_state("running", prepared.damage().empty()
                                 ? "Watching the recording: Space holds it, + and - change its speed, Escape ends it."
                                 : "Watching the recording up to where it is damaged: " + prepared.damage());
        const std::string report = run(page, playback, prepared.dir(), opened, false, true, prepared.passes()).text;
        page.set_speed(speed);
        playback_state("");
        message = report.empty() ? "The recording is over; your world is as it was." : report;
    } catch (const tlvx::RecordingError& e) {
        message = std::string("This recording cannot be played: ") + e.what();
    } catch (const tlvx::StopRequested&) {
        message = "The recording was not played.";
    }
    ::unlink(kWatchPath);
    return message;
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
    Session session = Session::Plain;
    for (;;) {
        set_state("running", notice);
        notice.clear();
        OpenedWorld opened;
        std::string report, action;
        if (session == Session::Playback) {
            notice = watch(platform, opened);
            action = next_action();
            if (action.empty()) {
                set_state("ended", notice);
                notice.clear();
                action = wait_for_action(opened);
            }
        } else {
            report = play(platform, opened, session == Session::Recorded);
            action = next_action();
            if (!report.empty()) {
                set_state("error", report);
                action = wait_for_action(opened);
            } else if (action.empty() || action == "stop") {
                set_state("ended", action == "stop" ? "Your world is saved, and the recording downloads as "
                                                      "tlvx-session.tlvxrec."
                                                    : "Your world is saved.");
                action = wait_for_action(opened);
            }
        }
        session = action == "record" ? Session::Recorded : action == "watch" ? Session::Playback : Session::Plain;
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
