#!/usr/bin/env bash
# make look: screenshots of the window at 96 and 144 ppi with the Western and the Cyrillic code page,
# to look at: BUILD_DIR/e2e/window-{96,144}-{en_US,ru_RU}.png.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'python3 "$ROOT/tests/e2e/e2e.py" --exe "$BUILD/Recorder.exe" \
  --driver "$BUILD/tests/e2e/e2e_driver.exe" --out "$BUILD/e2e" look' look
