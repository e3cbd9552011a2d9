#!/usr/bin/env bash
# make bench: the capture benchmark (bench/benchmark.py) on the private test bench, about 9 minutes;
# the table is printed and saved as BUILD_DIR/benchmark/benchmark.md. BENCH_SECONDS (default 30) sets
# the length of each run, BENCH_STALLS (default 400,1000,2000,3000,5000,10000,30000) the stalls,
# BENCH_PAIRS (default 3) the unstalled runs with the window shown and then minimized, measured against
# the windowed peer, BENCH_SUSPEND (at-rest, anywhere, busy) where the window thread is suspended.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'python3 "$ROOT/bench/benchmark.py" --exe "$BUILD/Recorder.exe" \
  --driver "$BUILD/tools/bench_driver.exe" --out "$BUILD/benchmark" "$@"' benchmark "$@"
