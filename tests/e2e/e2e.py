#!/usr/bin/env python3
"""End-to-end scenarios: each loads one virtual microphone on the bench's sound server, runs the
window driver (e2e_driver.exe) against Recorder.exe under Wine and checks what came out.

    e2e.py --exe Recorder.exe --driver e2e_driver.exe --out DIR SCENARIO [options]

Scenarios:
    record --row N [--buffers B] [--replace] [--close] [--screenshot PNG] [--planted DLL_DIR]
    level --signal tone|silence [--screenshot PNG]
    window
    device-error
    look            (screenshots of the window at 96 and 144 ppi, Western and Cyrillic code pages, and
                     while it records a tone)
    demo            (make run without a display: a test tone recorded through the window)

Run inside the bench's environment (scripts/bench.sh start; source BUILD/bench/env.sh).
"""
import argparse
import array
import itertools
import json
import math
import os
import re
import shutil
import subprocess
import sys
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "bench"))
import losses  # noqa: E402
import mic  # noqa: E402
import ramp  # noqa: E402
import wavefile  # noqa: E402
from wavefile import FORMATS, buffer_size  # noqa: E402


def format_size(n):
    k = int(n / 1024)  # toward zero
    return f"{k} КБ" if k else f"{n} байт"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Failed(Exception):
    pass


def run(scenario, args):
    """Runs a scenario with a sound server of its own; the exit code: 1 when a check failed."""
    try:
        with mic.SoundServer():
            scenario(args)
    except Failed:
        return 1
    except mic.PlayerFailed as failure:
        print(f"FAIL {failure}", flush=True)
        return 1
    return 0


def expect(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        raise Failed(what)


def fresh(path):
    """Removes what an earlier run left at `path` (a file or a folder); returns the path."""
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)
    return path


def sink_for(row, description, signal=None):
    return mic.Sink(mic.argument_for(row, description), row, signal)


def source_outputs():
    """Names of the sources that recording streams of the sound server read from."""
    sources = {}
    for line in subprocess.run(["pactl", "list", "short", "sources"], capture_output=True, text=True).stdout.splitlines():
        fields = line.split("\t")
        sources[fields[0]] = fields[1]
    used = []
    for line in subprocess.run(["pactl", "list", "short", "source-outputs"], capture_output=True, text=True).stdout.splitlines():
        fields = line.split("\t")
        used.append(sources.get(fields[1], fields[1]))
    return used


def take_screenshot(path, rect):
    """The main window as the virtual display shows it: its rectangle of the whole screen (tests
    beside it show windows of the same title, elsewhere)."""
    left, top, width, height = rect
    shot = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}", path],
                          capture_output=True, text=True)
    expect(shot.returncode == 0 and os.path.exists(path) and os.path.getsize(path) > 0,
           f"screenshot of the window while recording {shot.stderr.strip()}")
    print(f"screenshot: {path}", flush=True)


def sine_stretches(rate, channels, stretches):
    """A 440 Hz sine in stretches of (seconds, dBFS per channel), over and over; None: digital
    silence. Each stretch holds whole periods, so the phase runs on across them. Little-endian, as
    on the machines this runs on."""
    blocks = []
    for seconds, levels in stretches:
        samples = array.array("h")
        for i in range(int(seconds * rate)):
            v = math.sin(2 * math.pi * 440 * i / rate)
            samples.extend(0 if db is None else round(32768 * 10 ** (db / 20) * v) for db in levels[:channels])
        blocks.append(samples.tobytes())
    return itertools.cycle(blocks)


class Driver:
    """e2e_driver.exe under Wine, read line by line."""

    def __init__(self, args, *command, env=None, stderr=subprocess.DEVNULL):
        self.process = subprocess.Popen(
            ["wine", args.driver, *command], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=stderr, env=env, text=True, encoding="utf-8", errors="replace")
        self.lines = []

    def lines_until(self, prefix):
        """Echoes the driver's lines until one starts with `prefix`; returns its rest, or None at the end."""
        for line in self.process.stdout:
            line = line.rstrip("\r\n")
            self.lines.append(line)
            print("  driver: " + line, flush=True)
            if line.startswith(prefix):
                return line[len(prefix):].strip()
        return None

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def result(self, on_line=None):
        """Waits for the driver's RESULT line and its end; the result's fields. `on_line(driver, line)`
        answers the driver's other lines."""
        line = self.lines_until("")  # every line
        while line is not None and not line.startswith(("RESULT", "FAIL ")):
            if on_line:
                on_line(self, line)
            line = self.lines_until("")
        if line is not None and line.startswith("FAIL "):
            # It gave up; a recorder it started may keep its output open, so its end is not awaited.
            expect(False, f"the driver finished (exit code {self.process.wait(timeout=60)})")
        code = self.finish()
        expect(line is not None and code == 0, f"the driver finished (exit code {code})")
        return json.loads(line[len("RESULT"):])

    def finish(self, timeout=60):
        rest, _ = self.process.communicate(timeout=timeout)
        for line in rest.splitlines():
            self.lines.append(line)
            print("  driver: " + line, flush=True)
        return self.process.returncode


def check_wave_file(path, row, min_bytes):
    """Checks the header against the format and the data against the ramp, at least `min_bytes` of
    it; returns facts for the report."""
    with open(path, "rb") as f:
        content = f.read()
    h, problems = wavefile.check(content, row)
    expect(not problems, f"{path}: the PCM WAVE header of {FORMATS[row]}, whose lengths match the data {problems}")
    with wave.open(path, "rb") as w:
        expect((w.getnchannels(), w.getframerate(), w.getsampwidth() * 8) == FORMATS[row],
               "Python's wave module reads the file")
        # An odd length of 8-bit stereo ends in half a frame, which the module leaves out.
        expect(w.getnframes() == h["data_length"] // h["block_align"], f"{w.getnframes()} frames")
    lead, problems, platform = ramp.check_recording(content[44:], FORMATS[row], min_bytes)
    losses.report(platform, FORMATS[row])
    expect(not problems, f"the data, {h['data_length']} bytes, is the ramp after {lead} silent bytes {problems}")
    return {"data": h["data_length"], "seconds": h["data_length"] / h["byte_rate"], "lead": lead}


def check_labels(result, row, data_length, closed):
    """The label's texts: one step per full buffer, the file's size right after Stop, then the total.
    The label is told only what changes, so a text that reads as the one before it is not logged."""
    size = buffer_size(row)
    texts = [text for _, text in result["labels"][1:]]  # the first is the probe's own
    ticks = [tick for tick, _ in result["labels"][1:]]
    k = 0
    while k < len(texts) and texts[k] == format_size((k + 1) * size):
        k += 1
    expect(k >= 1, f"the label grew by {size} bytes per buffer ({k} buffers): {texts}")
    rest = texts[k:]
    shown = texts[k - 1]
    if not closed:
        if format_size(44 + k * size) != shown:
            expect(rest[:1] == [format_size(44 + k * size)],
                   f"right after Stop the label shows the file's size {44 + k * size}: {rest[:1]}")
            rest, shown = rest[1:], rest[0]
        expect(result["label_final"] == format_size(data_length),
               f"finally the label shows the data length: {result['label_final']}")
    total = format_size(data_length)
    expect(rest == ([] if total == shown else [total]), f"then the total {total}, once: {rest}")
    expect(k * size <= data_length <= (k + 1) * size,
           f"the last buffer ({data_length - k * size} bytes) holds at most one buffer's worth")
    intervals = [b - a for a, b in zip(ticks[:k], ticks[1:k])]
    if intervals:
        mean = sum(intervals) / len(intervals)
        expect(300 <= mean <= 700, f"about half a second between buffers: {intervals} ms")
    return {"buffers": k, "intervals_ms": intervals, "first_buffer_ms": ticks[0] - result["accepted_ms"]}


PLANTED = ("winmm.dll", "version.dll", "uxtheme.dll")


def plant(args):
    """Recorder.exe in a folder of its own beside DLLs named as system DLLs, and an environment in
    which Wine, as Windows does, prefers a DLL in the program's folder to its own."""
    folder = fresh(os.path.join(args.out, "planted"))
    os.makedirs(folder)
    shutil.copy(args.exe_file, folder)
    for name in PLANTED:
        shutil.copy(os.path.join(args.planted, name), folder)
    env = dict(os.environ)
    env["WINEDLLOVERRIDES"] = ";".join(filter(None, [env.get("WINEDLLOVERRIDES"), "winmm,uxtheme,version=n,b"]))
    # The loader warns of each function a planted DLL lacks, naming the module that imports it.
    env["WINEDEBUG"] = "-all,warn+module"
    return folder, env


def check_planted(folder, loader_log):
    """No planted DLL ran in the recorder, unless only Wine's own DLLs import it: Wine's user32
    imports version.dll as the process starts (and its sound driver does too). On Windows user32
    is a known DLL, whose imports come from the system folder."""
    with open(loader_log, encoding="utf-8", errors="replace") as f:
        imports = re.findall(r'No implementation for (\w+\.dll)\.\w+ imported from L"([^"]+)"', f.read())
    for name in PLANTED:
        importers = sorted({importer.replace("\\\\", "\\") for dll, importer in imports if dll.lower() == name})
        loaded = os.path.exists(os.path.join(folder, name + ".loaded"))
        wine_only = importers and all(i.lower().startswith("c:\\windows\\system32\\") for i in importers)
        expect(not loaded or wine_only,
               f"{name} beside the program: " + (f"loaded, imported by {importers}" if loaded else "not loaded"))


def scenario_record(args):
    row = args.row
    path = os.path.join(args.out, f"row{row:02d}{'-closed' if args.close else ''}.wav")
    fresh(path)
    if args.replace:
        # A longer file of other content, to be replaced whole.
        with open(path, "wb") as f:
            f.write(b"\xff" * (3 * 1024 * 1024))
    facts = {"row": row}
    exe, env, loader_log = args.exe, None, None
    if args.planted:
        folder, env = plant(args)
        exe = windows_path(os.path.join(folder, os.path.basename(args.exe_file)))
        loader_log = os.path.join(args.out, "planted-loader.log")
    with sink_for(row, f"E2E Mic {row}") as sink:
        command = ["record", exe, f"Monitor of E2E Mic {row}", str(row), windows_path(path), str(args.buffers)]
        if args.close:
            command.append("--close")
        if args.screenshot:
            command.append("--corner")
        with open(loader_log or os.devnull, "w") as stderr:
            driver = Driver(args, *command, env=env, stderr=stderr)
        rect = driver.lines_until("RECORDING")
        expect(rect is not None, "the recording started")
        used = source_outputs()
        # Streams of other programs may come and go; the recorder's must read this microphone.
        expect(f"{sink.sink_name}.monitor" in used, f"the recording reads this microphone's source: {used}")
        if args.screenshot:
            take_screenshot(args.screenshot, json.loads(rect))
        result = driver.result()
    expect(result["buttons_shown"] == [True, False], "shown: Record enabled, Stop disabled")
    expect(result["buttons_recording"] == [False, True] and result["buttons_before_stop"] == [False, True],
           "recording: Record disabled, Stop enabled")
    if not args.close:
        expect(result["buttons_stopped"] == [True, False], "stopped: Record enabled, Stop disabled")
        expect(result["box_up"] == "", f"no box came up: {result['box_up']!r}")
    expect(result["exit_code"] == 0, f"the program ended with code {result['exit_code']}")
    facts.update(check_wave_file(path, row, args.buffers * buffer_size(row)))
    facts.update(check_labels(result, row, facts["data"], args.close))
    if args.planted:
        check_planted(folder, loader_log)
    print("facts: " + json.dumps(facts), flush=True)
    print(f"recording: {path}", flush=True)


METER_DB = re.compile(r"^Уровень: (−?)(\d+) дБ$")


def meter_db(text, otherwise=None):
    """The dB a meter text says, or `otherwise` for silence, overload and an empty meter."""
    m = METER_DB.match(text)
    return (-1 if m.group(1) else 1) * int(m.group(2)) if m else otherwise


def tone_onsets(data, channels, rate):
    """Byte offsets where the left channel's tone comes back: its first sample above -22 dBFS
    after at least 0.4 s without one."""
    samples = array.array("h", data[:len(data) // (2 * channels) * 2 * channels])[::channels]
    onsets, last = [], 0
    for i, s in enumerate(samples):
        if abs(s) > 2600:
            if i - last > 0.4 * rate:
                onsets.append(i * 2 * channels)
            last = i
    return onsets


def scenario_level(args):
    """The level meter while a tone is recorded (left -12 dBFS, right -30, in stretches with a
    -40 dBFS pause), or the message about digital silence, told once while the recording goes on."""
    tone = args.signal == "tone"
    row = 11 if tone else 9
    channels, rate, bits = FORMATS[row]
    size = buffer_size(row)
    path = fresh(os.path.join(args.out, f"level-{args.signal}.wav"))
    stretches = [(1.5, (-12, -30)), (1.5, (-40, -40))] if tone else [(1.0, (None, None))]
    with sink_for(row, f"E2E Level {args.signal}", sine_stretches(rate, channels, stretches)):
        command = ["level", args.exe, f"Monitor of E2E Level {args.signal}", str(row), windows_path(path), "8"]
        driver = Driver(args, *(command + ["Уровень: −12 дБ"] if tone else command))
        expect(driver.lines_until("RECORDING") is not None, "the recording started")
        if tone:
            rect = driver.lines_until("LEVEL")
            expect(rect is not None, "the meter read -12 dB")
            if args.screenshot:
                take_screenshot(args.screenshot, json.loads(rect))
        result = driver.result()
    with open(path, "rb") as f:
        content = f.read()
    h, problems = wavefile.check(content, row)
    expect(not problems, f"{path}: a complete PCM WAVE file {problems}")
    labels = result["labels"][1:]  # the probe's own first
    buffers = [tick for k, (tick, text) in enumerate(labels) if text == format_size((k + 1) * size)]
    meter = result["meter"]
    expect(result["meter_final"] == "" and meter and meter[-1][1] == "" and result["bars_final"] == 0,
           f"empty once stopped while minimized and restored: {meter[-3:]}, {result['bars_final']} px of bars")
    expect(result["exit_code"] == 0, f"the program ended with code {result['exit_code']}")
    facts = {"signal": args.signal, "buffers": len(buffers)}
    if not tone:
        boxes = result["boxes"]
        expect(len(boxes) == 1, f"one message in {len(buffers) * 0.5} s of silence: {boxes}")
        box = boxes[0]
        expect("тишина" in box["text"] and "Конфиденциальность → Микрофон" in box["text"],
               f"it says why and what to do: {box['text']!r}")
        expect(box["buffers_shown"] >= 6, f"after 3 s of samples: {box['buffers_shown']} half-second buffers")
        expect(box["buffers_2s_later"] >= box["buffers_shown"] + 3,
               f"the recording went on beneath it: {box['buffers_shown']} -> {box['buffers_2s_later']} buffers in 2 s")
        expect(box["meter"] == "Уровень: тишина", f"the meter read {box['meter']!r}")
        expect(h["data_length"] >= len(buffers) * size and not content[44:].strip(b"\0"), "the file holds the zeros")
        print("facts: " + json.dumps(facts), flush=True)
        return
    expect(result["boxes"] == [], f"no box came up: {result['boxes']}")
    expect("Уровень: −12 дБ" in [t for _, t in meter], "the louder channel's peak: -12 dB")
    loud = [t for _, t in meter if t == "Уровень: перегрузка" or meter_db(t, -99) > -12]
    expect(not loud, f"never louder than the tone: {loud}")
    # In the pauses the held peak falls 20 dB/s: on the screen the top bar follows it a pixel or two
    # at a time, if drawn 20 times a second. The scale is 60 dB across the bar's trough. What twenty a
    # second comes to in the recorder under the machine's present load is told by the probe's own
    # 50 ms timer on a thread beside the window's: the meter's timer is to come at least as often,
    # and a step on the screen may be no bigger than the fall over the longest wait that timer had
    # (5 px at least).
    inner = result["meter_width"] - 2
    px = lambda db: round((db + 60) / 60 * inner)
    median = lambda xs: sorted(xs)[len(xs) // 2] if xs else None
    ticks = {kind: [t for t, k in result["timer"] if k == kind] for kind in ("meter", "reference")}
    every = {kind: median([b - a for a, b in zip(ts, ts[1:])]) for kind, ts in ticks.items()}

    def longest_wait(start, end):  # the reference timer's, between two moments
        inside = [t for t in ticks["reference"] if start < t < end]
        return max(b - a for a, b in zip([start] + inside, inside + [end]))

    if every["reference"] and every["reference"] > 55:
        print(f"platform: a 50 ms timer in the recorder came every {every['reference']} ms (median)", flush=True)
    expect(len(ticks["meter"]) > 20 and every["reference"] is not None and every["meter"] <= every["reference"],
           f"the meter's timer came every {every['meter']} ms, a 50 ms one beside it every {every['reference']} ms "
           f"(medians)")
    bars = result["bars"]
    falls = [(a[1] - b[1], a[0], b[0]) for a, b in zip(bars, bars[1:]) if px(-38) <= b[1] < a[1] <= px(-12)]
    big = [(step, end - start, wait) for step, start, end in falls
           if step > max(5, math.ceil(20 * inner / 60 * (wait := longest_wait(start, end)) / 1000) + 1)]
    drawn = median([end - start for _, start, end in falls])
    expect(len(falls) >= 20 and not big,
           f"the bar followed the falling peak smoothly: {len(falls)} steps of {[step for step, _, _ in falls]} px, "
           f"median {drawn} ms apart; bigger than the waits allowed (px, ms, the timer's longest wait): {big}")
    # How far the meter is behind: from a tone's first samples (their time told by the buffer that
    # brought them) to the bar, and the text, showing the tone; later than 0.6 s is the machine's
    # where the reference timer waited more than 100 ms meanwhile.
    lags = {"bar": [], "text": []}
    for x in tone_onsets(content[44:], channels, rate):
        k = x // size
        if k >= len(buffers):
            continue
        captured = buffers[k] - ((k + 1) * size - x) / h["byte_rate"] * 1000
        for kind, shown in (("bar", next((t for t, top, _ in bars if t >= captured and top >= px(-14)), None)),
                            ("text", next((t for t, text in meter if t >= captured and meter_db(text, -99) >= -14),
                                          None))):
            if shown is None:
                continue
            lags[kind].append(round(shown - captured))
            if shown - captured > 600 and (wait := longest_wait(captured, shown)) > 100:
                print(f"platform: the {kind} {round(shown - captured)} ms behind, a 50 ms timer beside it "
                      f"waited {wait} ms meanwhile", flush=True)
                lags[kind][-1] = None
    late = [lag for lag in lags["bar"] + lags["text"] if lag is not None and lag > 600]
    expect(all(lags.values()) and not late, f"at most 0.6 s behind the samples: {lags} ms")
    facts.update({"median_draw_ms": drawn, "timer_ms": every, "lag_ms": lags})
    print("facts: " + json.dumps(facts), flush=True)


def scenario_window(args):
    path = os.path.join(args.out, "window.wav")
    fresh(path)
    # Longer than the 31 characters of the device's capabilities.
    with sink_for(0, "E2E Window Microphone With A Long Name"):
        driver = Driver(args, "window", args.exe, "Monitor of E2E Window Microphone With A Long Name",
                        windows_path(path))
        code = driver.finish(timeout=120)
    expect(code == 0 and any(line == "0 failed" for line in driver.lines), "every check of the window passed")
    check_wave_file(path, 0, buffer_size(0))  # Stop once the label counted a buffer


HINT = ("\n\nВозможно, микрофон занят другой программой или доступ к нему выключен в "
        "Параметры → Конфиденциальность → Микрофон.")


def scenario_device_error(args):
    """A device that refuses at Record (it went away after the list was filled): the box says so,
    with the hint, and an earlier recording of the chosen name is left as it was."""
    path = os.path.join(args.out, "device-error.wav")
    fresh(path)
    earlier = b"RIFF an earlier recording" * 1000
    with open(path, "wb") as f:
        f.write(earlier)
    sink = sink_for(9, "E2E Vanishing Mic")
    try:
        sink.load()
        driver = Driver(args, "device-error", args.exe, "Monitor of E2E Vanishing Mic", "9", windows_path(path))
        expect(driver.lines_until("LISTED") is not None, "the device was listed")
        sink.unload()  # the device goes away after the list was filled
        sink.module = None
        time.sleep(0.5)
        driver.send("go")
        result = driver.result()
    finally:
        sink.unload()
    known = result["error_texts"]
    codes = [c for c, text in known.items() if text + HINT == result["box_text"]]
    expect(bool(codes), f"the error box shows the device's error text and the hint: {result['box_text']!r} "
                        f"(code {codes})")
    expect(result["buttons_box_up"] == [False, True], "while the box is up: Record disabled, Stop enabled")
    expect(not result["form_enabled_box_up"], "the window is disabled while the box is up")
    expect(result["exit_code"] == 0, f"then the program ends with code {result['exit_code']}")
    with open(path, "rb") as f:
        kept = f.read()
    expect(kept == earlier, f"the earlier recording is left as it was: {len(kept)} of {len(earlier)} bytes")


def locales(folder):
    """A folder of the two locales Wine takes its code page from, made here if the system has none."""
    os.makedirs(folder, exist_ok=True)
    for name, source in (("en_US.UTF-8", "en_US"), ("ru_RU.UTF-8", "ru_RU")):
        if not os.path.isdir(os.path.join(folder, name)):
            subprocess.run(["localedef", "-i", source, "-f", "UTF-8", os.path.join(folder, name)], check=True)
    return folder


def scenario_look(args):
    """The window as it looks at 96 and 144 ppi with Western (1252) and Cyrillic (1251) code pages,
    for a person to check that every text is whole: BUILD/e2e/window-DPI-LANG.png; and while it
    records a tone: BUILD/e2e/window-tone.png."""
    locale_dir = locales(os.path.join(args.out, "locale"))
    desktop = "HKCU\\Control Panel\\Desktop"
    try:
        for dpi in (96, 144):
            subprocess.run(["wine", "reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                           check=True, capture_output=True)
            for lang in ("en_US", "ru_RU"):
                env = dict(os.environ, LANG=f"{lang}.UTF-8", LOCPATH=locale_dir)
                driver = Driver(args, "show", args.exe, windows_path(os.path.join(args.out, "look.labels")), env=env)
                rect = driver.lines_until("SHOWN")
                expect(rect is not None, f"the window is shown at {dpi} ppi, {lang}")
                take_screenshot(os.path.join(args.out, f"window-{dpi}-{lang}.png"), json.loads(rect))
                driver.send("go")
                expect(driver.finish() == 0, "the driver closed the window")
    finally:
        # The other scenarios expect the prefix's own 96 ppi.
        subprocess.run(["wine", "reg", "delete", desktop, "/v", "LogPixels", "/f"], capture_output=True)
    # And while it records a tone, its level on the strip: the picture of the README.
    row = 11
    path = fresh(os.path.join(args.out, "look-recording.wav"))
    with sink_for(row, "Test Tone", sine_stretches(44100, 2, [(1.0, (-12, -24))])):
        driver = Driver(args, "level", args.exe, "Monitor of Test Tone", str(row), windows_path(path), "3",
                        "Уровень: −12 дБ")
        rect = driver.lines_until("LEVEL")
        expect(rect is not None, "the meter read -12 dB")
        take_screenshot(os.path.join(args.out, "window-tone.png"), json.loads(rect))
        driver.result()


def scenario_demo(args):
    """make run without a display: a short recording of a test tone through the window."""
    path = os.path.join(args.out, "recording.wav")
    shot = os.path.join(args.out, "recording-window.png")
    for old in (path, shot):
        fresh(old)
    row = 11
    # For a person to listen to: a 440 Hz sine at -12 dBFS.
    with mic.Sink("Test Tone:s16le:44100:2", row, sine_stretches(44100, 2, [(1.0, (-12, -12))])):
        driver = Driver(args, "record", args.exe, "Monitor of Test Tone", str(row), windows_path(path), "6")
        rect = driver.lines_until("RECORDING")
        expect(rect is not None, "the recording started")
        take_screenshot(shot, json.loads(rect))
        driver.result()
    with wave.open(path, "rb") as w:
        seconds = w.getnframes() / w.getframerate()
        expect(seconds > 0, f"{seconds:.2f} s of {w.getnchannels()}-channel {w.getframerate()} Hz "
                            f"{8 * w.getsampwidth()}-bit audio")
    print(f"recording: {path}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    sub = parser.add_subparsers(dest="scenario", required=True)
    record = sub.add_parser("record")
    record.add_argument("--row", type=int, required=True)
    record.add_argument("--buffers", type=int, default=4)
    record.add_argument("--replace", action="store_true")
    record.add_argument("--close", action="store_true")
    record.add_argument("--screenshot")
    record.add_argument("--planted", help="a folder holding the DLLs to plant beside a copy of the program")
    level = sub.add_parser("level")
    level.add_argument("--signal", choices=("tone", "silence"), required=True)
    level.add_argument("--screenshot")
    sub.add_parser("window")
    sub.add_parser("device-error")
    sub.add_parser("look")
    sub.add_parser("demo")
    args = parser.parse_args()
    args.exe_file = os.path.abspath(args.exe)
    args.exe = windows_path(args.exe)
    os.makedirs(args.out, exist_ok=True)
    return run({"record": scenario_record, "level": scenario_level, "window": scenario_window, "device-error": scenario_device_error,
                "look": scenario_look, "demo": scenario_demo}[args.scenario], args)


if __name__ == "__main__":
    sys.exit(main())
