#pragma once
// The game in a real window: a shell script starts a private Xvfb server and
// the game, drives it with xdotool and dumps its window with xwd.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/tools_helpers.hpp"

#ifdef TLVX_GAME
namespace tlvx::test {

inline std::string sh_quote(const std::string& s) { return "'" + s + "'"; }

// Shell lines that start a private Xvfb server (killed on exit) and set
// $DISPLAY once it answers (exit 92 if it never does), then define
// `start_game ARGS...`: starts "$GAME" ARGS, its standard error in $GAME_ERR
// and $G its process, waits for its window ($W) and focuses it. It exits 90 if
// the game ends first and 91 if no window shows. Under load a fresh server
// sometimes refuses the first client; a game that ended at once saying so is
// started again, at most twice, after $BEFORE_RETRY runs. `k` types keys,
// `title`, `geometry` and `dump NAME` note the window's title, size and
// pixels in the folder above; `title_when TEXT` waits for a title first.
inline const std::string kXSession = R"(
XD=$(mktemp)
XL=$(mktemp)
X=
trap 'kill $X 2>/dev/null; rm -f "$XD" "$XL"' EXIT
# Under load a new Xvfb now and then stops answering at once; a second one is
# started before the session gives up.
for attempt in 1 2 3; do
    [ -n "$X" ] && kill $X 2>/dev/null
    : >"$XD"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$XD" 2>"$XL" & X=$!
    for i in $(seq 300); do [ -s "$XD" ] && break; sleep 0.1; done
    [ -s "$XD" ] || { echo "Xvfb did not start" >&2; exit 92; }
    export DISPLAY=:$(cat "$XD")
    for i in $(seq 300); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 0.2
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
done
# What the server said and whether it still runs, for a failure seen only in CI.
xdotool getdisplaygeometry >/dev/null 2>&1 || {
    state=ended; kill -0 $X 2>/dev/null && state=running
    echo "Xvfb does not answer on $DISPLAY ($state):" $(xdotool getdisplaygeometry 2>&1 | tail -n 2) / $(tail -n 5 "$XL") >&2
    exit 92
}
start_game() {
    for try in 1 2 3; do
        "$GAME" "$@" 2>"$GAME_ERR" & G=$!
        W=
        for i in $(seq 200); do
            W=$(xdotool search --onlyvisible --name '^tlvx' 2>/dev/null | head -n 1)
            [ -n "$W" ] && break
            kill -0 $G 2>/dev/null || break
            sleep 0.1
        done
        [ -n "$W" ] && break
        kill -0 $G 2>/dev/null && exit 91
        wait $G; grep -q "no display found" "$GAME_ERR" && [ $try -lt 3 ] || exit 90
        eval "$BEFORE_RETRY"; sleep 1
    done
    xdotool windowfocus $W; sleep 0.3
}
k() { xdotool key "$@"; }
title() { xdotool getwindowname $W >>../titles; }
# `title_when TEXT`: waits (10 s at most) until the title holds TEXT, then notes it.
title_when() {
    for i in $(seq 100); do xdotool getwindowname $W 2>/dev/null | grep -qF -- "$1" && break; sleep 0.1; done
    title
}
geometry() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }' >>../geometry; }
dump() { xwd -silent -id $W >../$1.xwd; }
)";

// Runs `script` with sh in `folder` (made when missing), the game as $GAME on X (its message
// boxes off), its standard error in `dir`/err; the exit status, -1 when killed.
inline int run_sh(const TempDir& dir, const std::string& folder, const std::string& script) {
    std::filesystem::create_directories(folder);
    write_file(dir.file("run.sh"),
               "cd " + sh_quote(folder) + "\nunset WAYLAND_DISPLAY\nexport SDL_VIDEODRIVER=x11 " +
                   "ASAN_OPTIONS=detect_leaks=0 TLVX_NO_MESSAGE_BOX=1 GAME_ERR=" + sh_quote(dir.file("err")) +
                   " GAME=" + sh_quote(TLVX_GAME) + " TOOL=" + sh_quote(TLVX_TOOL) + "\n" + script);
    const int st = std::system(("timeout -k 5 120 sh " + sh_quote(dir.file("run.sh"))).c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A window dump by `xwd -id` on a 24-bit screen, as 0xRRGGBB a pixel; 0 x 0 when unreadable.
struct Dump {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    explicit Dump(const std::string& file) {
        const std::string b = read_file(file);
        auto word = [&](size_t o, bool le) {
            uint32_t v = 0;
            for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[o + i])} << (le ? 8 * i : 8 * (3 - i));
            return v;
        };
        auto field = [&](int i) { return word(static_cast<size_t>(i) * 4, false); };
        if (b.size() < 100 || field(11) != 32) return;
        const size_t line = field(12), offset = field(0) + field(19) * 12;
        const int dw = static_cast<int>(field(4)), dh = static_cast<int>(field(5));
        if (b.size() < offset + line * static_cast<size_t>(dh)) return;
        for (size_t y = 0; y < size_t(dh); ++y)
            for (size_t x = 0; x < size_t(dw); ++x)
                px.push_back(word(offset + y * line + x * 4, field(7) == 0) & 0xFFFFFF);
        w = dw, h = dh;
    }
    int size() const { return w * 10000 + h; }
    uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

// Pixels that differ between two pictures of the same size; -1 when the sizes differ.
inline long differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    long n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

// The screenshots (F12) in `dir`.
inline std::vector<std::string> screenshots(const std::string& dir) {
    std::vector<std::string> shots;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind("tlvx-shot-", 0) == 0) shots.push_back(e.path().string());
    return shots;
}

// A session in the window on the world folder `world` of `dir`; skipped without Xvfb.
class XWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("which Xvfb xdotool xwd >/dev/null") != 0) GTEST_SKIP() << "needs Xvfb, xdotool and xwd";
    }
    int session(const std::string& script) { return run_sh(dir, world, kXSession + script); }
    std::string file(const std::string& name) const { return read_file(dir.file(name)); }
    // Line `n` (from 1) of the world's save file as a number.
    int save_field(int n) const {
        const std::string text = read_file(world + "/" + kSaveFileName);
        size_t at = 0;
        for (int i = 1; i < n; ++i) at = text.find('\n', at) + 1;
        return std::atoi(text.c_str() + at);
    }
    TempDir dir;
    const std::string world = dir.file("world");
};

}  // namespace tlvx::test
#endif
