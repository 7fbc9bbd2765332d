#!/usr/bin/env bash
# Drives random stages (fuzz/random_stage.py) with a build's zelkar-drive and checks each run:
#   stage-seeds.sh BUILD_DIR FIRST COUNT     seeds FIRST .. FIRST+COUNT-1
# A seed passes when the drive exits 0, prints no sanitizer report and writes a .glb that the
# glTF validator (tests/gltf-node, after `npm ci` there) finds no error in. A failing seed is
# printed with its reason and its stage kept as fuzz/findings/stages/seed-<N>.json (its comment
# says the rate); the exit code is then 1. Without the validator's packages the .glb check is
# skipped with a note, except in CI (CI set), where that fails.
set -euo pipefail
build=$(cd "${1:?usage: stage-seeds.sh BUILD_DIR FIRST COUNT}" && pwd)
first=${2:?usage: stage-seeds.sh BUILD_DIR FIRST COUNT}
count=${3:?usage: stage-seeds.sh BUILD_DIR FIRST COUNT}
here=$(cd "$(dirname "$0")" && pwd)
drive=$build/tools/zelkar-drive/zelkar-drive
gltf=$here/../tests/gltf-node
findings=$here/findings/stages
# The build's own library, named so that a copy of the build folder drives its own copy.
library=$build/src/libzelkar.so.0
[ -x "$drive" ] && [ -f "$library" ] || { echo "no $drive or $library: build zelkar-drive first" >&2; exit 2; }

validate=1
if ! command -v node > /dev/null || [ ! -d "$gltf/node_modules/gltf-validator" ]; then
  [ -n "${CI:-}" ] && { echo "no glTF validator (npm ci in tests/gltf-node)" >&2; exit 2; }
  echo "note: no glTF validator (npm ci in tests/gltf-node): the .glb files go unchecked"
  validate=0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
fail() {  # seed, reason, log file
  failed=$((failed + 1))
  echo "seed $1: FAILED: $2"
  [ -f "$3" ] && tail -n 25 "$3" | sed 's/^/    /'
  mkdir -p "$findings"
  cp "$work/seed-$1.json" "$findings/seed-$1.json"
  echo "    kept as fuzz/findings/stages/seed-$1.json"
}

start=$(date +%s%N)
batch=()
check_batch() {  # validates the .glb files of the drives that passed so far, in one node run
  [ ${#batch[@]} -eq 0 ] && return 0
  if [ "$validate" = 1 ]; then
    local files=() s
    for s in "${batch[@]}"; do files+=("$work/out-$s/seed-$s.glb"); done
    (cd "$gltf" && node validate.mjs "${files[@]}") > "$work/validate.txt" 2>&1 || true
    for s in "${batch[@]}"; do
      local glb="$work/out-$s/seed-$s.glb"
      grep -q "^$glb errors=0 " "$work/validate.txt" && continue
      # A file the validator cannot read at all stops the batch's run: each is then run alone.
      if ! grep -q "^$glb errors=" "$work/validate.txt"; then
        (cd "$gltf" && node validate.mjs "$glb") > "$work/why-$s.txt" 2>&1 && continue
      else
        grep "^$glb errors=" "$work/validate.txt" > "$work/why-$s.txt"
      fi
      fail "$s" "the .glb does not pass the glTF validator" "$work/why-$s.txt"
    done
  fi
  for s in "${batch[@]}"; do rm -rf "$work/out-$s" "$work/seed-$s.json"; done
  batch=()
}

for ((seed = first; seed < first + count; ++seed)); do
  rate=$(python3 "$here/random_stage.py" "$seed" "$work/seed-$seed.json" --root "$build/assets")
  log=$work/log-$seed.txt
  code=0
  "$drive" "$work/seed-$seed.json" -o "$work/out-$seed" --rate "$rate" --library "$library" \
    > "$log" 2>&1 || code=$?
  if [ "$code" != 0 ]; then
    fail "$seed" "exit code $code" "$log"
  elif grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' "$log"; then
    fail "$seed" "a sanitizer report" "$log"
  elif [ ! -s "$work/out-$seed/seed-$seed.glb" ]; then
    fail "$seed" "no .glb written" "$log"
  else
    batch+=("$seed")
  fi
  rm -f "$log"
  [ ${#batch[@]} -ge 20 ] && check_batch
done
check_batch
milliseconds=$((($(date +%s%N) - start) / 1000000))
printf 'stage seeds %d..%d: %d failed of %d, %d.%02d s per seed\n' "$first" $((first + count - 1)) \
  "$failed" "$count" $((milliseconds / count / 1000)) $((milliseconds / count % 1000 / 10))
[ "$failed" = 0 ]
