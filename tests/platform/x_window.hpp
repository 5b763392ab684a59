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

// Shell lines that start a private Xvfb server (killed on exit) and set
// $DISPLAY once it answers (exit 92 if it never does), then define
// `start_game ARGS...`: starts "$GAME" ARGS, its standard error in $GAME_ERR
// and $G its process, waits for its window ($W) and focuses it. It exits 90 if
// the game ends first and 91 if no window shows within a minute, twice. Under load a fresh
// server sometimes refuses the first client; a game that ended at once saying so is
// started again, at most twice, after $BEFORE_RETRY runs, and one that showed no window
// once, after saying what it and the server were doing. `k` types keys,
// `title`, `geometry` and `dump NAME` note the window's title, size and
// pixels in the folder above. Nothing sleeps a fixed time to let the game
// catch up: the helpers below wait, each for 10 s at most, on what the game
// shows (its title, its size, its pixels, its files).
inline const std::string kXSession = R"sh(
XL=$(mktemp)
X=
# `await 'CONDITION' [SECONDS]` tests the shell condition every 50 ms until it holds, 10 s unless
# given (then it fails); `wait_for 'CONDITION' [SECONDS]` ends the session with status 95, naming
# it, when it never holds.
await() {
    for i in $(seq $((${2:-10} * 20))); do eval "$1" && return 0; sleep 0.05; done
    return 1
}
wait_for() { await "$1" "${2:-10}" || { echo "waited ${2:-10} s in vain for: $1" >&2; exit 95; }; }
up() { kill -0 $X 2>/dev/null && xdotool getdisplaygeometry >/dev/null 2>&1; }
# The server is waited for: one still shutting down could take the next session's display with it.
trap 'kill $X 2>/dev/null; wait $X; rm -f "$XL"' EXIT
# A display number of the session's own, far above those other servers take first (two servers
# starting or ending on the same number took each other's socket); a number in use, or a server
# that stops answering at once under load, gets another try on another number. -noreset: the
# server would otherwise reset whenever its last client leaves, and each check here is one, so
# the next check could find it in the middle of a reset.
for attempt in 1 2 3; do
    [ -n "$X" ] && kill $X 2>/dev/null && wait $X
    export DISPLAY=:$((($$ * 31 + attempt * 257) % 700 + 300))
    Xvfb $DISPLAY -screen 0 1280x1024x24 -nolisten tcp -noreset 2>"$XL" & X=$!
    await 'up || ! kill -0 $X 2>/dev/null' 30
    sleep 0.2
    up && break
done
# What the server said and whether it still runs, for a failure seen only in CI.
up || {
    state=ended; kill -0 $X 2>/dev/null && state=running
    echo "Xvfb does not answer on $DISPLAY ($state):" $(xdotool getdisplaygeometry 2>&1 | tail -n 2) / $(tail -n 5 "$XL") >&2
    exit 92
}
start_game() {
    for try in 1 2 3; do
        "$GAME" "$@" 2>"$GAME_ERR" & G=$!
        await 'W=$(xdotool search --onlyvisible --name "^tlvx" 2>/dev/null | head -n 1)
            [ -n "$W" ] || ! kill -0 $G 2>/dev/null' 60
        [ -n "$W" ] && break
        if kill -0 $G 2>/dev/null; then
            # No window within a minute (seen only on loaded new machines): what the game and the
            # server show goes to the test's output, and the game is started once more.
            { echo "no game window within a minute (try $try):" $(grep State /proc/$G/status) \
                "wchan $(cat /proc/$G/wchan 2>/dev/null)"; xwininfo -root -tree 2>&1 | grep -i tlvx
              cat "$GAME_ERR"; } >&2
            kill -9 $G; wait $G
            [ $try -lt 2 ] || exit 91
            eval "$BEFORE_RETRY"
            continue
        fi
        wait $G; grep -q "no display found" "$GAME_ERR" && [ $try -lt 3 ] || exit 90
        eval "$BEFORE_RETRY"; sleep 1
    done
    # The window may be made again as its renderer starts: the one found twice in a row is focused.
    W0=
    wait_for 'W=$(xdotool search --onlyvisible --name "^tlvx" 2>/dev/null | head -n 1)
        [ -n "$W" ] && [ "$W" = "$W0" ] && focused || { W0=$W; xdotool windowfocus $W 2>/dev/null; false; }'
}
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$W" ]; }
k() { xdotool key "$@"; }
title() { xdotool getwindowname $W >>../titles; }
size() { xdotool getwindowgeometry $W | awk '/Geometry/ { print $2 }'; }
geometry() { size >>../geometry; }
dump() { xwd -silent -id $W >../$1.xwd; }
# `title_when TEXT`, `title_is TEXT`, `geometry_is WxH`: note the title or the size once it holds
# TEXT, is TEXT or is WxH (or as it is after 10 s, for the test to see).
title_when() { T=$1; await 'xdotool getwindowname $W 2>/dev/null | grep -qF -- "$T"'; title; }
title_is() { T=$1; await '[ "$(xdotool getwindowname $W 2>/dev/null)" = "$T" ]'; title; }
geometry_is() { T=$1; await '[ "$(size)" = "$T" ]'; geometry; }
# `dump_when NAME 'CONDITION'` dumps the window until CONDITION holds for the dump, where `lit X Y`
# and `dark X Y` test a pixel of it; `steady NAME` dumps it until six dumps in a row (a quarter
# of a second) agree.
dump_when() { D=$1; await "dump $1 && { $2; }"; }
steady() {
    D=$1 S=0
    dump $1
    await 'mv ../$D.xwd ../$D.last && dump $D && { cmp -s ../$D.xwd ../$D.last && S=$((S + 1)) || S=0; } && [ $S -ge 5 ]'
}
word() { od -An -tu1 -j $2 -N 4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }
px() {
    f=../$D.xwd
    o=$(($(word $f 0) + $(word $f 76) * 12 + $2 * $(word $f 48) + $1 * 4))
    od -An -tu1 -j $o -N 4 $f | awk -v msb=$(word $f 28) '{ print msb ? $2 + $3 + $4 : $1 + $2 + $3 }'
}
lit() { v=$(px $1 $2); [ -n "$v" ] && [ "$v" != 0 ]; }
dark() { [ "$(px $1 $2)" = 0 ]; }
# `save_is LINE VALUE [SECONDS]` waits (10 s unless given) for line LINE of the save file to read
# VALUE; exit 93 if it never does.
save_is() { SL=$1 SV=$2; await '[ "$(sed -n "${SL}p" Pndx_001.sav | tr -d " \r")" = "$SV" ]' ${3:-10} || exit 93; }
# `note FILE` remembers the file's bytes; `changed FILE` waits until they differ, then notes them.
note() { cp "$1" "../${1##*/}.noted"; }
changed() { N=$1; wait_for '! cmp -s "$N" "../${N##*/}.noted"'; note "$1"; }
)sh";

// Runs `script` with sh in `folder` (made when missing), the game as $GAME on X (its message
// boxes off), its standard error in `dir`/err; the exit status, -1 when killed.
inline int run_sh(const TempDir& dir, const std::string& folder, const std::string& script) {
    std::filesystem::create_directories(folder);
    write_file(dir.file("run.sh"),
               "cd " + sh_quote(folder) + "\nunset WAYLAND_DISPLAY\nexport SDL_VIDEODRIVER=x11 " +
                   "ASAN_OPTIONS=detect_leaks=0 TLVX_NO_MESSAGE_BOX=1 GAME_ERR=" + sh_quote(dir.file("err")) +
                   " GAME=" + sh_quote(TLVX_GAME) + " TOOL=" + sh_quote(TLVX_TOOL) + "\n" + script);
    return shell_status("timeout -k 5 200 sh " + sh_quote(dir.file("run.sh")));
}

// Line `n` (from 1) of the save file of the world `world` as a number.
inline int save_field(const std::string& world, int n) {
    const std::string text = read_file(world + "/" + kSaveFileName);
    size_t at = 0;
    for (int i = 1; i < n; ++i) at = text.find('\n', at) + 1;
    return std::atoi(text.c_str() + at);
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
    int save_field(int n) const { return test::save_field(world, n); }
    TempDir dir;
    const std::string world = dir.file("world");
};

}  // namespace tlvx::test
#endif
