#!/usr/bin/env bash
# Runs the commands of the README's worked example as written, on a copy of examples/, with
# the built programs first on the PATH, and checks the results the README gives.
# Arguments: sourceDir programDir
set -euo pipefail
source=$1
programs=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "readmeExample: $*" >&2
  exit 1
}

# The sh block of the "Worked example" section.
awk '/^### Worked example/ { section = 1; next }
     section && /^#/ && !/^# / { exit }
     section && /^```sh$/ { block = 1; next }
     block && /^```$/ { exit }
     block { print }' "$source/README.md" >"$scratch/example.sh"
[ -s "$scratch/example.sh" ] || fail "no worked example in README.md"

cp -r "$source/examples" "$scratch/examples"
out=$(cd "$scratch" && PATH="$programs:$PATH" TMPDIR="$scratch" bash -e example.sh 2>&1) || fail "the example failed:
$out"
grep -q '^Text index=1$' <<<"$out" || fail "recognition did not give text 1"
grep -q '^Text=mi sh do$' <<<"$out" || fail "recognition did not give mi sh do"
grep -q '^100$' <<<"$out" || fail "assessment score is not 100"
grep -q '^======> 2/2: xmlFile=second.xml' <<<"$out" || fail "the batch did not run its second line"
for f in first.xml second.xml recogResult.txt score.txt; do
  grep -qx "$f" <<<"$out" || fail "the batch left no $f"
done
echo "readmeExample: the README's commands run and give its results"
