#!/usr/bin/env python3
"""Records from a virtual microphone through the engine and checks the file against the ramp.

    record_check.py ROW FORMAT RATE CHANNELS -- EMULATOR DEVICE_TESTS_EXE

The microphone plays the counter ramp in exactly the recording format (ROW of the format table), so
the file's data must be one contiguous run of it: no gap, no repeat, no shifted byte.
"""
import os
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ramp  # noqa: E402


def main():
    split = sys.argv.index("--")
    row, fmt, rate, channels = sys.argv[1:split]
    command = sys.argv[split + 1:]
    bits = 8 if fmt == "u8" else 16
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "recording.wav")
        env = dict(os.environ, RECORDER_OUT="Z:" + path.replace("/", "\\"), RECORDER_FORMAT_ROW=row)
        result = subprocess.run([sys.executable, os.path.join(HERE, "mic.py"),
                                 "--sink", f"Rec Engine Mic:{fmt}:{rate}:{channels}", "--", *command,
                                 "--gtest_filter=RealDevice.*"], env=env)
        if result.returncode != 0:
            return result.returncode
        with wave.open(path, "rb") as w:
            params = (w.getnchannels(), w.getsampwidth() * 8, w.getframerate())
            data = w.readframes(w.getnframes())
        size = os.path.getsize(path)
    errors = []
    if params != (int(channels), bits, int(rate)):
        errors.append(f"header says {params}, recorded {(int(channels), bits, int(rate))}")
    if size != 44 + len(data):
        errors.append(f"file of {size} bytes holds {len(data)} bytes of audio after its header")
    silence, words, breaks = ramp.check_recording(data, bits)
    print(f"{silence} bytes of silence before the ramp")
    seconds = len(data) / (int(rate) * int(channels) * bits // 8)
    print(f"{seconds:.2f} s of audio, {words} counter words, {len(breaks)} breaks")
    if breaks:
        errors.append(f"the ramp breaks {len(breaks)} times, first at {breaks[:3]}")
    if seconds < 1.9:
        errors.append(f"only {seconds:.2f} s recorded")
    for e in errors:
        print("FAIL:", e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
