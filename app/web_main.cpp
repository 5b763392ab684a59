// tlvx in a browser page: the game over the page's canvas and keys, the
// player's world kept in the browser's storage at /world. With a test set up
// by the page (window.tlvxTest), it instead plays a given world with scripted
// keys and a simulated clock, as `tlvx-tool run` does, so that a test can
// compare the two pass for pass. The page (share/web/index.html) mounts the
// storage, takes the one-tab lock and provides the `tlvxPage` calls below.
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/printable.hpp"
#include "base/state.hpp"
#include "data/world_files.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/headless/key_script.hpp"
#include "platform/rhythm/key_help.hpp"
#include "platform/web/web_platform.hpp"
#include "shell/game.hpp"
#include "world/demo_world.hpp"
#include "world/open_world.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

// clang-format off
EM_JS(int, tlvx_js_test_mode, (), { return tlvxPage.test ? 1 : 0; });
EM_JS(char*, tlvx_js_test_text, (const char* field), {
    const v = tlvxPage.test[UTF8ToString(field)];
    const s = v === undefined ? "" : String(v);
    const n = lengthBytesUTF8(s) + 1;
    const p = _malloc(n);
    stringToUTF8(s, p, n);
    return p;
});
EM_JS(int, tlvx_js_test_write_world, (const char* dir), { return tlvxPage.writeTestWorld(UTF8ToString(dir)); });
EM_JS(int, tlvx_js_storage, (), { return tlvxPage.storage; });
EM_JS(void, tlvx_js_set_state, (const char* state, const char* message), {
    tlvxPage.setState(UTF8ToString(state), UTF8ToString(message));
});
EM_JS(void, tlvx_js_pass, (double pass, int x, int y, int facing, double clock), {
    tlvxPage.pass(pass, x, y, facing, clock);
});
EM_JS(void, tlvx_js_say, (const char* message), { tlvxPage.say(UTF8ToString(message)); });
EM_JS(char*, tlvx_js_take_world_action, (), {
    const s = tlvxPage.takeWorldAction();
    const n = lengthBytesUTF8(s) + 1;
    const p = _malloc(n);
    stringToUTF8(s, p, n);
    return p;
});
EM_JS(void, tlvx_js_end_for_open, (), { tlvxPage.endForOpen(); });
EM_JS(void, tlvx_js_help_line, (const char* line), { tlvxPage.addHelpLine(UTF8ToString(line)); });
EM_JS(void, tlvx_js_world_changed, (), { tlvxPage.worldChanged(); });
EM_JS(char*, tlvx_js_take_action, (), {
    const s = tlvxPage.takeAction();
    const n = lengthBytesUTF8(s) + 1;
    const p = _malloc(n);
    stringToUTF8(s, p, n);
    return p;
});
EM_JS(void, tlvx_js_present_final, (const uint8_t* rgba, int bytes), {
    tlvxPage.present(HEAPU8.slice(rgba, rgba + bytes));
});
EM_JS(void, tlvx_js_key_row, (const char* keys, const char* what), {
    tlvxPage.addKeyRow(UTF8ToString(keys), UTF8ToString(what));
});
EM_JS(void, tlvx_js_download, (const char* path), { tlvxPage.download(UTF8ToString(path)); });
// clang-format on

namespace {

using tlvx::tools::WorldFile;

constexpr const char* kWorldDir = "/world";
constexpr const char* kIncomingDir = "/incoming";
constexpr const char* kCheckDir = "/incoming-check";
constexpr const char* kArchivePath = "/tlvx-world.tar";

std::string take_js_string(char* p) {
    std::string s = p ? p : "";
    std::free(p);
    return s;
}

void set_state(const std::string& state, const std::string& message) {
    tlvx_js_set_state(state.c_str(), message.c_str());
}

// What the page learns at every pass end: the pass, where the character
// stands and faces, the game clock in minutes.
void tell_pass(const tlvx::State& st) {
    tlvx_js_pass(static_cast<double>(st.pass), st.VX2, st.VY2, st.D1,
                 (static_cast<double>(st.TIMD) * 24 + st.TIMH) * 60 + st.TIMM);
}

// The headless platform, giving the browser its turn now and then so that the
// page stays alive during a long scripted run; the game sees no difference.
class YieldingPlatform : public tlvx::HeadlessPlatform {
public:
    using HeadlessPlatform::HeadlessPlatform;
    void begin_pass(int64_t pass) override {
        HeadlessPlatform::begin_pass(pass);
        if (pass % 500 == 0) emscripten_sleep(0);
    }
};

void show_final_screen(const tlvx::Screen& screen) {
    std::vector<uint8_t> rgba;
    tlvx::screen_rgba(screen, rgba);
    tlvx_js_present_final(rgba.data(), static_cast<int>(rgba.size()));
}

// Plays the page's test world with its key script and clock, as the headless
// runner does; the page reads the picture and the files afterwards.
int run_test() {
    const std::string dir = "/test";
    ::mkdir(dir.c_str(), 0755);
    if (tlvx_js_test_write_world(dir.c_str()) < 0) {
        set_state("error", "the test's world could not be written");
        return 2;
    }
    double start = 1000, step = 0.01;
    const std::string clock = take_js_string(tlvx_js_test_text("clock"));
    if (!clock.empty() && !tlvx::parse_clock(clock, start, step)) {
        set_state("error", "the test's clock must be START:STEP, e.g. 1000:0.01");
        return 2;
    }
    std::vector<tlvx::ScriptedKey> script;
    try {
        script = tlvx::parse_key_script(take_js_string(tlvx_js_test_text("keys")));
    } catch (const std::exception& e) {
        set_state("error", e.what());
        return 2;
    }
    const std::string passes_text = take_js_string(tlvx_js_test_text("passes"));
    const int64_t passes = passes_text.empty() ? INT64_MAX : std::strtoll(passes_text.c_str(), nullptr, 10);
    YieldingPlatform platform(std::move(script), start, step);
    auto s = std::make_unique<tlvx::State>();
    s->data_dir = dir;
    s->platform = &platform;
    s->on_pass_end = [](const tlvx::State& st) { tell_pass(st); };
    std::string state = "ended", message;
    int code = 0;
    try {
        tlvx::startup(*s);
        tlvx::run_loop(*s, passes);
    } catch (const tlvx::WorldRefused& e) {
        state = "error";
        message = e.what();
        code = 1;
    } catch (const tlvx::RuntimeError& e) {
        state = "error";
        message = tlvx::error_report(e);
        code = e.number();
    } catch (const tlvx::StopRun&) {}
    show_final_screen(s->screen);
    set_state(state, message);
    return code;
}

void write_files(const std::string& dir, const std::vector<WorldFile>& files) {
    ::mkdir(dir.c_str(), 0755);
    for (const WorldFile& f : files) tlvx::tools::write_file_bytes(tlvx::tools::join_path(dir, f.name), f.bytes);
}

// The world the page put into /incoming (one archive, or the files of a world
// folder), checked as `tlvx-tool info` checks; the files of the world when
// nothing is wrong with it, a ToolError (and the player's world untouched)
// otherwise.
std::vector<WorldFile> check_incoming_world() {
    std::vector<WorldFile> given = tlvx::tools::read_world_folder(kIncomingDir);
    tlvx::tools::clear_folder(kIncomingDir);
    return tlvx::tools::open_world(std::move(given), kCheckDir);
}

// The checked world replaces the player's. Returns the message for the page.
std::string install_world(const std::vector<WorldFile>& files) {
    // Nothing of the old world stays, hidden files included; no game runs
    // now, so nothing holds the lock file.
    tlvx::tools::clear_folder(kWorldDir);
    write_files(kWorldDir, files);
    return "The world you opened is now yours to play.";
}

void write_archive() {
    const std::string bytes = tlvx::tools::write_world_archive(tlvx::tools::read_world_folder(kWorldDir));
    tlvx::tools::write_file_bytes(kArchivePath, bytes);
    tlvx_js_download(kArchivePath);
    ::unlink(kArchivePath);
}

// An opened world that passed its check, waiting for the game to end.
struct OpenedWorld {
    bool ready = false;
    std::vector<WorldFile> files;
};

// The page's Download and Open, taken between passes (or while no game
// runs, `s` null): they leave the game exactly as it is. Download archives
// the files as they are: the cells are written at every edit, and the save
// file is brought up to this moment first (a quit would write the same). An
// Open is checked here; one refused is said and changes nothing, one accepted
// asks the game to end, and the main then puts the world in place.
void take_world_action(const tlvx::State* s, OpenedWorld& opened) {
    const std::string action = take_js_string(tlvx_js_take_world_action());
    if (action.empty() || opened.ready) return;
    try {
        if (action == "download") {
            if (s) tlvx::write_save_record(*s, tlvx::save_record_of(*s), tlvx::SaveSync::PageCache);
            write_archive();
        } else if (action == "open") {
            opened.files = check_incoming_world();
            opened.ready = true;
            tlvx_js_end_for_open();
        }
    } catch (const tlvx::tools::ToolError& e) {
        tlvx_js_say((action == "open" ? std::string("This world was not opened; yours is unchanged: ") + e.what()
                                      : std::string(e.what()))
                        .c_str());
    } catch (const tlvx::RuntimeError& e) {
        tlvx_js_say(("The world could not be saved for the download: " + tlvx::describe(e)).c_str());
    }
}

// Plays the player's world until the game ends; returns "" or the runtime
// error report.
std::string play(tlvx::WebPlatform& platform, OpenedWorld& opened) {
    auto s = std::make_unique<tlvx::State>();
    platform.between_passes = [&s, &opened]() { take_world_action(s.get(), opened); };
    s->data_dir = kWorldDir;
    s->platform = &platform;
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
        tlvx_js_world_changed();
    };
    std::string report;
    try {
        tlvx::startup(*s);
        tlvx::run_loop(*s, INT64_MAX);
    } catch (const tlvx::WorldRefused& e) {
        report = e.what();
    } catch (const tlvx::RuntimeError& e) {
        report = tlvx::error_report(e);
    } catch (const std::bad_alloc&) {
        report = tlvx::error_report(tlvx::RuntimeError(tlvx::ERR_OUT_OF_MEMORY, "while allocating memory"));
    }
    platform.between_passes = nullptr;
    platform.close_screen();
    tlvx_js_world_changed();
    return report;
}

std::string wait_for_action(OpenedWorld& opened) {
    for (;;) {
        take_world_action(nullptr, opened);
        std::string action = take_js_string(tlvx_js_take_action());
        if (!action.empty()) return action;
        emscripten_sleep(100);
    }
}

std::string new_demo_world() {
    ::mkdir(kWorldDir, 0755);
    // mended: everything goes, hidden files too (a hidden file once taken
    // from an archive would otherwise stay in the site's storage for ever).
    tlvx::tools::clear_folder(kWorldDir);
    tlvx::tools::write_demo_world(kWorldDir, true);
    tlvx_js_world_changed();
    return "A new demo world was made; your old world is gone.";
}

// The page's key table and its key help (F1, the Keys button), from the one
// table of keys: the game's keys, then the page's own in place of the
// window's (the browser keeps F11, F12 and Ctrl with + and -).
void show_key_table() {
    for (const tlvx::KeyHelpRow& row : tlvx::key_help_rows()) {
        if (!row.window) tlvx_js_key_row(std::string(row.keys).c_str(), std::string(row.what).c_str());
        else if (row.keys == "F1") tlvx_js_key_row("F1, the Keys button", std::string(row.what).c_str());
    }
    tlvx_js_key_row("Alt+Shift+Up, Alt+Shift+Down",
                    "faster, slower (as the Faster and Slower buttons); the speed shows below the picture. Ctrl with "
                    "+ and - is the browser's zoom");
    tlvx_js_key_row("Alt+Enter", "fullscreen on/off (as the Fullscreen button)");
    tlvx_js_key_row("F11, F12",
                    "the browser's own: the 4:3 picture button stands for F11; the page takes no screenshots");
    // The help over the picture: the window's lines of the game's keys (up
    // to the blank line before the window's own), then the page's keys.
    const std::vector<std::string> lines = tlvx::key_help_screen_lines();
    for (size_t i = 0; i < lines.size() && !(i > 1 && lines[i].empty()); ++i) tlvx_js_help_line(lines[i].c_str());
    tlvx_js_help_line("");
    const auto page_line = [](std::string keys, const char* what) {
        keys.resize(std::max<size_t>(keys.size(), tlvx::kScreenKeysWidth), ' ');
        tlvx_js_help_line((keys + " " + what).c_str());
    };
    page_line("F1, Keys", "this help on/off");
    page_line("Alt+Enter", "fullscreen on/off");
    page_line("Alt+Shift", "+Up faster, +Down slower");
}

int run_player() {
    show_key_table();
    const int storage = tlvx_js_storage();
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
        if (!tlvx::tools::path_exists(std::string(kWorldDir) + "/" + tlvx::tools::kSaveFileName)) {
            ::mkdir(kWorldDir, 0755);
            tlvx::tools::write_demo_world(kWorldDir, true);
            tlvx_js_world_changed();
            notice += storage == 1 ? "Made the demo world to play."
                                   : "Made the demo world in your browser; your game is kept there from now on.";
        }
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
        std::string action = take_js_string(tlvx_js_take_action());
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
        tlvx_js_world_changed();
    }
}

}  // namespace

// The page asks this of the files a player offers before it copies them
// (`offer`: one "SIZE NAME" line a file; `dir`: the small files the names
// depend on, see offered_world_problem). It runs while the game sleeps
// between passes and never sleeps itself. Returns a message for the page, ""
// when the files may be copied and checked whole; the page frees it.
extern "C" EMSCRIPTEN_KEEPALIVE char* tlvx_offered_world_problem(const char* offer, const char* dir) {
    std::vector<tlvx::tools::OfferedFile> files;
    const std::string text = offer;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const size_t blank = line.find(' ');
        if (blank != std::string::npos)
            files.push_back({line.substr(blank + 1), std::strtoll(line.c_str(), nullptr, 10)});
        at = end + 1;
    }
    std::string problem;
    try {
        problem = tlvx::tools::offered_world_problem(files, dir);
    } catch (const tlvx::tools::ToolError& e) {
        problem = e.what();
    } catch (const tlvx::RuntimeError& e) {
        problem = tlvx::describe(e);
    }
    if (!problem.empty()) problem = tlvx::printable(problem);
    char* out = static_cast<char*>(std::malloc(problem.size() + 1));
    if (out) std::memcpy(out, problem.c_str(), problem.size() + 1);
    return out;
}

int main() {
    // The browser's file system starts with a mask that takes every
    // permission away; files are made as on a desktop instead.
    ::umask(022);
    return tlvx_js_test_mode() ? run_test() : run_player();
}
