#!/usr/bin/env bash
# `zelkzoomer --diff` beside odiff (npm odiff-bin) and ImageMagick's `compare -metric AE`
# on the same two generated 24-megapixel PNGs (6000 x 4000, photograph-like, the
# second with 40 small boxes inverted), runs interleaved, medians of RUNS each.
#
#   scripts/diff_bench.sh [BUILD_DIR] [RUNS]      (default build/, 7)
#
# Four ways are timed, each from exec to exit:
#   ours            zelkzoomer --diff A B
#   ours + picture  zelkzoomer --diff A B OUT.png
#   odiff           odiff A B --threshold 0            (exact, no picture)
#   odiff + picture odiff A B OUT.png --threshold 0
#   compare         compare -metric AE A B null:       (exact, no picture)
# The first run of each prints what it found, so the counts can be checked to agree.
# Installs ImageMagick (apt) and odiff-bin (npm, into $BUILD_DIR/diff-bench) itself.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-7}
bash scripts/install-deps.sh --bench
work="$build/diff-bench"
mkdir -p "$work"
odiff="$work/node_modules/.bin/odiff"
[ -x "$odiff" ] || npm install --silent --prefix "$work" odiff-bin@4 >/dev/null
compare=$(command -v compare)

cmake --build "$build" --target zelkzoomer zelk_make_bench_image >/dev/null
make_image="$build/tools/zelk_make_bench_image"
a="$work/a.png" b="$work/b.png"
[ -s "$a" ] || "$make_image" "$a" 6000 4000 6
[ -s "$b" ] || "$make_image" "$b" 6000 4000 6 0 40

now_ns() { date +%s%N; }
declare -A times
# run NAME COMMAND...: one timed run, its time appended to times[NAME] in ms.
run() {
  local name=$1 start end
  shift
  start=$(now_ns)
  "$@" >"$work/$name.out" 2>&1 || true
  end=$(now_ns)
  times[$name]+="$(((end - start) / 1000000)) "
}
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

for ((i = 0; i < runs; i++)); do
  run ours "$build/zelkzoomer" --diff "$a" "$b"
  run ours_picture "$build/zelkzoomer" --diff "$a" "$b" "$work/ours-diff.png"
  run odiff "$odiff" "$a" "$b" --threshold 0
  run odiff_picture "$odiff" "$a" "$b" "$work/odiff-diff.png" --threshold 0
  run compare "$compare" -metric AE "$a" "$b" null:
  if [ "$i" -eq 0 ]; then
    for name in ours odiff compare; do echo "$name says: $(head -c 200 "$work/$name.out")"; done
  fi
done

echo "medians of $runs runs, ms:"
for name in ours ours_picture odiff odiff_picture compare; do
  printf '  %-14s %6s   (%s)\n' "$name" "$(echo "${times[$name]}" | median)" "${times[$name]}"
done
ours=$(echo "${times[ours]}" | median)
ours_picture=$(echo "${times[ours_picture]}" | median)
awk -v o="$ours" -v op="$ours_picture" -v d="$(echo "${times[odiff]}" | median)" \
  -v dp="$(echo "${times[odiff_picture]}" | median)" -v c="$(echo "${times[compare]}" | median)" \
  'BEGIN { printf "ours / odiff %.2f, with pictures %.2f; ours / compare %.2f\n", o / d, op / dp, o / c }'
