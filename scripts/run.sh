#!/usr/bin/env bash
# make run: installs what is missing, builds, and starts the recorder.
#  - With a display (DISPLAY set), the recorder runs on it under Wine, with the sound server the
#    desktop has.
#  - Without one, it runs on the private bench (virtual display, private sound server): a virtual
#    microphone plays a test tone, a short recording is made through the window into a WAVE file,
#    and a screenshot of the window is taken while it records. Both paths are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD_DIR:-$root/build}")

if [ -n "${DISPLAY:-}" ]; then
  "$root/scripts/deps.sh"
  "$root/scripts/build.sh" "$build"
  export WINEDEBUG=${WINEDEBUG:--all}
  exec wine "$build/Recorder.exe"
fi

echo "No display: recording a test tone on a virtual display and microphone."
BUILD_DIR="$build" exec "$root/scripts/with_bench.sh" bash -c '
  out="$BUILD/run"
  python3 "$ROOT/tests/e2e/e2e.py" --exe "$BUILD/Recorder.exe" --driver "$BUILD/tests/e2e/e2e_driver.exe" \
    --out "$out" demo > "$out.log" 2>&1 || { cat "$out.log"; echo "make run: the recording failed" >&2; exit 1; }
  grep -E "^ok .* s of " "$out.log" | sed "s/^ok  */Recorded /"
  echo "Recording:  $out/recording.wav"
  echo "Screenshot: $out/recording-window.png"'
