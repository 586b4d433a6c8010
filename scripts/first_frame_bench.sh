#!/usr/bin/env bash
# First frame and peak memory of our program beside feh, on a generated 24-megapixel
# JPEG and PNG (6000 x 4000), in one private Xvfb, runs interleaved.
#
#   scripts/first_frame_bench.sh [BUILD_DIR] [RUNS]      (default build/, 5)
#   scripts/first_frame_bench.sh --gigapixel [BUILD_DIR] (see below)
#
# First frame: from exec until the viewer's CPU use stops after its window is up
# (scripts/viewer_timing.sh says how that is told). Peak memory: VmHWM just before
# the viewer is ended. Prints the medians and the ratio ours / feh.
#
# --gigapixel: writes a 32000 x 32000 JPEG and PNG under /tmp (about 1 GB each, and
# 3 GiB of memory while writing), prints the bare libjpeg-turbo / libpng decode time
# beside our loader's (zelk_decode_floor), then our program's first frame on each.
# Then the window during such a load: a small image is shown, Right starts the big
# one, the longest stand-still of the GUI thread is taken from ZELK_STALL_PROBE, a
# screenshot shows the status bar ($GIGAPIXEL_SHOTS, default /tmp), Escape stops the
# load (the time until the CPU use stops is printed), and Right again loads it to the
# end. The files are deleted at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
gigapixel=0
if [ "${1:-}" = "--gigapixel" ]; then
  gigapixel=1
  shift
fi
build=$(realpath "${1:-build}")
runs=${2:-5}
bash scripts/install-deps.sh --bench
# shellcheck source=scripts/viewer_timing.sh
source scripts/viewer_timing.sh

for tool in zelkzoomer zelk_make_bench_image zelk_decode_floor; do
  if [ ! -x "$build/$tool" ] && [ ! -x "$build/tools/$tool" ]; then
    cmake --build "$build" --target "$tool" >/dev/null
  fi
done
tool_path() { [ -x "$build/$1" ] && echo "$build/$1" || echo "$build/tools/$1"; }
make_image=$(tool_path zelk_make_bench_image)
decode_floor=$(tool_path zelk_decode_floor)

begin_session zelk-first-frame

# run_once NAME FILE: one viewer on FILE; sets FRAME_MS and PEAK_MB.
run_once() {
  local start class=
  start=$(now_us)
  case $1 in
    ours) "$build/zelkzoomer" "$2" >/dev/null 2>&1 & ;;
    # Scaled down into a window of about our size, as ours shows a large image.
    feh) feh --scale-down --geometry 784x600 "$2" >/dev/null 2>&1 & class=feh ;;
  esac
  viewer_pid=$!
  wait_settled "$viewer_pid" "$start" "$class"
  FRAME_MS=$SETTLED_MS
  PEAK_MB=$(peak_memory_mb "$viewer_pid")
  kill "$viewer_pid"
  wait "$viewer_pid" 2>/dev/null || true
  viewer_pid=
}

# The time (ms since START_US) at which the CPU use of PID last moved, once it has
# stood still for FLAT_MS.
last_cpu_move_ms() {
  local pid=$1 start=$2 ticks last=-1 changed now
  changed=$(now_us)
  while true; do
    now=$(now_us)
    ticks=$(cpu_ticks "$pid") || return 1
    if [ "$ticks" != "$last" ]; then last=$ticks changed=$now; fi
    [ $((now - changed)) -lt $((FLAT_MS * 1000)) ] || break
    pause_10ms
  done
  echo $(((changed - start) / 1000))
}

# After a cancel: the time (ms since START_US) at which the resident memory of PID
# last grew, that is when the decode stopped filling the bitmap (freeing what it had
# filled takes a while longer, on the decoding thread).
memory_growth_stopped_ms() {
  local pid=$1 start=$2 rss max=0 at=0 now i
  for ((i = 0; i < 300; i++)); do
    now=$(now_us)
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status") || return 1
    if [ "$rss" -gt "$max" ]; then max=$rss at=$now; fi
    [ "$rss" -gt $((max - 102400)) ] || break
    pause_10ms
  done
  echo $(((at - start) / 1000))
}

# watch_big_load FILE: the window while FILE loads after a small image (see above).
watch_big_load() {
  local big=$1 folder stalls start shots=${GIGAPIXEL_SHOTS:-/tmp}
  folder=$work/browse
  mkdir -p "$folder"
  "$make_image" "$folder/a-small.jpg" 320 200 90
  ln -sf "$big" "$folder/b-big.${big##*.}"
  stalls=$work/stalls.txt
  start=$(now_us)
  ZELK_STALL_PROBE=100 "$build/zelkzoomer" "$folder/a-small.jpg" >/dev/null 2>"$stalls" &
  viewer_pid=$!
  wait_settled "$viewer_pid" "$start"
  xdotool windowfocus --sync "$WINDOW"
  : >"$stalls"
  xdotool key Right
  sleep 1.5
  import -window root "$shots/zelk-gigapixel-${big##*.}-loading.png"
  start=$(now_us)
  xdotool key Escape
  echo "  Escape after 1.5 s of loading: the bitmap stopped growing" \
    "$(memory_growth_stopped_ms "$viewer_pid" "$start") ms later," \
    "CPU use stopped $(last_cpu_move_ms "$viewer_pid" "$start") ms later"
  import -window root "$shots/zelk-gigapixel-${big##*.}-cancelled.png"
  start=$(now_us)
  xdotool key Right
  sleep 1
  echo "  full load in the window: done $(last_cpu_move_ms "$viewer_pid" "$start") ms after Right"
  import -window root "$shots/zelk-gigapixel-${big##*.}-loaded.png"
  kill "$viewer_pid"
  wait "$viewer_pid" 2>/dev/null || true
  viewer_pid=
  local longest
  longest=$(sed -n 's/.*probe: \([0-9]*\) ms.*/\1/p' "$stalls" | sort -n | tail -n 1)
  echo "  GUI stand-stills over 100 ms during both loads: $(grep -c stall-probe "$stalls" || true)" \
    "${longest:+(longest $longest ms)}"
  rm -rf "$folder"
}

if [ $gigapixel -eq 1 ]; then
  for ext in jpg png; do
    file=$work/gigapixel.$ext
    echo "writing $file ..."
    # Level 1 keeps the PNG's writing time reasonable; its decoding hardly depends on it.
    if [ $ext = png ]; then "$make_image" "$file" 32000 32000 1; else "$make_image" "$file" 32000 32000 90; fi
    ls -l "$file"
    cat "$file" >/dev/null  # into the page cache
    "$decode_floor" --runs 3 "$file"
    run_once ours "$file"
    echo "our program on $(basename "$file"): first frame ${FRAME_MS} ms, peak ${PEAK_MB} MiB"
    watch_big_load "$file"
    rm -f "$file"
  done
  exit 0
fi

"$make_image" "$work/photo.jpg" 6000 4000 90
"$make_image" "$work/photo.png" 6000 4000 6
printf '%-10s %14s %14s %7s %14s %14s %7s\n' image "ours frame ms" "feh frame ms" ratio \
  "ours peak MiB" "feh peak MiB" ratio
for ext in jpg png; do
  file=$work/photo.$ext
  cat "$file" >/dev/null
  run_once ours "$file"  # a first run for the caches, not counted
  ours_ms=() feh_ms=() ours_mb=() feh_mb=()
  for ((i = 0; i < runs; i++)); do
    run_once ours "$file"
    ours_ms+=("$FRAME_MS") ours_mb+=("$PEAK_MB")
    run_once feh "$file"
    feh_ms+=("$FRAME_MS") feh_mb+=("$PEAK_MB")
  done
  om=$(median "${ours_ms[@]}") fm=$(median "${feh_ms[@]}")
  oh=$(median "${ours_mb[@]}") fh=$(median "${feh_mb[@]}")
  printf '%-10s %14s %14s %7s %14s %14s %7s\n' "photo.$ext" "$om" "$fm" \
    "$(awk -v a="$om" -v b="$fm" 'BEGIN {printf "%.2f", a / b}')" "$oh" "$fh" \
    "$(awk -v a="$oh" -v b="$fh" 'BEGIN {printf "%.2f", a / b}')"
  echo "  runs: ours ${ours_ms[*]} ms; feh ${feh_ms[*]} ms" >&2
done
