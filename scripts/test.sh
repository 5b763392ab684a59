#!/usr/bin/env bash
# Checks the formatting and the commit subjects; builds everything with
# warnings as errors and the web build's site (scripts/web.sh), runs every
# test and every benchmark once in its shortest form; then builds
# and runs every test again with the address and undefined behaviour
# sanitizers, and runs each fuzz target for 30 seconds (fuzz/run), the recording reader a minute more.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/deps.sh --web-test  # the web build, and the browser its tests drive
# Unformatted code fails here, before anything is built (scripts/format.sh fixes it).
bash scripts/format.sh --check
# Commit subjects: at most 72 characters, a prefix from the list in HACKING.md.
bash scripts/check-commits.sh
jobs=$(nproc)
build=${TLVX_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTLVX_WERROR=ON -DTLVX_BENCH=ON
cmake --build "$build" -j"$jobs"
# The web build's site, which the tests labelled web play in headless Chromium
# (tests/web); here they fail rather than skip when it is missing.
bash scripts/web.sh --build-only
export TLVX_WEB_REQUIRED=1
ctest --test-dir "$build" --output-on-failure -j"$jobs"
# Every benchmark figure once with the shortest settings, so that none of
# their code rots; the figures themselves mean nothing here (bench/run does
# the real measurement).
TLVX_BENCH_BUILD=$build bash bench/run --smoke >"$build/bench-smoke.txt"

# The same tests under the sanitizers, but the web ones (their page is the
# same). Leaks inside the window system's libraries are not ours:
# scripts/lsan.supp lists them.
asan=${TLVX_ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DTLVX_SANITIZE=ON
cmake --build "$asan" -j"$jobs"
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0} \
  ctest --test-dir "$asan" --output-on-failure -j"$jobs" -LE web

TLVX_FUZZ_BUILD_DIR=${TLVX_FUZZ_BUILD_DIR:-build-fuzz} bash fuzz/run 30
# Recordings come from strangers: their reader gets a minute more.
TLVX_FUZZ_BUILD_DIR=${TLVX_FUZZ_BUILD_DIR:-build-fuzz} bash fuzz/run 60 fuzz_recording
TLVX_FUZZ_BUILD_DIR=${TLVX_FUZZ_BUILD_DIR:-build-fuzz} bash fuzz/run 30 fuzz_world_archive fuzz_world_info
