#!/bin/sh
# Makes tests/golden/cases/window_session/session.tlvxrec again: the demo world played in the real window under
# a private Xvfb server, driven by xdotool: walking, road-following, editing, a pause and wandering creatures.
# The pauses between its keys are the session's timing, which its golden case replays: they stay as they are.
#   tests/golden/record_window_session.sh BUILD_DIR
# Then rewrite the expected end files on purpose:
#   TLVX_UPDATE_GOLDEN=1 BUILD_DIR/tests/test_golden --gtest_filter='*window_session*'
set -eu
build=$(cd "$1" && pwd) out=$(cd "$(dirname "$0")" && pwd)/cases/window_session/session.tlvxrec work=$(mktemp -d)
trap 'kill $X 2>/dev/null; rm -rf "$work"' EXIT
"$build/app/tlvx-tool" demo "$work/world" >/dev/null
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/xdisplay" 2>/dev/null & X=$!
for i in $(seq 100); do [ -s "$work/xdisplay" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/xdisplay") SDL_VIDEODRIVER=x11 TLVX_NO_MESSAGE_BOX=1
cd "$work/world" && rm -f "$out"
"$build/app/tlvx" --record "$out" & G=$!
# The window may be made again as its renderer starts: the one found twice in a row is focused.
W0=
for i in $(seq 200); do
    W=$(xdotool search --onlyvisible --name '^tlvx' 2>/dev/null | head -n 1)
    [ -n "$W" ] && [ "$W" = "$W0" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$W" ] && break
    W0=$W; [ -n "$W" ] && xdotool windowfocus "$W" 2>/dev/null || :; sleep 0.05
done
k() { xdotool key "$@"; }
k i; sleep 0.3; k y; sleep 0.2; k y; sleep 0.35; k y; sleep 0.1   # up to the road, status display on
k period; sleep 0.9; k period; sleep 0.2                           # follow the road for a while
k H; sleep 0.1; k plus; sleep 0.25; k bracketright bracketright; sleep 0.15; k asterisk; sleep 0.3
k p; sleep 1.0; k space; sleep 0.2                                 # a pause
sleep 1.5                                                           # creatures wander
k b; sleep 0.3; k g; sleep 0.4; k Escape
wait $G
