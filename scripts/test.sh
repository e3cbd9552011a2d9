#!/usr/bin/env bash
# make test: every test, on the private test bench, from inside the build tree. Most of them wait for
# sound in real time, each with a sound server of its own, so they run two per core.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'cd "$BUILD" && ctest --output-on-failure --timeout 300 \
  --parallel "$(( $(nproc) * 2 ))" "$@"' ctest "$@"
