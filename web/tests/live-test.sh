#!/usr/bin/env bash
# The live page end to end, against the native library:
#  1. the sample stage replayed through the WebAssembly library (under node) agrees with the
#     native drive's CSV to 1e-5 m at every frame, and the page's own replay ends on the same
#     frame count and checksum as that node run;
#  2. key scripts run in the page in headless chromium end on the checksum the native drive
#     (zelkar-drive --keys, the same script through libzelkar.so) prints, and their screenshots
#     of the driver's hands (at a gear change and with the handbrake pulled) are kept in OUT.
#   live-test.sh PAGE MODULE_JS NATIVE_TREE OUT
set -euo pipefail
page=$1 module=$2 native=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
drive=$native/tools/zelkar-drive/zelkar-drive
stage=$native/assets/stages/rally_stage.json
mkdir -p "$out"
fail() { echo "live page: $*" >&2; exit 1; }

command -v chromium >/dev/null || { echo "no chromium: install Debian's chromium"; exit 77; }

# The page's status box after a run with this address fragment (and a screenshot if given), as
# JSON; the page must end ready.
run_page() {  # fragment [screenshot]
  node "$here/headless.cjs" "file://$page#$1" ${2:+"$2"} >"$out/status.json" ||
    fail "#$1: $(cat "$out/status.json")"
}
attribute() { node -p "JSON.parse(require('fs').readFileSync('$out/status.json', 'utf8')).$1"; }

# 1. Replay.
"$drive" "$stage" -o "$out/native" >"$out/native.txt" 2>/dev/null || fail "the native drive failed"
node "$here/replay.cjs" "$module" "$out/native/rally_stage.csv" | tee "$out/replay.txt"
replayChecksum=$(sed -n "s/.*last frame's checksum \([0-9a-f]*\);.*/\1/p" "$out/replay.txt")
run_page 'replay&fast'
[ "$(attribute checksum)" = "$replayChecksum" ] ||
  fail "the page's replay ends on another frame than the node run's"
[ "$(attribute frames)" = 1201 ] || fail "the page's replay is not 1201 frames"

# 2. Key scripts: a gear change with the hand on the lever, and the handbrake held.
scripts=(gearchange "up*90,gearup,up*64" handbrake "up*100,handbrake*80")
for ((i = 0; i < ${#scripts[@]}; i += 2)); do
  name=${scripts[i]} keys=${scripts[i + 1]}
  "$drive" "$stage" -o "$out/keys-$name" --keys "$keys" >"$out/keys-$name.txt" 2>/dev/null ||
    fail "$name: the native drive failed"
  native=$(sed -n "s/^last frame's checksum \([0-9a-f]*\);.*/\1/p" "$out/keys-$name.txt")
  nativeFrames=$(sed -n 's/^drove .*: \([0-9]*\) frames .*/\1/p' "$out/keys-$name.txt")
  run_page "keys=$keys&cam=hands" "$out/$name.png"
  frames=$(attribute frames)
  web=$(attribute checksum)
  echo "$name: page $frames frames, checksum $web; native $nativeFrames frames, checksum $native"
  [ "$frames" = "$nativeFrames" ] || fail "$name: $frames frames in the page, $nativeFrames natively"
  [ "$web" = "$native" ] || fail "$name: the page ends on $web, the native library on $native"
  [ "$(stat -c %s "$out/$name.png")" -gt 20000 ] || fail "$name: no screenshot"
done
echo "screenshots: $out/gearchange.png $out/handbrake.png"
