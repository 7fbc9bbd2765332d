#!/usr/bin/env bash
# The main job: drives the sample car with its driver and co-driver through the sample stage
# (zelkar-drive) and leaves a page that plays it in a browser; then the library's answers to a
# host (zelkar-probe) and one scene played on the bare skeleton (zelkar-play) as a drawing (SVG)
# and numbers (CSV).
set -euo pipefail
build=${1:-build/release}
play="$build/tools/zelkar-play/zelkar-play"
samples="$build/assets/samples"
out="$build/demo"

echo "== zelkar-drive: the sample rally stage, car, driver and co-driver"
"$build/tools/zelkar-drive/zelkar-drive" "$build/assets/stages/rally_stage.json" -o "$out"
page=$(cd "$out" && pwd)/rally_stage.html
echo

echo "== zelkar-probe: the library's answers to a host"
"$build/tools/zelkar-probe/zelkar-probe" "$build/src/libzelkar.so"

echo
echo "== zelkar-play: the sample skeleton playing scene driver_steer"
mkdir -p "$out"
# Frames 0 to 10 of the scene turn the wheel from one lock to the other (frame 5 is straight
# ahead); at 30 frames per second that is 0 to 0.33333334 s.
"$play" --hierarchy "$samples/human_skeleton.zkh" --scene "$samples/driver_steer.zka" \
  --from 0 --to 0.33333334 --output "$out/driver_steer.csv" --svg "$out/driver_steer.svg"

rows=$(($(wc -l <"$out/driver_steer.csv") - 1))
echo "positions: $out/driver_steer.csv ($rows rows: time,node,x,y,z in millimetres)"
echo "drawing:   $out/driver_steer.svg (front and side view at frames 0, 2.5, 5, 7.5 and 10;"
echo "           open it in a browser and hover over a joint for its name)"
echo
echo "The left hand (B_hand L) over the steering range, millimetres:"
awk -F, 'NR == 1 || $2 == "B_hand L" { printf "  %-11s %10s %10s %10s\n", $1, $3, $4, $5 }' \
  "$out/driver_steer.csv"

echo
echo "Open the drive in a browser (no network needed): file://$page"
