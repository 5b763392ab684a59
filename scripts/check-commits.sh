#!/usr/bin/env bash
# Checks the subjects of recent commits: at most 72 characters, starting with
# one of the prefixes HACKING.md lists ("Prefix: what changed"), merges
# included ("Merge: what the merge brings").
#   scripts/check-commits.sh          the commits since the last tag, or the
#                                     last 50 when there is no tag
#   scripts/check-commits.sh RANGE    the commits of a git range (A..B)
# Commits older than the one named in .ci/commits-checked-since were written
# before these rules and are never checked.
set -euo pipefail
cd "$(dirname "$0")/.."
prefixes='Game|World|Tools|Window|Web|Recordings|Input|Display|Data|Base|Shell|Build|CI|Bench|Fuzz|Tests|Docs|Merge'
if [ -e .git ] && ! command -v git >/dev/null; then
  echo "check-commits: git is missing (bash scripts/deps.sh installs it)" >&2
  exit 2
fi
if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "check-commits: not a git checkout; nothing to check" >&2
  exit 0
fi
if [ $# -gt 1 ]; then
  echo "usage: scripts/check-commits.sh [RANGE]" >&2
  exit 2
fi
if [ $# -eq 1 ]; then
  range=$1
elif tag=$(git describe --tags --abbrev=0 2>/dev/null); then
  range=$tag..HEAD
else
  range="-50 HEAD"
fi
since=""
if [ -f .ci/commits-checked-since ]; then
  since=$(tr -d '[:space:]' <.ci/commits-checked-since)
  git cat-file -e "$since^{commit}" 2>/dev/null || since=""
fi
bad=0
# shellcheck disable=SC2086 # the range may be two words (-50 HEAD)
while IFS=$'\t' read -r hash subject; do
  if [ -n "$since" ] && git merge-base --is-ancestor "$hash" "$since"; then continue; fi
  why=""
  if [ ${#subject} -gt 72 ]; then why="longer than 72 characters (${#subject})"; fi
  if ! [[ $subject =~ ^($prefixes):\ . ]]; then
    why="${why:+$why; }no prefix of the list (${prefixes//|/, })"
  fi
  if [ -n "$why" ]; then
    printf '%s %s\n  %s\n' "${hash:0:10}" "$subject" "$why" >&2
    bad=1
  fi
done < <(git log --format='%H%x09%s' $range)
if [ $bad -ne 0 ]; then
  echo "check-commits: reword these subjects (git rebase -i) before they land" >&2
  exit 1
fi
echo "check-commits: the subjects of $range are fine"
