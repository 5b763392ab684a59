#!/usr/bin/env bash
# Checks of the installed tree, each CASE in a staging folder of its own: files (the file list, modes, icon
# sizes), clone (the README's install line after play.sh's build of a clean clone), world (the installed
# tlvx-tool writes and runs a world; the player's world is created once, then reused), manuals (every option
# in each --help is in the manual page and the other way round, the game's also in the README's option table),
# desktop and metainfo (the validators accept them).
# Usage: install_check.sh CASE BUILD_DIR BINDIR APP_ID HAS_GAME HAS_NOT_BUGS ICON_SIZES...
set -euo pipefail
case_name=$1 build=$2 bindir=$3 app_id=$4 has_game=$5 has_not_bugs=$6
shift 6
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
if [ "$case_name" = clone ]; then
  # The README's install line after play.sh's build on a clean clone of the committed state (HEAD): an install
  # must find every file it copies in what play.sh built. Into a staging folder through DESTDIR.
  src=$(cd "$(dirname "$0")/../.." && pwd)
  head=$(git -C "$src" rev-parse --verify -q HEAD) || { echo "skipped: $src is not a git checkout"; exit 77; }
  git clone -q --no-checkout "$src" "$stage/tlvx" && git -C "$stage/tlvx" checkout -q "$head" || fail "git clone"
  cd "$stage/tlvx"
  line=$(grep -oE '`cmake --install build[^`]*`' README.md | tr -d '`')
  [ "$(echo "$line" | wc -l)" = 1 ] && [ -n "$line" ] || fail "the README names no single install line: $line"
  grep -qF '`bash scripts/play.sh --build-only`' README.md || fail "the README names no play.sh --build-only"
  if command -v ccache >/dev/null; then  # play.sh's configure takes the launcher from the environment
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$stage/tlvx" CCACHE_NOHASHDIR=1
  fi
  start=$(date +%s)
  bash scripts/play.sh --build-only >"$stage/build.log" 2>&1 || { tail -n 30 "$stage/build.log"; fail "play.sh --build-only"; }
  echo "play.sh --build-only took $(($(date +%s) - start)) s"
  (export DESTDIR="$stage/root" && eval "$line") >"$stage/install.log" 2>&1 || { cat "$stage/install.log"; fail "$line"; }
  prefix=$(echo "$line" | sed -nE 's/.*--prefix ([^ ]+).*/\1/p')
  files=(games/tlvx games/tlvx-tool share/man/man6/tlvx.6.gz share/man/man6/tlvx-tool.6.gz share/doc/tlvx/changelog.gz)
  for n in "$@"; do files+=("share/icons/hicolor/${n}x${n}/apps/tlvx.png"); done
  for f in "${files[@]}"; do
    [ -s "$stage/root$prefix/$f" ] || fail "$line installed no $prefix/$f"
  done
  echo "ok clone"; exit 0
fi
DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >"$stage/install.log" 2>&1 ||
  { cat "$stage/install.log"; fail "cmake --install"; }
prefix="$stage/root/usr" tool="$stage/root/usr/$bindir/tlvx-tool" game="$stage/root/usr/$bindir/tlvx"
case "$case_name" in
files)
  expected=("$bindir/tlvx-tool" share/man/man6/tlvx.6.gz share/man/man6/tlvx-tool.6.gz
            "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml"
            share/doc/tlvx/README.md share/doc/tlvx/copyright share/doc/tlvx/changelog.gz)
  [ "$has_game" = 1 ] && expected+=("$bindir/tlvx")
  [ "$has_not_bugs" = 1 ] && expected+=(share/doc/tlvx/NOT-BUGS.md)
  for d in "$(dirname "$0")"/../../docs/*; do expected+=("share/doc/tlvx/docs/$(basename "$d")"); done
  for n in "$@"; do expected+=("share/icons/hicolor/${n}x${n}/apps/tlvx.png"); done
  diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f -printf '%P\n' | sort) ||
    fail "installed files differ from the expected list (< expected, > installed)"
  for n in "$@"; do  # a PNG's width and height: 4-byte big-endian numbers at bytes 16 and 20
    png="$prefix/share/icons/hicolor/${n}x${n}/apps/tlvx.png"
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print ($1*16777216+$2*65536+$3*256+$4) "x" ($5*16777216+$6*65536+$7*256+$8)}')
    [ "$size" = "${n}x${n}" ] || fail "$png is $size, not ${n}x${n}"
  done ;;
world)
  cd "$stage"
  out=$("$tool" demo "$stage/valley")
  echo "$out" | grep -q "Wrote the demo world" || fail "demo said: $out"
  # The game is not on PATH here: the hint names it by its full path.
  [ "$has_game" != 1 ] || echo "$out" | grep -qF "cd $stage/valley && $game" || fail "demo's hint lacks the game: $out"
  "$tool" info "$stage/valley" >/dev/null || fail "info finds problems in the demo world"
  printf '3 y\n5 +\n8 esc\n' >"$stage/keys"
  "$tool" run --data "$stage/valley" --keys "$stage/keys" --screenshot "$stage/shot.png" || fail "run"
  [ -s "$stage/shot.png" ] || fail "run wrote no screenshot"
  export XDG_DATA_HOME="$stage/xdg"
  first=$("$tool" run --world --keys "$stage/keys")
  [ "$first" = "Created the demo world in $XDG_DATA_HOME/tlvx/world; your game is kept there from now on." ] ||
    fail "first start said: $first"
  save="$XDG_DATA_HOME/tlvx/world/Pndx_001.sav" before=$(cat "$XDG_DATA_HOME/tlvx/world/Pndx_001.sav")
  second=$("$tool" run --world --keys "$stage/keys")
  [ -z "$second" ] || fail "second start said: $second"
  # The character walked up in both runs: the second went on from where the first saved.
  [ -n "$(cat "$save")" ] && [ "$(cat "$save")" != "$before" ] || fail "the second start did not reuse the world" ;;
manuals)
  # Option names of a CLI11 help text (the first column of the option lines); a manual page as plain text;
  # the options named between the line ".S[SH] NAME" ($2) and the next section. --help aside.
  help_options() { sed -nE 's/^ +(-[^ ]*).*/\1/p' | tr ',' '\n' | grep -E '^--' | grep -vx -- --help | sort -u; }
  plain() { gzip -dc "$1" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g'; }
  section_options() {
    awk -v h="$2" '/^\.S[SH] /{on = ($0 == h)} on' | grep -oE -- '--[a-z][a-z0-9-]*' | grep -vx -- --help | sort -u
  }
  compare() { diff <(echo "$2") <(echo "$3") || fail "$1: options in --help (<) and in the manual page (>) differ"; }
  man_tool="$prefix/share/man/man6/tlvx-tool.6.gz"
  commands=$("$tool" --help | sed -n '/^Subcommands:/,$p' | sed -nE 's/^ +([a-z][a-z-]*) .*/\1/p' | sort)
  [ -n "$commands" ] || fail "no commands in tlvx-tool --help"
  diff <(echo "$commands") <(plain "$man_tool" | sed -nE 's/^\.SS ([a-z-]+)$/\1/p' | sort) ||
    fail "commands in --help (<) and in tlvx-tool.6 (>) differ"
  # The refusal of an unknown command lists them too, and the manual's tool list (docs/worlds.md) shows each.
  named=$({ "$tool" no-such-command 2>&1 >/dev/null || true; } | sed -nE 's/.*; the subcommands are //p' |
    tr ',' '\n' | tr -d ' ' | sort)
  diff <(echo "$commands") <(echo "$named") || fail "commands in --help (<) and in the unknown-command line (>) differ"
  for c in $commands; do
    grep -qF "| \`$c\` | \`tlvx-tool $c" "$prefix/share/doc/tlvx/docs/worlds.md" || fail "the tool table of docs/worlds.md lacks $c"
  done
  for c in $commands; do
    compare "tlvx-tool $c" "$("$tool" "$c" --help | help_options)" "$(plain "$man_tool" | section_options - ".SS $c")"
  done
  if [ "$has_game" = 1 ]; then
    compare tlvx "$("$game" --help | help_options)" "$(plain "$prefix/share/man/man6/tlvx.6.gz" | section_options - ".SH OPTIONS")"
    # The README's option table (rows starting with an option) lists every option of --help but --version.
    diff <("$game" --help | help_options | grep -vx -- --version) <(grep -E '^\| `--' "$prefix/share/doc/tlvx/README.md" |
      cut -d'|' -f2 | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u) ||
      fail "tlvx: options in --help (<) and in the README's option table (>) differ"
  fi
  if command -v man >/dev/null; then
    for m in tlvx tlvx-tool; do
      warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man6/$m.6.gz" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "$m.6: $warnings"
    done
  fi ;;
desktop)
  out=$(desktop-file-validate "$prefix/share/applications/$app_id.desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
  grep -qx 'Exec=tlvx --world' "$prefix/share/applications/$app_id.desktop" || fail "the menu entry does not start tlvx --world" ;;
metainfo)  # pedantic, and not even a note is accepted
  out=$(appstreamcli validate --pedantic --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" 2>&1) ||
    fail "appstreamcli validate: $out"
  ! echo "$out" | grep -qE '^[IWEP]: ' || fail "appstreamcli validate: $out"
  appstreamcli validate-tree --no-net "$stage/root" || fail "appstreamcli validate-tree" ;;
*) fail "unknown case $case_name" ;;
esac
echo "ok $case_name"
