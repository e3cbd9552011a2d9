#!/usr/bin/env bash
# make bench: installs what is missing, builds, starts the private test bench and runs the capture
# benchmark (tests/e2e/benchmark.py); the table is printed and saved as BUILD_DIR/benchmark/benchmark.md.
# BENCH_SECONDS (default 30) sets the length of each run, BENCH_STALLS (default 0,400,1000,2000,3000) the stalls.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD_DIR:-$root/build}")

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"

"$root/scripts/bench.sh" start "$build"
trap '"$root/scripts/bench.sh" stop "$build"' EXIT
# shellcheck disable=SC1091
source "$build/bench/env.sh"
python3 "$root/tests/e2e/benchmark.py" --exe "$build/Recorder.exe" --driver "$build/tests/e2e/e2e_driver.exe" \
  --out "$build/benchmark" "$@"
