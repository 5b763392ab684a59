#!/usr/bin/env bash
# Builds the game, creates the demo world under the build directory when it is
# missing, and starts the game in it. Other options go to the game.
#   --build-only   build what `cmake --install` installs, start nothing
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
if [ "${1:-}" = --build-only ]; then build_only=1; shift; fi
bash scripts/deps.sh
build=${TLVX_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tlvx tlvx-tool
[ "$build_only" = 0 ] || exit 0
build=$(cd "$build" && pwd)
world="$build/demo-world"
if [ ! -e "$world/Pndx_001.sav" ]; then
  "$build/app/tlvx-tool" demo "$world"
fi
cd "$world"
exec "$build/app/tlvx" "$@"
