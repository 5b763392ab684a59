#!/usr/bin/env bash
# Checks that every test the guides name still exists, so a renamed or merged
# test cannot leave NOT-BUGS.md or a guide pointing at nothing.
#   scripts/check-doc-tests.sh [ROOT]   ROOT: the project (default: this one)
# A name is Suite.Case as the guides write it (a parameterised case by its
# pattern's name); golden `NAME` is a folder of tests/golden/cases.
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"
docs=(NOT-BUGS.md HACKING.md README.md docs/*.md)
missing=0
for t in $(grep -ohE '\b[A-Z][A-Za-z0-9]+\.[A-Z][A-Za-z0-9_]+\b' "${docs[@]}" | sort -u); do
  grep -rqE "TEST(_F|_P)?\(${t%%.*}, *${t#*.}\)" tests && continue
  echo "check-doc-tests: $t is named in the guides but no test defines it"
  missing=1
done
for g in $(grep -ohE 'golden `[a-z_]+`' "${docs[@]}" | sed 's/golden `\(.*\)`/\1/' | sort -u); do
  [ -d "tests/golden/cases/$g" ] && continue
  echo "check-doc-tests: golden case $g is named in the guides but tests/golden/cases has none"
  missing=1
done
exit $missing
