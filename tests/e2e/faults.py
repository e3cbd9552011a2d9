#!/usr/bin/env python3
"""Fault scenarios against the real Recorder.exe under Wine: each makes something go wrong around a
recording (through e2e_driver.exe fault ...) and checks what the window showed and what the file holds.

    faults.py --exe Recorder.exe --driver e2e_driver.exe --out DIR SCENARIO

Scenarios:
    kill         the recorder is terminated mid-recording
    server       the sound server is killed mid-recording (a private daemon, not the bench's)
    disk-full    the disk fills mid-recording (run under tests/bench/tinyfs.sh)
    rapid        Stop and Record many times in a row, each Stop once the recording holds audio
    targets      read-only, folder, held open, missing folder, 259 characters, Cyrillic
                 (run under tests/bench/tinyfs.sh for the read-only file)
    device-back  the microphone goes away for several seconds and comes back under its name, recording
                 into a name of 258 characters whose " (2)" passes MAX_PATH
    session      logoff while recording: asked first, then ended, with buffers waiting each time
                 (run under tests/bench/tinyfs.sh: the window thread hangs in a write meanwhile)
    sleep        the window thread and the source stopped for 20 s, the resume notices 1.5 s late
    stall        a write that hangs for 10 s and for 60 s (run under tests/bench/tinyfs.sh, whose file
                 system is frozen meanwhile)

Run inside the bench's environment (scripts/bench.sh start; source BUILD/bench/env.sh).
"""
import argparse
import contextlib
import json
import os
import re
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "bench"))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
import frames  # noqa: E402
import losses  # noqa: E402
import mic  # noqa: E402
import ramp  # noqa: E402
import wavefile  # noqa: E402
from e2e import expect  # noqa: E402

# A tiny disk holds seconds of the recording: under a minute is told as one.
LOW_ROOM = ("На диске осталось места примерно на 1 мин записи. Когда место кончится, запись остановится, а всё "
            "записанное останется в файле.\nЗапись продолжается.")
DISK_STOPPED = "Запись остановлена: звук не удаётся записать в файл. Файл содержит всё, что было записано до ошибки."
ROW = 9  # 44.1 kHz mono 16-bit: 44100 bytes a buffer, the ramp bit-exact
BUFFER = wavefile.buffer_size(ROW)


def linux_path(windows):
    assert windows.startswith("Z:"), windows
    return windows[2:].replace("\\", "/")


def read_wave(path, what, row, complete=True):
    """The file at `path`, a WAVE file of the row's format (whose header counts exactly the data
    after it, when `complete`); returns its content and the header's data length."""
    with open(path, "rb") as f:
        content = f.read()
    h, problems = wavefile.check(content, row, complete)
    expect(not problems, f"{what}: the PCM WAVE header of {wavefile.FORMATS[row]}, lengths matching {problems}")
    return content, h["data_length"]


def tiny_fs():
    """The Windows path of the file system tests/bench/tinyfs.sh mounted for the scenario."""
    tiny = os.environ.get("RECORDER_TINY_FS")
    expect(tiny, "a tiny file system (RECORDER_TINY_FS, set by tests/bench/tinyfs.sh)")
    return tiny


def run_driver(args, sink, *command, on_line=None, **driver_options):
    """Plays the microphone, runs the driver to its RESULT; `on_line(driver, line)` answers prompts."""
    with sink:
        return e2e.Driver(args, "fault", *command, **driver_options).result(on_line)


# ---- the process is killed -------------------------------------------------------------------

def scenario_kill(args):
    path = e2e.fresh(os.path.join(args.out, "fault-kill.wav"))
    sink = e2e.sink_for(ROW, "Fault Mic Kill")
    result = run_driver(args, sink, "kill", args.exe, "Monitor of Fault Mic Kill", str(ROW), e2e.windows_path(path), "4")
    expect(result["exit_code"] == 9, "the recorder was terminated")
    content, data_length = read_wave(path, "the killed recording", ROW, complete=False)
    counted = result["buffers_after"]
    extra = len(content) - 44 - data_length
    # The header is refreshed after each append and before the read-out: it may count one buffer
    # the label had no time to show; bytes past it are the append the kill cut short.
    expect(data_length in (counted * BUFFER, (counted + 1) * BUFFER),
           f"the header counts every buffer written: {data_length} bytes, {counted} buffers shown "
           f"({result['label_after']!r})")
    expect(0 <= extra <= BUFFER, f"past the counted data at most the buffer in flight: {extra} bytes")
    lead, problems, platform = ramp.check_recording(content[44:44 + data_length], wavefile.FORMATS[ROW], data_length)
    losses.report(platform, wavefile.FORMATS[ROW])
    expect(not problems, f"the counted data is the ramp after {lead} silent bytes {problems}")
    print(f"facts: killed after {counted} buffers shown; header {data_length} bytes of data; "
          f"{extra} bytes of an unfinished append after it", flush=True)


# ---- the sound server is killed --------------------------------------------------------------

# A device that delivered once is declared gone after the ring's length and 4 s without data. Its
# last data came before the fault, so the report comes within that; 2 s more for a busy machine.
GONE_WITHIN_MS = 16000
WAITING_TEXT = ("Всё записанное сохранено в файле. Запись продолжится в следующий файл, когда устройство "
                "вернётся.")


def expect_device_waited_for(result, path, gone_text):
    box = result["box"]
    print(f"facts: box {box}; waiting: {result['waiting']}", flush=True)
    expect(result["responsive_throughout"], "the window answered messages throughout: no hang")
    expect(box["caption"] == "Recorder" and box["icon"] == "stop" and box["text"] == gone_text + "\n" + WAITING_TEXT,
           f"the error report says the device went away and that the recording goes on when it is back: {box}")
    expect(box["ms"] <= GONE_WITHIN_MS, f"it says so within {GONE_WITHIN_MS} ms: {box['ms']} ms")
    expect(result["waiting"] and result["meter_waiting"] == "Уровень: ожидание устройства",
           f"the window waits for the device: Record disabled, Stop enabled, the file complete, the level strip "
           f"says so ({result['meter_waiting']!r})")
    expect(result["exit_code"] == 0, f"Stop, then closing the window, ends the program normally ({result['exit_code']})")
    # Everything captured before the fault is kept.
    e2e.check_wave_file(path, ROW, result["buffers_before"] * BUFFER)


def scenario_server(args):
    """The sound server dies: the device stops delivering and never comes back."""
    path = e2e.fresh(os.path.join(args.out, "fault-server.wav"))
    with mic.SoundServer() as server:  # of its own, inside the scenario's: the bench's stays up
        sink = e2e.sink_for(ROW, "Fault Mic Server")

        def on_line(driver, line):
            if line == "DEVICE-GONE":
                server.kill()
                sink.player.kill()  # it played into the server that is gone
                sink.player.wait()
                sink.player = None
                sink.module = None
                driver.send("go")

        result = run_driver(args, sink, "server", args.exe, "Monitor of Fault Mic Server", str(ROW),
                            e2e.windows_path(path), "3", on_line=on_line)
    expect_device_waited_for(result, path, "Устройство аудиоввода перестало передавать звук.")


@contextlib.contextmanager
def relay_trace(functions):
    """An environment in which each Wine process lists its calls of kernel32's `functions` on its
    standard error, "PID:TID:Call KERNEL32.CreateFileW(ADDRESS L"name",...)"."""
    key = r"HKCU\Software\Wine\Debug"
    names = ";".join(f"{dll}.{f}" for f in functions for dll in ("kernel32", "kernelbase"))
    subprocess.run(["wine", "reg", "add", key, "/v", "RelayInclude", "/d", names, "/f"], check=True,
                   capture_output=True)
    try:
        yield dict(os.environ, WINEDEBUG="+pid,+relay")
    finally:
        subprocess.run(["wine", "reg", "delete", key, "/v", "RelayInclude", "/f"], capture_output=True)


def names_asked(trace, pid):
    """(function, name) of each traced call that process `pid` made with a name first."""
    call = re.compile(r'^%04x:[0-9a-f]+:Call KERNEL(?:32|BASE)\.(\w+)\([0-9a-f]+ L"((?:[^"\\]|\\.)*)"' % pid)
    return [(m[1], re.sub(r"\\(.)", r"\1", m[2])) for m in map(call.match, trace.splitlines()) if m]


def scenario_device_back(args):
    """The microphone is unplugged for several seconds (its sink unloaded: delivery stops, and
    opening it is refused with MMSYSERR_NOTENABLED) and plugged back under the same name (the same
    endpoint identity): the recording goes on into "NAME (2).wav" by itself. NAME is 258 characters
    in a deep folder, so "NAME (2).wav" passes MAX_PATH: Windows takes it only in the extended-length
    form, Wine either way, so a relay trace shows what the recorder asked of the file functions."""
    folder = e2e.fresh(os.path.join(args.out, "back"))
    first = long_path(folder, 258)
    second = first[:-len(".wav")] + " (2).wav"
    path, trace = linux_path(first), os.path.join(args.out, "back-relay.log")
    sink = e2e.sink_for(ROW, "Fault Mic Back")

    def on_line(driver, line):
        if line == "DEVICE-GONE":
            sink.unload()
            sink.player = sink.module = None
        elif line == "DEVICE-BACK":
            sink.load()
            sink.play()
        driver.send("go")

    with relay_trace(["CreateFileW", "GetFileAttributesW", "FindFirstFileW"]) as env, \
            open(trace, "w") as stderr:
        result = run_driver(args, sink, "device-back", args.exe, "Monitor of Fault Mic Back", str(ROW), first, "3",
                            on_line=on_line, env=env, stderr=stderr)
    print(f"facts: the next file's first audio {result['next_file_ms']} ms after the device was back", flush=True)
    expect_device_waited_for(result, path, "Устройство аудиоввода перестало передавать звук.")
    expect(result["box_still_up"] and not result["further_box"],
           "the recording went on beneath the box, and no second box came")
    e2e.check_wave_file(linux_path(second), ROW, 3 * BUFFER)
    names = result["files_message"]
    expect(first in names and second in names, f"after Stop one message lists the recording's files: {names!r}")

    with open(trace, encoding="utf-8", errors="replace") as f:
        asked = names_asked(f.read(), result["pid"])
    extended = "\\\\?\\" + second
    forms = sorted({f"{c} {'extended' if n == extended else 'plain'}"
                    for c, n in asked if n in (second, extended)})
    print(f"facts: {first} ({len(first)} characters) went on into its \" (2)\" ({len(second)}); the recorder "
          f"asked for that as {forms}", flush=True)
    expect(("CreateFileW", extended) in asked,
           f"the recorder created \"NAME (2).wav\" in the extended-length form (trace: {trace})")
    plain = sorted(set(c for c, n in asked if n == second))
    expect(not plain, f"it never asked for the name past MAX_PATH without the prefix: {plain}")


# ---- the disk fills --------------------------------------------------------------------------

def scenario_disk_full(args):
    windows = tiny_fs() + "\\disk-full.wav"
    path = linux_path(windows)
    sink = e2e.sink_for(ROW, "Fault Mic Disk")
    result = run_driver(args, sink, "disk-full", args.exe, "Monitor of Fault Mic Disk", str(ROW), windows, LOW_ROOM)
    boxes = result["boxes"]
    print(f"facts: {result['buffers_before_error']} buffers before the first error; boxes {boxes}", flush=True)
    # Told at Record, once, in a plain message; the recording goes on until the disk is full: the
    # failed buffer is written again with the next one, and the second failure stops the recording.
    expect([(b["caption"], b["icon"]) for b in boxes] == [("Recorder", "none")] + [("Recorder", "stop")] * 3
           and [b["text"] for b in boxes] == [LOW_ROOM, "Disk full.", "Disk full.", DISK_STOPPED],
           f"the room told at Record, then \"Disk full.\" and its retry, and the recording stopped: {boxes}")
    expect(result["buffers_before_error"] >= 1, "a buffer was recorded before the disk was full")
    expect(result["responsive"] and result["buttons"] == [True, False],
           f"the program goes on: it answers, Record enabled, Stop disabled ({result['buttons']})")
    expect(result["exit_code"] == 0, "closing the window ends the program normally")
    # It keeps every buffer written before the disk filled: failed appends are taken back whole.
    data_length = e2e.check_wave_file(path, ROW, result["buffers_before_error"] * BUFFER)["data"]
    expect(result["label_final"] == e2e.format_size(data_length),
           f"the read-out shows the bytes kept: {result['label_final']!r}")


# ---- Stop and Record in a row ----------------------------------------------------------------

def scenario_rapid(args):
    folder = e2e.fresh(os.path.join(args.out, "rapid"))
    os.makedirs(folder)
    count = 8
    # A frame counter, so each file's frames say which stretch of the signal it holds.
    sink = e2e.sink_for(11, "Fault Mic Rapid", frames.blocks())
    result = run_driver(args, sink, "rapid", args.exe, "Monitor of Fault Mic Rapid", "11", e2e.windows_path(folder),
                        str(count))
    cycles = result["cycles"]
    expect(len(cycles) == count and result["last_completed"], f"{count} recordings, the last completed")
    print(f"facts: {count} cycles in {result['total_ms']} ms; cycle times {[c['cycle_ms'] for c in cycles]} ms",
          flush=True)
    expect(result["exit_code"] == 0 and result["buttons"] == [True, False], "the program goes on and ends normally")
    previous_last = None
    for cycle in cycles:
        path = linux_path(cycle["file"])
        what = os.path.basename(path)
        content, _ = read_wave(path, what, 11)
        # Stop came after the recording's first buffer, so each file holds one at least.
        kept, problems = frames.check_recording(content[44:], wavefile.buffer_size(11) // 4)
        losses.report(kept["platform"], frames.FORMAT, f"{what}: ")
        expect(not problems, f"{what}: {kept['frames']} frames, one unbroken run of the counter {problems}")
        # Only its own recording: later than everything in the files before it.
        expect(previous_last is None or kept["first"] > previous_last,
               f"{what}: frames {kept['first']}..{kept['last']} come after the previous file's {previous_last}")
        previous_last = kept["last"]


# ---- awkward targets -------------------------------------------------------------------------

def long_path(folder, length):
    """A Windows path of exactly `length` characters under `folder`, through nested folders."""
    base = e2e.windows_path(folder)
    parts = []
    current = base
    while len(current) + 1 + 60 + 1 + 12 < length:
        parts.append("d" * 60)
        current += "\\" + parts[-1]
    name_length = length - len(current) - 1
    name = "n" * (name_length - 4) + ".wav"
    os.makedirs(os.path.join(folder, *parts), exist_ok=True)
    full = current + "\\" + name
    assert len(full) == length, (len(full), length)
    return full


def scenario_targets(args):
    folder = e2e.fresh(os.path.join(args.out, "targets"))
    os.makedirs(folder)
    a_folder = os.path.join(folder, "a-folder.wav")
    os.makedirs(a_folder)
    held = os.path.join(folder, "held.wav")
    missing = os.path.join(folder, "no-such-folder", "take.wav")
    cyrillic = os.path.join(folder, "Запись голоса.wav")
    longest = long_path(folder, 259)
    read_only = os.environ.get("RECORDER_READ_ONLY_FILE")
    expect(read_only, "an immutable read-only file (RECORDER_READ_ONLY_FILE, set by tests/bench/tinyfs.sh)")

    # target, expected outcome, the error's text when it matters
    cases = [
        ("read-only", read_only, "error", "File access denied."),
        ("folder", e2e.windows_path(a_folder), "dialog-or-error", None),
        ("held open", "held:" + e2e.windows_path(held), "error", "I/O error 32."),
        ("missing folder", e2e.windows_path(missing), "error", None),
        ("259 characters", longest, "recorded", None),
        ("Cyrillic", e2e.windows_path(cyrillic), "recorded", None),
    ]
    sink = e2e.sink_for(ROW, "Fault Mic Targets")
    result = run_driver(args, sink, "targets", args.exe, "Monitor of Fault Mic Targets", str(ROW),
                        e2e.windows_path(os.path.join(folder, "targets.labels")), *[c[1] for c in cases])
    outcomes = result["targets"]
    expect(len(outcomes) == len(cases), "every target was tried")
    for (name, target, expected, text), outcome in zip(cases, outcomes):
        print(f"facts: {name}: {json.dumps(outcome, ensure_ascii=False)}", flush=True)
        got = outcome["outcome"]
        if expected == "dialog-or-error":
            expect(got in ("dialog", "error"), f"{name}: the dialog refuses it or the recorder shows an error ({got})")
        else:
            expect(got == expected, f"{name}: {expected} ({got}: {outcome.get('text', '')!r})")
        if got == "error":
            expect(outcome["caption"] == "Recorder" and outcome["text"], f"{name}: the program's error box")
            if text:
                expect(outcome["text"] == text, f"{name}: the box says {text!r} ({outcome['text']!r})")
        expect(outcome["buttons_reset"] and outcome["responsive"] and not outcome["late_box"],
               f"{name}: the program goes on (Record enabled again, it answers, no further box)")
        if got == "recorded":
            expect(outcome["completed"], f"{name}: Stop completed the file")
            e2e.check_wave_file(linux_path(target), ROW, 2 * BUFFER)  # Stop after two buffers
    with open(linux_path(read_only), "rb") as f:
        expect(f.read() == b"not to be overwritten", "read-only: the file is unchanged")
    expect(os.path.isdir(a_folder) and not os.listdir(a_folder), "folder: still an empty folder")
    expect(not os.path.exists(os.path.dirname(missing)), "missing folder: not created")
    with open(held, "rb") as f:
        expect(f.read() == b"held by another program", "held open: the other program's content is unchanged")
    expect(result["exit_code"] == 0, "closing the window ends the program normally")


# ---- logoff -----------------------------------------------------------------------------------

def scenario_session(args):
    """Windows asks every top-level window before a logoff (the recorder asks it to wait: the system
    then lists the reason), and once the user goes on anyway, ends the session: the process may be
    ended as soon as WM_ENDSESSION returns, so the file must be complete by then."""
    tiny = tiny_fs()
    path = linux_path(tiny + "\\fault-session.wav")
    sink = e2e.sink_for(ROW, "Fault Mic Session")
    result = run_driver(args, sink, "session", args.exe, "Monitor of Fault Mic Session", str(ROW),
                        e2e.windows_path(path), "3", on_line=freezer(linux_path(tiny)))
    expect(result["query_logoff"] == 0, "asked at logoff while recording, the recorder asks the system to wait")
    expect(result["exit_code"] == 9, "the recorder was ended right after the end of the session")
    content, data_length = read_wave(path, "the recording ended with the session", ROW)
    # 1.5 s hung in a write: about three buffers handed back meanwhile, which only the end-of-session
    # handler could write.
    before = result["buffers_before_end"]
    expect(data_length >= (before + 2) * BUFFER,
           f"the buffers waiting when the session ended are in the file: {data_length} bytes, {before} buffers "
           f"shown before")
    lead, problems, platform = ramp.check_recording(content[44:], wavefile.FORMATS[ROW], data_length)
    losses.report(platform, wavefile.FORMATS[ROW])
    expect(not problems, f"the data is the ramp after {lead} silent bytes {problems}")
    print(f"facts: {before} buffers before the end; {data_length // BUFFER} buffers and "
          f"{data_length % BUFFER} bytes in the file", flush=True)


# ---- asleep while the clock runs on -----------------------------------------------------------

def scenario_sleep(args):
    """Modern Standby, a debugger, a paused virtual machine: the window's thread does not run for 20 s,
    longer than the silence allowance, while the source delivers nothing; the resume notices come
    1.5 s after the thread runs again, so its silence check comes first. The recording goes on in
    the same file, with one break at most, where the source stopped."""
    path = e2e.fresh(os.path.join(args.out, "fault-sleep.wav"))
    e2e.fresh(os.path.join(args.out, "fault-sleep (2).wav"))
    sink = e2e.sink_for(11, "Fault Mic Sleep", frames.blocks())

    def on_line(driver, line):
        if line in ("SLEEP", "WAKE"):
            subprocess.run(["pactl", "suspend-sink", sink.sink_name, "1" if line == "SLEEP" else "0"], check=True)
            driver.send("go")

    result = run_driver(args, sink, "sleep", args.exe, "Monitor of Fault Mic Sleep", "11", e2e.windows_path(path),
                        "20000", "1500", on_line=on_line)
    expect(result["went_on"] and not result["box"] and not result["late_box"],
           f"no box: the time asleep was not taken for the device's silence ({result['box']!r}, "
           f"{result['late_box']!r})")
    expect(not os.path.exists(os.path.join(args.out, "fault-sleep (2).wav")), "no next file: the same one went on")
    expect(result["completed"] and result["exit_code"] == 0, "Stop completed the file, and the program ends normally")
    content, _ = read_wave(path, "the recording across the sleep", 11)
    kept = frames.analyse(content[44:])
    print(f"facts: {kept['frames']} frames, breaks {kept['gaps']}, {result['buffers_before_wake']} buffers before "
          f"the wake", flush=True)
    own, platform = losses.split(frames.places(kept), frames.FORMAT)
    losses.report(platform, frames.FORMAT)
    expect(len(own) <= 1 and not kept["odd_bytes"] and kept["repeated"] == 0,
           f"one unbroken run of the counter on either side of the sleep: {len(own)} breaks of the recorder's")
    expect(kept["frames"] - kept["silence"] >= (result["buffers_before_wake"] + 4) * wavefile.buffer_size(11) // 4,
           "the file holds the buffers before and after the sleep")


# ---- a write hangs ---------------------------------------------------------------------------

def freezer(folder):
    """Answers the driver's FREEZE and THAW: the file system at `folder` stops taking writes (a write
    hangs until it is thawed, as on a share that reconnects), and takes them again."""
    def on_line(driver, line):
        if line in ("FREEZE", "THAW"):
            subprocess.run(["fsfreeze", "-f" if line == "FREEZE" else "-u", folder], check=True)
            driver.send("go")
    return on_line


def scenario_stall(args):
    """A write hangs, then a second of running: with the smallest buffers (11024 bytes) for 10 s, and
    the largest (88200) for a minute, the longest the recorder is built for. The largest play the
    frame counter, which a second client records too: a stretch it missed as well, the source did
    not deliver."""
    tiny = tiny_fs()
    for row, hang_ms in ((1, 10000), (11, 60000)):
        what = f"row {row}, {hang_ms // 1000} s"
        path = linux_path(f"{tiny}\\fault-stall-row{row:02d}.wav")
        counter = row == 11
        sink = e2e.sink_for(row, "Fault Mic Stall", frames.blocks() if counter else None)
        peer_path = os.path.join(args.out, f"fault-stall-row{row:02d}-parecord.raw")
        with sink:
            peer = sink.second_client(peer_path)
            try:
                result = e2e.Driver(args, "fault", "stall", args.exe, "Monitor of Fault Mic Stall", str(row),
                                    e2e.windows_path(path), str(hang_ms)).result(freezer(linux_path(tiny)))
            finally:
                peer.send_signal(signal.SIGINT)
                peer.wait(10)
        print(f"facts: {what}: hung {result['hung_ms']} ms over {result['wall_ms']} ms", flush=True)
        expect(result["held"], f"{what}: the window's thread hung in its write throughout")
        expect(result["completed"] and result["exit_code"] == 0,
               f"{what}: Stop completed the file, and closing the window ends the program normally")
        channels, rate, bits = wavefile.FORMATS[row]
        # Capture may begin a second or two late; a recording that lost the hang keeps far less.
        least = result["wall_ms"] * rate * channels * bits // 8 // 1000 // 2
        if not counter:
            e2e.check_wave_file(path, row, least)
            continue
        content, _ = read_wave(path, what, row)
        with open(peer_path, "rb") as f:
            heard = frames.analyse(f.read())
        kept, problems = frames.check_recording(content[44:], least // 4, [heard])
        losses.report(kept["platform"], frames.FORMAT, f"{what}: ")
        expect(not problems, f"{what}: {kept['frames']} frames, one unbroken run of the counter {problems}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("scenario", choices=["kill", "server", "disk-full", "rapid", "targets", "session", "sleep", "stall",
                                             "device-back"])
    args = parser.parse_args()
    args.exe = e2e.windows_path(args.exe)
    os.makedirs(args.out, exist_ok=True)
    started = time.monotonic()
    code = e2e.run({"kill": scenario_kill, "server": scenario_server, "disk-full": scenario_disk_full,
                    "rapid": scenario_rapid, "targets": scenario_targets, "session": scenario_session, "device-back": scenario_device_back,
                    "sleep": scenario_sleep, "stall": scenario_stall}[args.scenario], args)
    print(f"time: {time.monotonic() - started:.1f} s", flush=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
