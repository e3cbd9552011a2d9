#!/usr/bin/env bash
# make soak: a night's recording in SOAK_MINUTES (default 20) on the private test bench
# (bench/soak.py); the report is BUILD_DIR/soak/soak.md, the picture BUILD_DIR/soak/soak.png.
set -euo pipefail
# The picture is drawn with gnuplot.
if ! command -v gnuplot >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq gnuplot-nox >/dev/null
fi
exec "$(dirname "$0")/with_bench.sh" bash -c 'python3 "$ROOT/bench/soak.py" --exe "$BUILD/Recorder.exe" \
  --driver "$BUILD/tools/bench_driver.exe" --out "$BUILD/soak" "$@"' soak "$@"
