#!/usr/bin/env bash
# One drive, every build: drives the sample stage with the zelkar-drive of each tree named (by
# default i386 and clang) and of build/release, then compares each tree's CSV and .glb animations
# with the 64-bit g++ tree's, numerically (tests/tools/compare-drives.cjs; within 1e-6 relative,
# or it fails and says where). Run from anywhere after the trees are built:
#   tests/tools/compare-drives.sh [TREE...]
set -euo pipefail
cd "$(dirname "$0")/../.."
trees=("$@")
[ ${#trees[@]} -gt 0 ] || trees=(i386 clang)

drive() {  # tree
  local tree=build/$1 run=()
  # A 32-bit tree on a machine that runs no 32-bit programs runs its tools under the emulator.
  if grep -q '^ZELKAR_I386_NATIVE:BOOL=OFF' "$tree/CMakeCache.txt" 2>/dev/null; then
    run=("$(sed -n 's/^ZELKAR_QEMU_I386:FILEPATH=//p' "$tree/CMakeCache.txt")")
  fi
  rm -rf "$tree/drive-compare"
  "${run[@]}" "$tree/tools/zelkar-drive/zelkar-drive" "$tree/assets/stages/rally_stage.json" \
    -o "$tree/drive-compare" >/dev/null
}

drive release
status=0
for tree in "${trees[@]}"; do
  drive "$tree"
  echo "== build/$tree against build/release"
  node tests/tools/compare-drives.cjs build/release/drive-compare "build/$tree/drive-compare" ||
    status=1
done
exit $status
