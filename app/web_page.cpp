#include "web_page.hpp"

#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/screen_types.hpp"
#include "base/state.hpp"
#include "input/touch_table.hpp"
#include "platform/web/web_platform.hpp"

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
EM_JS(void, tlvx_js_touch_control, (int n, const char* id, int group, const char* label, const char* caption,
                                    const char* what, int repeats, int confirm), {
    tlvxPage.addTouchControl({ n, id: UTF8ToString(id), group: ["pad", "turn", "edit", "toggle", "leave"][group],
                               label: UTF8ToString(label), caption: UTF8ToString(caption), what: UTF8ToString(what),
                               repeats: repeats !== 0, confirm: confirm !== 0 });
});
EM_JS(void, tlvx_js_download, (const char* path, const char* name), {
    tlvxPage.download(UTF8ToString(path), UTF8ToString(name));
});
EM_JS(void, tlvx_js_recording, (int on), { tlvxPage.recording(on !== 0); });
EM_JS(void, tlvx_js_playback, (const char* state), { tlvxPage.playback(UTF8ToString(state)); });
EM_JS(int, tlvx_js_published, (), { return tlvxPage.published ? 1 : 0; });
EM_JS(void, tlvx_js_fetch_world, (), { tlvxPage.fetchWorld(); });
EM_JS(char*, tlvx_js_fetched_world, (), {
    const s = tlvxPage.fetched();
    if (s === null) return 0;
    const n = lengthBytesUTF8(s) + 1;
    const p = _malloc(n);
    stringToUTF8(s, p, n);
    return p;
});
// clang-format on

namespace tlvx::web_page {

namespace {

std::string take_js_string(char* p) {
    std::string s = p ? p : "";
    std::free(p);
    return s;
}

}  // namespace

bool test_mode() { return tlvx_js_test_mode() != 0; }
std::string test_text(const char* field) { return take_js_string(tlvx_js_test_text(field)); }
bool write_test_world(const std::string& dir) { return tlvx_js_test_write_world(dir.c_str()) >= 0; }
int storage() { return tlvx_js_storage(); }

void set_state(const std::string& state, const std::string& message) {
    tlvx_js_set_state(state.c_str(), message.c_str());
}

void tell_pass(const State& s) {
    tlvx_js_pass(static_cast<double>(s.pass), s.VX2, s.VY2, s.D1,
                 (static_cast<double>(s.TIMD) * 24 + s.TIMH) * 60 + s.TIMM);
}

void say(const std::string& message) { tlvx_js_say(message.c_str()); }
void world_changed() { tlvx_js_world_changed(); }
std::string next_world_action() { return take_js_string(tlvx_js_take_world_action()); }
std::string next_action() { return take_js_string(tlvx_js_take_action()); }
void end_for_open() { tlvx_js_end_for_open(); }
void download(const std::string& path, const std::string& name) { tlvx_js_download(path.c_str(), name.c_str()); }
void set_recording(bool on) { tlvx_js_recording(on ? 1 : 0); }
void playback_state(const std::string& state) { tlvx_js_playback(state.c_str()); }

bool published() { return tlvx_js_published() != 0; }
void fetch_world() { tlvx_js_fetch_world(); }
std::optional<std::string> fetched_world() {
    char* answer = tlvx_js_fetched_world();
    if (!answer) return std::nullopt;
    return take_js_string(answer);
}

void present_final(const Screen& screen) {
    std::vector<uint8_t> rgba;
    screen_rgba(screen, rgba);
    tlvx_js_present_final(rgba.data(), static_cast<int>(rgba.size()));
}

void key_row(const std::string& keys, const std::string& what) { tlvx_js_key_row(keys.c_str(), what.c_str()); }
void help_line(const std::string& line) { tlvx_js_help_line(line.c_str()); }

void touch_control(int n, const TouchControl& c) {
    const std::string id(c.id), label(c.label), caption(c.caption), what(c.what);
    tlvx_js_touch_control(n, id.c_str(), static_cast<int>(c.group), label.c_str(), caption.c_str(), what.c_str(),
                          c.repeats ? 1 : 0, c.confirm ? 1 : 0);
}

}  // namespace tlvx::web_page
