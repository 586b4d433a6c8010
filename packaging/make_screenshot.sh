#!/bin/sh
# make_screenshot.sh <build-dir> <output.png>: the picture of the README. Starts the
# built viewer in a private Xvfb on the colour-wheel sample, drags a box over the
# wheel's rim, zooms in, rests the pointer on a zoomed pixel so the status bar reads
# its colour, and captures the window.
set -eu
bash "$(dirname "$0")/../scripts/install-deps.sh" --screenshot
build=$(cd "$1" && pwd)
out=$2
work=$(mktemp -d)
xvfb_pid= viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$build/zelk_make_samples" "$work/samples" >/dev/null
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY

HOME=$work XDG_RUNTIME_DIR=$work LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb \
  "$build/zelkzoomer" "$work/samples/colour_wheel.png" >/dev/null 2>&1 &
viewer_pid=$!
window=
for _ in $(seq 200); do
  window=$(xdotool search --onlyvisible --pid "$viewer_pid" --name 'Mag X' 2>/dev/null | head -1) || true
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the viewer showed no image" >&2; exit 1; }
# The pointer is read 750 ms after a load.
sleep 1.5
xdotool windowfocus --sync "$window"
# Where the rim crosses 45 degrees up and right of the centre.
xdotool mousemove --window "$window" 505 111 mousedown 1
xdotool mousemove --window "$window" 518 115
xdotool mousemove --window "$window" 530 120 mouseup 1
xdotool mousemove --window "$window" 111 18 click 1
sleep 0.5
xdotool mousemove --window "$window" 230 420
sleep 0.2
xdotool mousemove --window "$window" 231 420
sleep 0.5
import -window "$window" "png24:$out"
echo "wrote $out: $(xdotool getwindowname "$window")"
