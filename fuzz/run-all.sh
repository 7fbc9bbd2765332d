#!/usr/bin/env bash
# Runs every built fuzz target for a short, fixed number of runs, seeded from fuzz/corpus/<name>.
set -euo pipefail
dir=${1:?usage: run-all.sh BUILD_DIR}
runs=${FUZZ_RUNS:-20000}
here=$(cd "$(dirname "$0")" && pwd)
status=0
shopt -s nullglob
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  [ -d "$here/corpus/${name#fuzz_}" ] && seeds+=("$here/corpus/${name#fuzz_}")
  echo "fuzzing $name for $runs runs"
  if ! "$target" -runs="$runs" -max_len=4096 -timeout=10 "$work" "${seeds[@]}" >"$work.log" 2>&1; then
    tail -40 "$work.log"
    status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
