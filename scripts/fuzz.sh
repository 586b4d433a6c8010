#!/usr/bin/env bash
# Fuzzes the readers and parsers with libFuzzer for a set time each and keeps what
# it finds.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [TARGET...]
#
#   -t  time per target in seconds (default 600)
#   -j  targets fuzzed at once (default 2); each runs under nice -n 19
#   TARGET  names as in fuzz/CMakeLists.txt (bmp png png_whole jpeg ico wmf emf
#           metafile_structure field_scanner colour_ranges colour_name file_spec
#           redirection); default all
#
# Builds build-fuzz with clang (-DZELK_FUZZ=ON). Each target starts from its committed
# seeds (fuzz/corpus/<target>), its kept crashers and the public test files; the
# corpus it grows stays in build-fuzz/fuzz-work/<target>/corpus, so the committed one
# stays small. Every crash, hang (timeout), leak or out-of-memory input is copied to
# fuzz/regressions/<target>/ and replayed by the normal test run from then on - commit
# it once the fault is fixed. The totals (time, executions, coverage, findings) of the
# run go to build-fuzz/fuzz-work/summary.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh --fuzz

seconds=600
jobs=2
while getopts "t:j:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,22p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

all=(bmp png png_whole jpeg ico wmf emf metafile_structure field_scanner colour_ranges colour_name file_spec redirection)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

# Longest input per target: enough for every structure of the format, small enough
# to keep the executions fast.
max_len() {
  case $1 in
    bmp | png | png_whole | jpeg | ico) echo 32768 ;;
    wmf | emf) echo 16384 ;;
    metafile_structure) echo 4096 ;; # choices, each a record or more
    *) echo 1024 ;;
  esac
}

# Seconds one input may take before it counts as a hang. The raster readers are
# bounded by what an input's bytes justify (JPEG: a work budget of about half a
# second for 32 KiB in a release build), so 5 s is ten times what any input may
# rightly cost. A metafile may legitimately spend its whole playback budget (64 work
# units per picture pixel, the picture capped by the 64 MiB allocation limit below at
# about 22 megapixels): about 30 seconds in this sanitized, instrumented build, so the
# metafile targets get twice that.
timeout_for() {
  case $1 in
    bmp | png | png_whole | jpeg | ico) echo 5 ;;
    wmf | emf | metafile_structure) echo 60 ;;
    *) echo 20 ;;
  esac
}

# The public test files that seed each target (left out when absent).
testdata() {
  local t=$root/../shared/testdata
  case $1 in
    bmp) echo "$t/bmp/b $t/bmp/q $t/bmp/g" ;;
    png | png_whole) echo "$t/png/crashers $t/png/broken $t/png/suite" ;;
    jpeg) echo "$t/jpeg" ;;
    ico) echo "$t/ico" ;;
    wmf | emf) echo "$t/metafile" ;;
  esac
}

build=$root/build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELK_FUZZ=ON -DZELK_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target $(printf 'zelk_fuzz_%s ' "${targets[@]}")

work=$build/fuzz-work
mkdir -p "$work"

# Allocations over 64 MiB fail as on a machine short of memory (the readers then
# report "not enough memory"): a few bytes of RLE or PNG may rightly claim a
# gigapixel, and filling that on every execution would slow the run to a crawl.
# Leaks are findings.
export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=64:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp
export QT_QPA_PLATFORM=offscreen

run_one() {
  local t=$1 dir=$work/$1
  mkdir -p "$dir/corpus" "$dir/artifacts"
  local seeds=("$root/fuzz/corpus/$t")
  [ -d "$root/fuzz/regressions/$t" ] && seeds+=("$root/fuzz/regressions/$t")
  for d in $(testdata "$t"); do [ -d "$d" ] && seeds+=("$d"); done
  local start=$SECONDS
  # -fork keeps going after a finding, so one crash does not end the target's time.
  nice -n 19 "$build/fuzz/zelk_fuzz_$t" "$dir/corpus" "${seeds[@]}" \
    -max_total_time="$seconds" -max_len="$(max_len "$t")" -rss_limit_mb=4096 -timeout="$(timeout_for "$t")" \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/" >"$dir/log.txt" 2>&1 || true
  echo $((SECONDS - start)) >"$dir/seconds"
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

summary=$work/summary.md
{
  echo "| target | seconds | executions | cov (edges) | corpus | crashes | hangs | leaks | ooms |"
  echo "|---|---|---|---|---|---|---|---|---|"
} >"$summary"
found=0
for t in "${targets[@]}"; do
  dir=$work/$t
  log=$dir/log.txt
  # Fork mode's status lines: "#N: cov: X ft: Y corp: Z exec/s: E oom/timeout/crash: a/b/c time: Ts job: J dft_time: D".
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -1 || true)
  execs=$(sed -nE 's/^#([0-9]+): cov:.*/\1/p' <<<"$last")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+).*/\1/p' <<<"$last")
  count() { find "$dir/artifacts" -name "$1-*" 2>/dev/null | wc -l; }
  crashes=$(count crash)
  hangs=$(count timeout)
  leaks=$(count leak)
  ooms=$(count oom)
  echo "| $t | $(cat "$dir/seconds" 2>/dev/null || echo ?) | ${execs:-?} | ${cov:-?} | ${corp:-?} | $crashes | $hangs | $leaks | $ooms |" >>"$summary"
  if [ -n "$(ls -A "$dir/artifacts" 2>/dev/null)" ]; then
    mkdir -p "$root/fuzz/regressions/$t"
    cp -n "$dir/artifacts"/* "$root/fuzz/regressions/$t/"
    found=1
  fi
done
cat "$summary"
if [ "$found" -ne 0 ]; then
  echo "New findings were copied to fuzz/regressions/; the logs are in $work/<target>/." >&2
  exit 1
fi
