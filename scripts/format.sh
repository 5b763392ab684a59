#!/usr/bin/env bash
# Formats the C++ sources with clang-format and the project's .clang-format.
#   scripts/format.sh           format every tracked .cpp/.hpp file in place
#   scripts/format.sh --check   change nothing; list the files that are not
#                               formatted and exit 1 when there is any
# The generated tables (display/font_data.cpp, display/vga_palette.cpp) are
# left as their generator writes them.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
if [ "${1:-}" = "--check" ]; then check=1; elif [ $# -gt 0 ]; then
  echo "usage: scripts/format.sh [--check]" >&2
  exit 2
fi
command -v clang-format >/dev/null || { echo "clang-format is missing (bash scripts/deps.sh installs it)" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.cpp' '*.hpp' | grep -v -e '^src/display/font_data.cpp$' -e '^src/display/vga_palette.cpp$')
if [ $check -eq 0 ]; then
  clang-format -i --style=file "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    bad=1
  fi
done
if [ $bad -ne 0 ]; then echo "not formatted: run scripts/format.sh" >&2; fi
exit $bad
