#!/usr/bin/env bash
# make look: screenshots of the window at 96 and 144 ppi with the Western and the Cyrillic code page,
# to look at: BUILD_DIR/e2e/window-{96,144}-{en_US,ru_RU}.png; and one while it records a tone,
# BUILD_DIR/e2e/window-tone.png, which is also the README's picture, docs/window-recording.png.
set -euo pipefail
exec "$(dirname "$0")/with_bench.sh" bash -c 'python3 "$ROOT/tests/e2e/e2e.py" --exe "$BUILD/Recorder.exe" \
  --driver "$BUILD/tests/e2e/e2e_driver.exe" --out "$BUILD/e2e" look &&
  mkdir -p "$ROOT/docs" && cp "$BUILD/e2e/window-tone.png" "$ROOT/docs/window-recording.png" &&
  echo "README picture: $ROOT/docs/window-recording.png"' look
