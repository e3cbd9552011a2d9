#!/usr/bin/env bash
# Installs what is missing, builds, starts the private test bench, runs COMMAND in its environment
# and stops the bench afterwards. The build tree is BUILD_DIR (default build), exported as BUILD.
#   with_bench.sh COMMAND [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD_DIR:-$root/build}")

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"

"$root/scripts/bench.sh" start "$build"
trap '"$root/scripts/bench.sh" stop "$build"' EXIT
# shellcheck disable=SC1091
source "$build/bench/env.sh"
export ROOT="$root" BUILD="$build"
"$@"
