#!/usr/bin/env bash
# Builds the game, creates the demo world under the build directory when it is
# missing, and starts the game in it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${TLVX_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tlvx tlvx-tool
build=$(cd "$build" && pwd)
world="$build/demo-world"
if [ ! -e "$world/Pndx_001.sav" ]; then
  "$build/app/tlvx-tool" demo "$world"
fi
cd "$world"
exec "$build/app/tlvx" "$@"
