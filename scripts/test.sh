#!/usr/bin/env bash
# Builds everything twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer),
# warnings as errors, runs the lint gate (clang-format, clang-tidy) and every test in
# both builds: unit, widget, fuzz-corpus replay and real-window tests. Ends with
# CTest's summary line of the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
jobs=$(nproc)
# Tests that use another program (Xvfb, xdotool, ImageMagick, wmf2gd, poppler) fail
# rather than skip when it is missing.
export ZELK_TOOLS_REQUIRED=1
phase() { echo "== $1 (at ${SECONDS} s) =="; }

phase "Building the sanitized build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELK_SANITIZE=ON -DZELK_WERROR=ON -DCMAKE_CXX_FLAGS=-O1 >/dev/null
cmake --build build-asan -j "$jobs"
phase "Building the plain build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

status=0
phase "Lint gate (clang-format, clang-tidy)"
bash scripts/lint.sh build || status=1
phase "Testing the sanitized build (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300 || status=1
phase "Testing the plain build"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300 || status=1
exit $status
