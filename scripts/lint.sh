#!/usr/bin/env bash
# The lint gate: every tracked C++ source follows .clang-format, and clang-tidy's
# checks (.clang-tidy) find nothing in src/. Needs a configured build folder for the
# compile commands (default: build). Prints what it finds and exits non-zero then.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
status=0

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${sources[@]}"; then
  echo "lint: clang-format finds sources that do not follow .clang-format" >&2
  status=1
fi

if ! run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$(pwd)/src/" >"$build/clang-tidy.log" 2>&1; then
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
  echo "lint: clang-tidy finds the above in src/ (full output: $build/clang-tidy.log)" >&2
  status=1
fi
[ $status -eq 0 ] && echo "lint: clang-format and clang-tidy clean"
exit $status
