#pragma once
// The calls between the browser program and its page (share/web/index.html,
// `tlvxPage`): the only place that speaks to the page's script.
#include <optional>
#include <string>

namespace tlvx {
struct State;
struct Screen;
struct TouchControl;
}  // namespace tlvx

namespace tlvx::web_page {

// The page's test (window.tlvxTest): whether there is one, one of its fields
// as text ("" when missing), and its world written into `dir` (false when
// that failed).
bool test_mode();
std::string test_text(const char* field);
bool write_test_world(const std::string& dir);

// The storage: 0 kept, 1 refused by the browser (the game plays in memory),
// 2 held by another tab.
int storage();

// The program's state ("running", "ended", "error", "locked", "loading") and its message.
void set_state(const std::string& state, const std::string& message);
// What the page learns at every pass end: the pass, where the character
// stands and faces, the game clock in minutes.
void tell_pass(const State& s);
// A message for the player that leaves the state as it is.
void say(const std::string& message);
// The files of the world changed: the page starts copying the changed files
// into its storage now rather than at its next turn.
void world_changed();

// The world action the player asked for ("download", "open" or none: ""),
// and the page's action for after the game ("open", "new" and so on, or "").
std::string next_world_action();
std::string next_action();
// An opened world is ready: the page asks the game to end.
void end_for_open();
// Offers the file at `path` for download as `name`.
void download(const std::string& path, const std::string& name);
// Whether a recording is being made (the page's Record button becomes Stop).
void set_recording(bool on);
// The playback's state in words ("playback, speed 2", "playback held"), or
// "" once it is over.
void playback_state(const std::string& state);

// Whether the site publishes a world of its own (made by `tlvx-tool site`).
bool published();
// Starts the page taking the published world's archive into /incoming;
// fetched_world() is empty until it is done, then "" when the archive is
// there (checked by its names and sizes), or why it was refused.
void fetch_world();
std::optional<std::string> fetched_world();

// The screen as the game left it, shown on the page's canvas.
void present_final(const Screen& screen);

// A row of the page's key table and a line of its key help.
void key_row(const std::string& keys, const std::string& what);
void help_line(const std::string& line);
// An on-screen control for a touch screen: its number (what the page hands
// back to tlvx_touch_key), then the fields of its row of input/touch_table.hpp.
void touch_control(int n, const TouchControl& control);

}  // namespace tlvx::web_page
