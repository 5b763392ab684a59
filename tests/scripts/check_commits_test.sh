#!/usr/bin/env bash
# scripts/check-commits.sh against a throw-away history: a good subject
# passes; a long subject, a missing prefix and a branch-named merge fail; a
# commit older than .ci/commits-checked-since is never checked.
set -euo pipefail
script=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tlvx-commits.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
git init -q -b main .
git config user.email t@example.invalid
git config user.name t
mkdir scripts .ci
cp "$script" scripts/check-commits.sh
commit() { git commit -q --allow-empty -m "$1"; }
fails=0
expect() { # expect ok|fail WHAT
  if bash scripts/check-commits.sh >out 2>&1; then got=ok; else got=fail; fi
  if [ "$got" != "$1" ]; then echo "FAIL: $2: expected $1, got $got"; cat out; fails=1; fi
}
commit "an old subject without a prefix, written before the rules were kept"
git rev-parse HEAD >.ci/commits-checked-since
commit "Tools: render suggests the region around the start"
expect ok "a good subject after the baseline"
rm .ci/commits-checked-since
expect fail "the old subject once no baseline excuses it"
git rev-parse HEAD~1 >.ci/commits-checked-since
commit "World: $(printf 'x%.0s' $(seq 1 66))"
expect fail "a subject of 73 characters"
git reset -q --hard HEAD~1
commit "World: $(printf 'x%.0s' $(seq 1 65))"
expect ok "a subject of exactly 72 characters"
commit "fix the lock"
expect fail "a subject without a prefix"
git reset -q --hard HEAD~1
git checkout -q -b side
commit "Docs: the manual's recordings page"
git checkout -q main
git merge -q --no-ff side -m "Merge branch 'side'"
expect fail "a merge named after its branch"
git reset -q --hard HEAD~1
git merge -q --no-ff side -m "Merge: the recordings manual"
expect ok "a merge saying what it brings"
git tag v1
commit "no prefix, before the tag is moved"
git tag -f v1 >/dev/null
commit "Game: after the tag"
expect ok "only the commits since the last tag"
exit $fails
