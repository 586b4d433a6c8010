#!/bin/sh
# make_screenshot.sh <build-dir> <output.png>: the picture of the README. Starts the
# built viewer in a private Xvfb on the colour-wheel sample, opens the inspector, zooms
# with the wheel into the wheel's rim, shows the pixel grid, rests the pointer on a
# zoomed pixel so the status bar and the inspector read it, and captures the window.
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
# The inspector beside the view, then the wheel over the point where the rim crosses
# 45 degrees up and right of the centre, up to 12 screen pixels per image pixel, and
# the grid between the pixels.
xdotool key --window "$window" i
sleep 0.5
xdotool mousemove --window "$window" 352 96
sleep 0.2
for _ in 1 2 3 4 5 6 7; do xdotool click 4; sleep 0.15; done
xdotool key --window "$window" g
sleep 0.5
xdotool mousemove --window "$window" 300 300
sleep 0.2
xdotool mousemove --window "$window" 301 300
sleep 1
import -window "$window" "png24:$out"
echo "wrote $out: $(xdotool getwindowname "$window")"
