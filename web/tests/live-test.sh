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
browser=(chromium --headless --no-sandbox --hide-scrollbars --window-size=1000,640
  --virtual-time-budget=15000)

# The status box's attribute, from a page run with this address fragment.
status() {  # fragment attribute
  "${browser[@]}" --dump-dom "file://$page#$1" 2>/dev/null >"$out/dom.html" || true
  grep -q 'data-state="ready"' "$out/dom.html" ||
    fail "#$1: not ready: $(grep -o '<div id="status"[^<]*' "$out/dom.html" | head -c 400)"
  grep -o "data-$2=\"[^\"]*\"" "$out/dom.html" | head -1 | cut -d'"' -f2
}

# 1. Replay.
"$drive" "$stage" -o "$out/native" >"$out/native.txt" 2>/dev/null || fail "the native drive failed"
node "$here/replay.cjs" "$module" "$out/native/rally_stage.csv" | tee "$out/replay.txt"
replayChecksum=$(sed -n "s/.*last frame's checksum \([0-9a-f]*\);.*/\1/p" "$out/replay.txt")
[ "$(status 'replay&fast' checksum)" = "$replayChecksum" ] ||
  fail "the page's replay ends on another frame than the node run's"
[ "$(status 'replay&fast' frames)" = 1201 ] || fail "the page's replay is not 1201 frames"

# 2. Key scripts: a gear change caught as the hand moves, and the handbrake held.
scripts=(gearchange "up*90,up+left*30,gearup,up*10" handbrake "up*100,handbrake*40")
for ((i = 0; i < ${#scripts[@]}; i += 2)); do
  name=${scripts[i]} keys=${scripts[i + 1]}
  "$drive" "$stage" -o "$out/keys-$name" --keys "$keys" >"$out/keys-$name.txt" 2>/dev/null ||
    fail "$name: the native drive failed"
  native=$(sed -n "s/^last frame's checksum \([0-9a-f]*\);.*/\1/p" "$out/keys-$name.txt")
  nativeFrames=$(sed -n 's/^drove .*: \([0-9]*\) frames .*/\1/p' "$out/keys-$name.txt")
  frames=$(status "keys=$keys" frames)
  web=$(status "keys=$keys" checksum)
  echo "$name: page $frames frames, checksum $web; native $nativeFrames frames, checksum $native"
  [ "$frames" = "$nativeFrames" ] || fail "$name: $frames frames in the page, $nativeFrames natively"
  [ "$web" = "$native" ] || fail "$name: the page ends on $web, the native library on $native"
  "${browser[@]}" --screenshot="$out/$name.png" "file://$page#keys=$keys&cam=hands" >/dev/null 2>&1
  [ "$(stat -c %s "$out/$name.png")" -gt 20000 ] || fail "$name: no screenshot"
done
echo "screenshots: $out/gearchange.png $out/handbrake.png"
