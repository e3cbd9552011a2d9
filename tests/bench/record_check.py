#!/usr/bin/env python3
"""Records from a virtual microphone through the engine and checks the file against the ramp.

    record_check.py ROW -- EMULATOR DEVICE_TESTS_EXE

The microphone plays the counter ramp in exactly the recording format (ROW of the format table), so
the file's data must be one contiguous run of it: no gap, no repeat, no shifted byte.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import mic  # noqa: E402
import ramp  # noqa: E402
import wavefile  # noqa: E402


def main():
    split = sys.argv.index("--")
    row = int(sys.argv[1])
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "recording.wav")
        env = dict(os.environ, RECORDER_OUT="Z:" + path.replace("/", "\\"), RECORDER_FORMAT_ROW=str(row))
        result = subprocess.run([sys.executable, os.path.join(HERE, "mic.py"), "--sink",
                                 mic.argument_for(row, "Rec Engine Mic"), "--", *sys.argv[split + 1:],
                                 "--gtest_filter=RealDevice.*"], env=env)
        if result.returncode != 0:
            return result.returncode
        with open(path, "rb") as f:
            content = f.read()
    _, errors = wavefile.check(content, row)
    # The test waits for four buffers before it stops.
    lead, ramp_errors = ramp.check_recording(content[44:], wavefile.FORMATS[row], 4 * wavefile.buffer_size(row))
    seconds = (len(content) - 44) / wavefile.block_align(row) / wavefile.FORMATS[row][1]
    print(f"{lead} bytes of silence before the ramp; {seconds:.2f} s of audio")
    for e in errors + ramp_errors:
        print("FAIL:", e)
    return 1 if errors or ramp_errors else 0


if __name__ == "__main__":
    sys.exit(main())
