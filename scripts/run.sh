#!/usr/bin/env bash
# Builds the viewer and starts it; with no argument it opens the sample images that
# the project makes itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zelkzoomer zelk_make_samples
if [ $# -eq 0 ]; then
  build/zelk_make_samples build/samples >/dev/null
  set -- "$PWD/build/samples"
fi
exec build/zelkzoomer "$@"
