#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, when any
# is missing. Uses sudo when not run as root.
#   --web       only what the browser build needs (scripts/web.sh)
#   --web-test  that and the browser its tests drive
set -euo pipefail
web_packages=(cmake make emscripten nodejs
              node-pako libxxhash-dev)  # recordings in the page: its zlib-compatible coder, content hashes
packages=(g++ cmake make pkg-config libsdl2-dev libpng-dev libcli11-dev libgtest-dev
          libx11-dev xvfb xdotool xauth x11-apps x11-utils openbox nlohmann-json3-dev zlib1g-dev tiled
          clang libclang-rt-14-dev  # clang and its runtime: the fuzz targets
          clang-format  # scripts/format.sh
          desktop-file-utils appstream lintian dpkg-dev fakeroot file man-db  # install checks, the package
          libxxhash-dev  # content hashes of the world in recordings
          git)  # the commit check and the install test of a clean clone
case "${1:-}" in
  --web) packages=("${web_packages[@]}") ;;
  --web-test) packages=("${web_packages[@]}" chromium) ;;
  "") ;;
  *) echo "deps.sh: unknown option $1" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
