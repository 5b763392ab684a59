#!/usr/bin/env bash
# scripts/check-doc-tests.sh passes on the project as it is and fails on a copy
# whose NOT-BUGS.md names a test or a golden case that does not exist.
set -euo pipefail
script=$1 root=$2
bash "$script" "$root"
work=$(mktemp -d "${TMPDIR:-/tmp}/tlvx-doc-tests.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$root/tests" "$root/docs" "$root"/*.md "$work"
for name in 'Clock.NoSuchCase' 'golden `no_such_case`'; do
  cp "$root/NOT-BUGS.md" "$work/NOT-BUGS.md"
  echo "| a row | here | $name |" >>"$work/NOT-BUGS.md"
  if bash "$script" "$work" >/dev/null; then echo "FAIL: $name was not reported"; exit 1; fi
done
