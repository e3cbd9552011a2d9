#!/usr/bin/env python3
"""Reads the writer's WAVE files with Python's own `wave` module.

    wave_check.py EMULATOR WRITER_TESTS_EXE

Runs writer_tests' WaveReaderFiles cases with RECORDER_WAVE_OUT pointing at a scratch folder: one
writes a complete file per recording format; the other appends buffers until this script kills
it with SIGKILL, as a crash would. Every file must then open in `wave` with the format its name
states and hold exactly the pattern bytes the test appended (byte i is i mod 251).
"""
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wavefile  # noqa: E402

KILL_AFTER_APPENDS = 8
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def pattern(n):
    return bytes(i % 251 for i in range(n))


def check_file(path, channels, rate, bits, data_length):
    """Checks format, lengths and audio bytes; returns the file's size."""
    name = os.path.basename(path)
    with open(path, "rb") as f:
        content = f.read()
    header, problems = wavefile.check(content, wavefile.row_of(channels, rate, bits), complete=False)
    if problems or header["data_length"] != data_length:
        fail(f"{name}: header {problems}, data length {header.get('data_length')}, expected {data_length}")
    with wave.open(path, "rb") as w:
        block = channels * bits // 8
        got = (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getcomptype(), w.getnframes())
        want = (channels, bits // 8, rate, "NONE", data_length // block)
        if got != want:
            fail(f"{name}: wave reads {got}, expected {want}")
        frames = w.readframes(w.getnframes())
    if frames != pattern(len(frames)) or len(frames) != data_length // block * block:
        fail(f"{name}: audio bytes differ from those appended")
    if content[44:44 + data_length] != pattern(data_length):
        fail(f"{name}: data chunk differs from the appended bytes")
    return len(content)


def run_complete(emulator, exe, env, out):
    result = subprocess.run([emulator, exe, "--gtest_filter=WaveReaderFiles.Complete"], env=env,
                            capture_output=True, text=True, timeout=120)
    if result.returncode != 0 or "[  PASSED  ] 1 test" not in result.stdout or "SKIPPED" in result.stdout:
        fail("writer_tests WaveReaderFiles.Complete did not pass:\n" + result.stdout + result.stderr)
        return
    names = sorted(n for n in os.listdir(out) if n.startswith("complete_"))
    if len(names) != 12:
        fail(f"expected 12 complete files, found {len(names)}: {names}")
    for name in names:
        channels, rate, bits, total = map(int, re.match(r"complete_(\d+)_(\d+)_(\d+)_(\d+)\.wav", name).groups())
        before = len(failures)
        size = check_file(os.path.join(out, name), channels, rate, bits, total)
        if size != 44 + total:
            fail(f"{name}: {size} bytes on disk, expected {44 + total}")
        if len(failures) == before:
            print(f"ok {name}: {channels} ch, {rate} Hz, {bits} bit, {total} audio bytes, {size} bytes")


def run_killed(emulator, exe, env, out):
    # A session of its own, so the kill reaches every process the emulator started.
    process = subprocess.Popen([emulator, exe, "--gtest_filter=WaveReaderFiles.KilledMidRecording"],
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True)
    seen = 0
    buffered = b""
    deadline = time.monotonic() + 60
    try:
        while seen < KILL_AFTER_APPENDS and time.monotonic() < deadline:
            ready, _, _ = select.select([process.stdout], [], [], 1.0)
            if not ready:
                continue
            chunk = os.read(process.stdout.fileno(), 4096)
            if not chunk:
                break
            buffered += chunk
            seen = max([seen] + [int(n) for n in re.findall(rb"appended (\d+)", buffered)])
    finally:
        os.killpg(process.pid, signal.SIGKILL)
    rest, _ = process.communicate(timeout=30)
    buffered += rest
    seen = max([seen] + [int(n) for n in re.findall(rb"appended (\d+)", buffered)])
    if seen < KILL_AFTER_APPENDS:
        fail("the killed recording never got going:\n" + buffered.decode(errors="replace"))
        return

    names = [n for n in os.listdir(out) if n.startswith("killed_")]
    if len(names) != 1:
        fail(f"expected one killed file, found {names}")
        return
    name = names[0]
    path = os.path.join(out, name)
    channels, rate, bits, buffer = map(int, re.match(r"killed_(\d+)_(\d+)_(\d+)_(\d+)\.wav", name).groups())
    with open(path, "rb") as f:
        header, _ = wavefile.check(f.read(44), wavefile.row_of(channels, rate, bits), complete=False)
    data_length = header.get("data_length", 0)
    buffers, partial = divmod(data_length, buffer)
    # Appends reported before the kill are all in the header; at most one more may be, whose
    # report was still on its way.
    if partial or not seen <= buffers <= seen + 1:
        fail(f"{name}: header holds {data_length} bytes, {seen} appends were reported")
    before = len(failures)
    size = check_file(path, channels, rate, bits, data_length)
    in_flight = size - 44 - data_length
    if not 0 <= in_flight <= buffer:
        fail(f"{name}: {in_flight} bytes beyond the header's data, more than the buffer in flight")
    if len(failures) == before:
        print(f"ok {name}: killed after {seen} reported appends; header and wave read {buffers} "
              f"buffers ({data_length} bytes); {in_flight} bytes of the buffer in flight beyond them")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    emulator, exe = sys.argv[1], sys.argv[2]
    out = tempfile.mkdtemp(prefix="recorder-wave-check.")
    try:
        env = dict(os.environ, RECORDER_WAVE_OUT="Z:" + out.replace("/", "\\"))
        run_complete(emulator, exe, env, out)
        run_killed(emulator, exe, env, out)
    finally:
        shutil.rmtree(out, ignore_errors=True)
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    print("all files read back as written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
