#!/usr/bin/env bash
# make test: every test, on the private test bench, from inside the build tree. The cases that play
# and record in real time take a core each (their resource group "cores", as many as the machine has),
# and those that read the screen take the one "screen" too; the cases that wait for nothing fill the
# gaps.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'cd "$BUILD" &&
  printf "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"cores\": [{\"id\": \"0\", \"slots\": %d}], \"screen\": [{\"id\": \"0\", \"slots\": 1}]}]}\n" \
    "$(nproc)" > resources.json &&
  ctest --output-on-failure --timeout 300 --parallel "$(( $(nproc) * 2 ))" --resource-spec-file resources.json "$@"' ctest "$@"
