#!/usr/bin/env bash
# How long our window stands still when a 100-megapixel image is copied from it and
# pasted into another program. In a private Xvfb: our program (with the stall probe,
# ZELK_STALL_PROBE) opens a generated 10000 x 10000 PNG; a right-click on Print
# copies it; xclip, another process, pastes it as PNG and as BMP. Then xclip offers
# the PNG and Ctrl+V pastes it into ours. Prints the longest GUI-thread stall of each
# step and checks the pixels pasted out against the file.
#
#   scripts/clipboard_stall.sh [BUILD_DIR]      (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
bash scripts/install-deps.sh --bench
# shellcheck source=scripts/viewer_timing.sh
source scripts/viewer_timing.sh
make_image=$build/tools/zelk_make_bench_image
[ -x "$make_image" ] || make_image=$build/zelk_make_bench_image

begin_session zelk-clipboard
"$make_image" "$work/big.png" 10000 10000 1

probe=$work/probe.txt
cd "$work"
start=$(now_us)
ZELK_STALL_PROBE=40 "$build/zelkzoomer" "$work/big.png" 2>"$probe" >/dev/null &
viewer_pid=$!
wait_settled "$viewer_pid" "$start"
echo "opened in ${SETTLED_MS} ms"

mark() { wc -l <"$probe"; }
# The longest stall reported after line $1 (through line $2 when given).
longest() {
  tail -n "+$(($1 + 1))" "$probe" | head -n "${2:-1000000}" |
    awk '/zelk-stall-probe/ {if ($2 > m) m = $2} END {print m + 0}'
}
pixels() { convert "$1" -depth 8 rgb:- | md5sum | cut -d' ' -f1; }
# Right-click on Print, then wait until our program owns the clipboard.
right_click_print() {
  xclip -selection clipboard -i </dev/null  # someone else's, empty
  xdotool mousemove --window "$WINDOW" 234 18 click 3
  until xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -q image/png; do
    pause_10ms
  done
}
paste() {  # $1 type, $2 file
  local t0 t1
  t0=$(now_us)
  xclip -selection clipboard -t "$1" -o >"$2"
  t1=$(now_us)
  echo "  xclip -t $1 took $(((t1 - t0) / 1000)) ms, $(stat -c %s "$2") bytes"
}

echo "1. copy, then paste at once"
m0=$(mark)
right_click_print
paste image/png "$work/at_once.png"
sleep 1
echo "  longest stall from the copy to the end of the paste: $(longest "$m0") ms"

echo "2. copy, wait 10 s, then paste"
m0=$(mark)
right_click_print
sleep 10
m1=$(mark)
paste image/png "$work/later.png"
sleep 1
m2=$(mark)
echo "  longest stall of the copy: $(longest "$m0" $((m1 - m0))) ms"
echo "  longest stall of the paste: $(longest "$m1") ms"
paste image/bmp "$work/later.bmp" || true
sleep 1
echo "  longest stall of the BMP paste: $(longest "$m2") ms"

echo "3. another program offers the PNG, Ctrl+V pastes it into ours"
m0=$(mark)
xclip -selection clipboard -t image/png -i "$work/big.png"
xdotool windowfocus --sync "$WINDOW" key ctrl+v
start=$(now_us)
sleep 1
FLAT_MS=500 wait_settled "$viewer_pid" "$start"
echo "  pasted and shown within ${SETTLED_MS} ms of the key;" \
  "longest stall: $(longest "$m0") ms"
xdotool getwindowname "$WINDOW" | sed 's/^/  caption: /'

want=$(pixels "$work/big.png")
for f in at_once.png later.png later.bmp; do
  [ -s "$work/$f" ] || { echo "  $f: nothing pasted"; continue; }
  [ "$(pixels "$work/$f")" = "$want" ] && echo "  $f: pixels identical" ||
    echo "  $f: PIXELS DIFFER"
done
