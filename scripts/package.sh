#!/usr/bin/env bash
# Builds the Debian package tlvx_VERSION_ARCH.deb in build-deb/ (a Release
# build with Debian's hardening flags, installed under /usr) and checks it with
# lintian, which must report no error. Install it with
#   sudo apt install ./build-deb/tlvx_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${TLVX_DEB_BUILD_DIR:-build-deb}
# The compiler and linker flags Debian builds its packages with (hardening:
# stack protector, fortified calls, read-only relocations, PIE).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTLVX_TESTS=OFF "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tlvx_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/tlvx_*.deb)
echo "lintian $deb:"
# Errors fail the build; warnings and notes are shown.
lintian --fail-on error --info "$deb"
echo "Built $deb"
