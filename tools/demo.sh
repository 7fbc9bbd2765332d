#!/usr/bin/env bash
# The main job: loads the built library as a host would and prints what it answers.
set -euo pipefail
build=${1:-build/release}
"$build/tools/zelkar-probe/zelkar-probe" "$build/src/libzelkar.so"
