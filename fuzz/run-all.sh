#!/usr/bin/env bash
# Runs every built fuzz target, seeded from fuzz/corpus/<name>.
#   run-all.sh BUILD_DIR                      a short, fixed number of runs each (what CI runs;
#                                             FUZZ_RUNS, default 20000)
#   run-all.sh BUILD_DIR --campaign SECONDS [--runs N]
#                                             a campaign: each target for SECONDS (or N inputs,
#                                             whichever ends first), then the inputs that reached
#                                             new code are merged, minimised, into
#                                             fuzz/corpus/<name>, and every crash is kept in
#                                             fuzz/findings/<name>/ and printed
# Exits 1 when a target crashed.
set -euo pipefail
dir=${1:?usage: run-all.sh BUILD_DIR [--campaign SECONDS]}
campaign=0
campaignRuns=-1
if [ "${2:-}" = "--campaign" ]; then
  campaign=${3:?--campaign needs a number of seconds}
  if [ "${4:-}" = "--runs" ]; then campaignRuns=${5:?--runs needs a number of inputs}; fi
fi
runs=${FUZZ_RUNS:-20000}
here=$(cd "$(dirname "$0")" && pwd)
status=0
shopt -s nullglob
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$here/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  seeds=()
  [ -d "$corpus" ] && seeds+=("$corpus")
  if [ "$campaign" -gt 0 ]; then
    findings="$here/findings/${name#fuzz_}"
    mkdir -p "$findings" "$corpus"
    echo "fuzzing $name for $campaign s"
    # -fork keeps going past a crash; every crash lands in the findings folder.
    start=$SECONDS
    if ! "$target" -max_total_time="$campaign" -runs="$campaignRuns" -max_len=4096 -timeout=10 \
      -fork=1 -ignore_crashes=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$work.log" 2>&1; then
      status=1
    fi
    echo "$name: $(grep -E "^#[0-9]+: cov:" "$work.log" | tail -1 | cut -d' ' -f1 | tr -d '#:') inputs" \
      "in $((SECONDS - start)) s"
    "$target" -merge=1 -max_len=4096 "$corpus" "$work" >/dev/null 2>&1 || true
    crashes=("$findings"/crash-* "$findings"/timeout-* "$findings"/leak-*)
    if [ ${#crashes[@]} -gt 0 ]; then
      echo "$name: ${#crashes[@]} finding(s) in $findings"
      status=1
    fi
  else
    echo "fuzzing $name for $runs runs"
    if ! "$target" -runs="$runs" -max_len=4096 -timeout=10 "$work" "${seeds[@]}" >"$work.log" \
      2>&1; then
      tail -40 "$work.log"
      status=1
    fi
  fi
  rm -rf "$work" "$work.log"
done
exit $status
