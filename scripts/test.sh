#!/usr/bin/env bash
# make test: every test, on the private test bench, from inside the build tree.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'cd "$BUILD" && ctest --output-on-failure --timeout 300 "$@"' ctest "$@"
