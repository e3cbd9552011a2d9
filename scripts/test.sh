#!/usr/bin/env bash
# make test: every test, on the private test bench, from inside the build tree. The cases that play
# and record in real time take a core each (CTest's resource "cores", as many as the machine has),
# and those that read the screen take the one "screen" too; the cases that wait for nothing fill the
# gaps.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'cd "$BUILD" && ctest --output-on-failure --timeout 300 \
  --parallel "$(( $(nproc) * 2 ))" "$@"' ctest "$@"
