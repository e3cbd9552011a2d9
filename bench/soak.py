#!/usr/bin/env python3
"""make soak: a night's recording in SOAK_MINUTES (default 20). One recorder process records through its
window (bench_driver.exe soak) in cycles of about four minutes, each cycle one recording in another format,
the first and the last in the largest (so their memory and CPU compare like with like). In each cycle:
window-thread stalls of 2, 5 and 10 s, the window minimized for 30 s, the microphone gone for 12 s and
back under its name, a sleep of 20 s, a logoff asked and refused, then Stop and the files' message.
Every 5 s the recorder's counts are sampled from outside, as Windows gives them and as Linux does.

    soak.py --exe Recorder.exe --driver bench_driver.exe --out DIR [--minutes M]

Leaves DIR/soak.md (a row per cycle and the verdict), DIR/soak.png (gnuplot), DIR/soak.json; exits 1
when anything it checks fails, and says what. Run inside the bench's environment (scripts/soak.sh).
"""
import argparse
import json
import os
import subprocess
import sys
import time

# The test bench's microphones, signals and checks, and the end-to-end driver's wrapper.
TESTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests")
sys.path.insert(0, os.path.join(TESTS, "bench"))
sys.path.insert(0, os.path.join(TESTS, "e2e"))
import benchmark  # noqa: E402
import e2e  # noqa: E402
import frames  # noqa: E402
import losses  # noqa: E402
import mic  # noqa: E402
import ramp  # noqa: E402
import wavefile  # noqa: E402
from faults import WAITING_TEXT  # noqa: E402

DEVICE = "Soak Mic"
# The rows in turn after the largest: 8 and 16 bits, mono and stereo alternate.
ORDER = [11, 0, 5, 10, 3, 6, 9, 1, 8, 2, 7, 4]
CYCLE_S = 240
MIN_CYCLE_S = 225  # the driver's events end 210 s into a cycle
AWAY_TEXTS = {t + "\n" + WAITING_TEXT for t in ("Устройство аудиоввода перестало передавать звук.",
                                                 "Устройство аудиоввода отключено или больше не доступно.")}
NEXT_FILE_WITHIN_MS = 3000
# A cycle's recording may miss this much of its wall time besides the microphone's absence and the
# sleep: capture starts up to 2 s after each open, twice a cycle.
START_SLACK_S = 5
SLEEP_S = 20
# The sleep's break lies past what the suspend notice wrote, within what the device captured before
# the source stopped (a prompt's round trip) and the buffer it was filling.
SLEEP_BREAK_WITHIN_S = 2
CPU_RATIO = 1.2
MIB = 1 << 20
# Each count, where Windows gives it, where Linux does instead, and how much the last cycle's maximum
# may exceed the first's.
COUNTS = [
    ("handles", "handles", "fds", 8, "handles (GetProcessHandleCount)", "open files and sockets (/proc/PID/fd)"),
    ("GDI objects", "gdi", None, 4, "GDI objects (GetGuiResources)", None),
    ("USER objects", "user", None, 4, "USER objects (GetGuiResources)", None),
    # Private bytes are committed memory, resident or not; Wine commits with writable private mappings,
    # which VmData counts. (Private_Clean + Private_Dirty of smaps_rollup is only what is resident, and
    # swung by up to 4 MiB from one sample to the next while the program did nothing new.)
    ("private bytes", "private_bytes", "vm_data", 2 * MIB, "PrivateUsage (GetProcessMemoryInfo)",
     "VmData (/proc/PID/status): private writable mappings"),
    ("working set", "working_set", "rss", 2 * MIB, "WorkingSetSize (GetProcessMemoryInfo)", "VmRSS (/proc/PID/status)"),
    ("threads", "threads", "threads", 2, "threads (Toolhelp snapshot)", "Threads (/proc/PID/status)"),
]
BYTES = {"private bytes", "working set"}


def plan(minutes):
    """The rows of the cycles and each cycle's seconds: about four minutes each."""
    seconds = int(minutes * 60)
    cycles = max(1, min(int(minutes / 4 + 0.5), seconds // MIN_CYCLE_S))
    rows = [11] if cycles == 1 else ORDER[:cycles - 1] + [11]
    return rows, seconds // cycles


def linux_counts(pid):
    """What Linux tells of the recorder's process: CPU, memory, threads, open files; None when gone."""
    sample = benchmark.linux_sample(pid)
    if sample is None:
        return None
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            rollup = dict(line.split(":", 1) for line in f if line.count(":") == 1)
        sample["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    sample["private"] = sum(int(rollup[k].split()[0]) for k in ("Private_Clean", "Private_Dirty")) * 1024
    sample["rss"] = sample["vm_rss_kib"] * 1024
    sample["anonymous"] = int(rollup["Anonymous"].split()[0]) * 1024
    with open(f"/proc/{pid}/status") as f:
        sample["vm_data"] = int(next(line for line in f if line.startswith("VmData:")).split()[1]) * 1024
    return sample


class Bench:
    """The microphone, in the format of the cycle's row, and the driver's prompts answered on it."""

    def __init__(self):
        self.sink = None
        self.row = None
        self.problems = []

    def use(self, row):
        if row == self.row and self.sink.module:
            return
        self.close()
        self.row = row
        signal = frames.blocks() if stereo16(row) else ramp.blocks()
        self.sink = mic.Sink(mic.argument_for(row, DEVICE), 0, signal)
        self.sink.load()
        self.sink.play()

    def answer(self, line):
        sink = self.sink
        if line.startswith("FORMAT"):
            self.use(int(line.split()[1]))
        elif line == "MIC-GONE":
            self.check_player()
            sink.unload()
            sink.player = sink.module = None
        elif line == "MIC-BACK":
            sink.load()
            sink.play()
        elif line in ("SLEEP", "WAKE"):
            self.check_player()
            subprocess.run(["pactl", "suspend-sink", sink.sink_name, "1" if line == "SLEEP" else "0"], check=True)
        else:
            return False
        return True

    def check_player(self):
        # A microphone that stopped playing is silent, and its silence is not the recorder's.
        problem = self.sink.player and self.sink.problem()
        if problem:
            self.problems.append(f"the microphone stopped playing ({mic.argument_for(self.row, DEVICE)}): {problem}")

    def close(self):
        if self.sink:
            self.check_player()
            self.sink.unload()


def stereo16(row):
    return wavefile.FORMATS[row][0] == 2 and wavefile.FORMATS[row][2] == 16


def run(args, rows, cycle_s):
    """Runs the driver; what it and the samplers said."""
    bench = Bench()
    out = {"samples": [], "events": [], "cycles": [], "load": [], "failure": None}
    pid = None
    folder = os.path.join(args.out, "recordings")
    os.makedirs(folder, exist_ok=True)

    def on_line(driver, line):
        nonlocal pid
        kind, _, rest = line.partition(" ")
        if kind == "STARTED":
            pid = benchmark.find_unix_process(args.linux_exe)
        elif kind == "SAMPLE":
            windows = json.loads(rest)
            out["samples"].append({"ms": windows["ms"], "windows": windows, "linux": linux_counts(pid)})
            return
        elif kind == "EVENT":
            out["events"].append(json.loads(rest))
            return
        elif kind == "CYCLE":
            out["cycles"].append(json.loads(rest))
            out["load"].append(os.getloadavg())
            return
        elif bench.answer(line):
            driver.send("go")

    try:
        bench.use(rows[0])
        driver = e2e.Driver(args, "soak", args.exe, f"Monitor of {DEVICE}", e2e.windows_path(folder),
                            str(cycle_s), *map(str, rows))
        out["result"] = driver.result(on_line)
    except (e2e.Failed, mic.PlayerFailed, subprocess.CalledProcessError) as failure:
        out["failure"] = str(failure)
    finally:
        bench.close()
    out["player_problems"] = bench.problems
    out["linux_pid_found"] = pid is not None
    return out


# ---- the files ------------------------------------------------------------------------------

def linux_path(windows):
    return windows[2:].replace("\\", "/")


def analyse_file(path, row):
    """Header problems, seconds, lead silence and breaks of one file: a frame counter's exact losses
    in 16-bit stereo, the ramp's breaks (their length modulo its period) otherwise."""
    with open(path, "rb") as f:
        content = f.read()
    header, problems = wavefile.check(content, row)
    data = content[44:]
    channels, rate, bits = wavefile.FORMATS[row]
    block = channels * bits // 8
    facts = {"seconds": len(data) / (rate * block), "problems": problems}
    if stereo16(row):
        kept = frames.analyse(data)
        facts["lead_s"] = kept["silence"] / rate
        facts["lost"] = kept["lost"] + kept["zeros"]
        facts["repeated"] = kept["repeated"]
        breaks = frames.places(kept)
    else:
        kept = ramp.analyse(data, wavefile.FORMATS[row])
        facts["lead_s"] = kept["lead"] / block / rate
        facts["lost"] = facts["repeated"] = None
        breaks = kept["breaks"]
    # The platform's dropouts are reported, and fail nothing.
    facts["breaks"], facts["platform"] = losses.split(breaks, wavefile.FORMATS[row])
    if facts["lead_s"] > ramp.LEAD_SECONDS:
        problems.append(f"{facts['lead_s']:.3f} s of silence before the signal")
    return facts


def events_of(cycle, what):
    return [e for e in cycle["events"] if e["what"] == what]


def check_cycle(cycle):
    """What went wrong in one cycle, in words, and the facts for its row."""
    row = cycle["row"]
    rate, block = wavefile.FORMATS[row][1], wavefile.block_align(row)
    first = linux_path(cycle["file"])
    second = first[:-4] + " (2).wav"
    fails = []
    files = {}
    for path in (first, second):
        if os.path.exists(path):
            files[path] = analyse_file(path, row)
        else:
            fails.append(f"no file {os.path.basename(path)}")
    if os.path.exists(first[:-4] + " (3).wav"):
        fails.append("a third file: the recording did not go on in the same file across the sleep")
    for path, facts in files.items():
        fails += [f"{os.path.basename(path)}: {p}" for p in facts["problems"]]
    at = {e["what"]: e["ms"] for e in cycle["events"]}

    # Before the microphone went: every stall, which must lose nothing.
    if first in files:
        facts = files[first]
        if facts["breaks"] or facts["repeated"]:
            fails.append(f"{os.path.basename(first)} breaks at {[b['at'] for b in facts['breaks']]} bytes "
                         f"(the stalls)")
        want = (at["mic gone"] - at["record"]) / 1000 - START_SLACK_S
        if facts["seconds"] < want:
            fails.append(f"{os.path.basename(first)} holds {facts['seconds']:.1f} s, less than {want:.1f} s")
    # After it came back: the sleep, one break at most, where the source stopped.
    if second in files:
        facts = files[second]
        sleep_at = cycle.get("sleep_at_bytes", -1)
        near = [b for b in facts["breaks"]
                if sleep_at - block <= b["at"] <= sleep_at + SLEEP_BREAK_WITHIN_S * rate * block
                + wavefile.buffer_size(row)]
        if len(facts["breaks"]) > 1 or len(near) != len(facts["breaks"]) or facts["repeated"]:
            fails.append(f"{os.path.basename(second)}: breaks at {[b['at'] for b in facts['breaks']]} bytes, "
                         f"repeated {facts['repeated']}; one at most, at the sleep ({sleep_at} bytes)")
        want = (at["stop"] - at["mic back"]) / 1000 - SLEEP_S - START_SLACK_S
        if facts["seconds"] < want:
            fails.append(f"{os.path.basename(second)} holds {facts['seconds']:.1f} s, less than {want:.1f} s")

    stalls = events_of(cycle, "stall")
    if [s["stall_ms"] for s in stalls] != [2000, 5000, 10000] or not all(s["held"] for s in stalls):
        fails.append(f"the stalls did not all hold: {stalls}")
    if not (events_of(cycle, "minimized")[0]["iconic"] and events_of(cycle, "restored")[0]["restored"]):
        fails.append("the window was not minimized and restored")
    logoff = events_of(cycle, "logoff refused")[0]
    if logoff["answer"] != 0 or not logoff["recording_after"]:
        fails.append(f"the logoff was not refused while recording, or the recording ended: {logoff}")
    next_ms = cycle.get("next_file_ms", -1)
    if not 0 <= next_ms <= NEXT_FILE_WITHIN_MS:
        fails.append(f"the microphone's return went on into the next file after {next_ms} ms, "
                     f"not within {NEXT_FILE_WITHIN_MS}")
    if not cycle.get("waiting"):
        fails.append("while the microphone was gone the window did not wait with the file complete")
    if not cycle.get("completed"):
        fails.append("the files were not completed after Stop")

    listing = "Запись сохранена в файлах:\n" + "\n".join([cycle["file"], cycle["file"][:-4] + " (2).wav"])
    boxes = [(b["during"], b["box"]["text"]) for b in cycle["boxes"]]
    away = [b for b in boxes if b[1] in AWAY_TEXTS]
    listed = [b for b in boxes if b == ("stop", listing)]
    others = [b for b in boxes if b not in away and b not in listed]
    if len(away) != 1 or len(listed) != 1 or others:
        fails.append(f"boxes: {len(away)} device-away notices, {len(listed)} files' lists at Stop (one each "
                     f"expected), others {others}")
    return fails, files


# ---- the counts -----------------------------------------------------------------------------

def source_of(samples, key, linux_key):
    """Which side gives a count: Windows where it answers anything but 0, else Linux, else none."""
    if any(s["windows"].get(key, -1) > 0 for s in samples):
        return "windows", key
    if linux_key and any(s["linux"] for s in samples):
        return "linux", linux_key
    return None, None


def value(sample, side, key):
    part = sample[side]
    return part.get(key) if part else None


def in_cycle(samples, cycle):
    return [s for s in samples if cycle["start_ms"] <= s["ms"] <= cycle["end_ms"]]


def cpu_per_minute(samples, side):
    key = "cpu_s" if side == "linux" else "cpu_ms"
    points = [(s["ms"], value(s, side, key)) for s in samples if value(s, side, key) is not None]
    if len(points) < 2 or points[-1][0] == points[0][0]:
        return None
    scale = 1 if side == "linux" else 1 / 1000
    return (points[-1][1] - points[0][1]) * scale / ((points[-1][0] - points[0][0]) / 60000)


def growth(samples, cycles):
    """Per count: its source, the first and the last cycle's maxima, the margin, and a failure or None."""
    first, last = in_cycle(samples, cycles[0]), in_cycle(samples, cycles[-1])
    out = []
    for name, key, linux_key, margin, windows_name, linux_name in COUNTS:
        side, used = source_of(samples, key, linux_key)
        row = {"name": name, "side": side, "key": used, "what": windows_name if side == "windows" else linux_name,
               "margin": margin, "windows_zero": side != "windows", "failure": None}
        if side:
            row["first_max"] = max((v for s in first if (v := value(s, side, used)) is not None), default=None)
            row["last_max"] = max((v for s in last if (v := value(s, side, used)) is not None), default=None)
            if row["first_max"] is None or row["last_max"] is None:
                row["failure"] = f"{name}: no samples in the first or the last cycle"
            elif len(cycles) > 1 and row["last_max"] > row["first_max"] + margin:
                row["failure"] = (f"{name} grew: {show(name, row['last_max'])} at most in the last cycle, "
                                  f"{show(name, row['first_max'])} in the first (margin {show(name, margin)})")
        out.append(row)
    return out


def show(name, v):
    return "n/a" if v is None else f"{v / MIB:.1f} MiB" if name in BYTES else str(v)


# ---- the report -----------------------------------------------------------------------------

def first_last(samples, side, key, name):
    values = [v for s in samples if (v := value(s, side, key)) is not None] if side else []
    if not values:
        return "0" if side is None else "n/a"
    fmt = (lambda v: f"{v / MIB:.1f}") if name in BYTES else str
    return f"{fmt(values[0])} → {fmt(values[-1])}"


def cycle_row(cycle, files, fails, samples, sources):
    row = cycle["row"]
    channels, rate, bits = wavefile.FORMATS[row]
    stalls = events_of(cycle, "stall")
    logoff = events_of(cycle, "logoff refused")
    events = (f"stalls {'/'.join(str(s['stall_ms'] // 1000) for s in stalls)} s "
              f"({sum(s['held'] for s in stalls)} held); minimized 30 s; mic away 12 s (notice "
              f"{cycle.get('away_box_ms', -1) / 1000:.1f} s, next file +{cycle.get('next_file_ms', -1) / 1000:.1f} s); "
              f"sleep 20 s; logoff {'refused' if logoff and logoff[0]['answer'] == 0 else 'NOT refused'}")
    facts = list(files.values())
    seconds = " + ".join(f"{f['seconds']:.1f}" for f in facts)
    lost = " + ".join("n/a" if f["lost"] is None else str(f["lost"]) for f in facts)
    breaks = " + ".join(f"{len(f['breaks'])} ({len(f['platform'])})" for f in facts)
    boxes = ", ".join("away notice" if b["box"]["text"] in AWAY_TEXTS else
                      "files' list" if b["during"] == "stop" else f"OTHER: {b['box']['text']!r}"
                      for b in cycle["boxes"])
    mine = in_cycle(samples, cycle)
    counts = " | ".join(first_last(mine, side, key, name) for name, (side, key) in sources.items())
    cpu = cpu_per_minute(mine, "linux")
    cpu_windows = cpu_per_minute(mine, "windows")
    return (f"| {cycle['cycle'] + 1} | {row}: {rate / 1000:g} kHz {'stereo' if channels == 2 else 'mono'} {bits}-bit "
            f"| {events} | {len(facts)} | {seconds} | {lost} | {breaks} | {boxes} | {counts} "
            f"| {benchmark.fmt(cpu, '.2f')} ({benchmark.fmt(cpu_windows, '.2f')}) "
            f"| {'; '.join(fails) or 'pass'} |")


def report(out, rows, cycle_s, checked, counts, cpu, failures, seconds):
    samples = out["samples"]
    sources = {c["name"]: (c["side"], c["key"]) for c in counts}
    names = [f"{c['name']} ({'Windows' if c['side'] == 'windows' else 'Linux' if c['side'] else 'none'})"
             for c in counts]
    lines = [
        f"# Soak: {len(out['cycles'])} of {len(rows)} cycles of {cycle_s} s, in {seconds / 60:.1f} min",
        "",
        "![counts and memory over time, each event marked](soak.png)",
        "",
        "Each cycle one recording (rows " + ", ".join(map(str, rows)) + "): stalls of the window thread of 2, 5 and "
        "10 s (suspended where it rests), the window minimized 30 s, the microphone gone 12 s and back under its "
        "name, a sleep of 20 s (suspend notice, source and window thread stopped, resume notices 1.5 s after), "
        "a logoff asked and refused, then Stop.",
        "",
        "| cycle | format | events | files | seconds recorded | lost frames | breaks (the platform's) | boxes | "
        + " | ".join(f"{n}: first → last" for n in names) + " | CPU s/min Linux (Windows) | result |",
        "|---:|---|---|---:|---:|---:|---:|---|" + "---:|" * len(names) + "---:|---|",
    ]
    lines += [cycle_row(cycle, files, fails, samples, sources) for cycle, files, fails in checked]
    lines += ["", "## Growth: the last cycle's maximum against the first's", "",
              "| count | from | first cycle max | last cycle max | margin | result |", "|---|---|---:|---:|---:|---|"]
    for c in counts:
        if c["side"] is None:
            lines.append(f"| {c['name']} | Windows answers 0, Linux has no such count | – | – | – | not counted |")
            continue
        verdict = c["failure"] or ("pass" if len(checked) > 1 else "one cycle: nothing to compare")
        lines.append(f"| {c['name']} | {c['what']} | {show(c['name'], c['first_max'])} "
                     f"| {show(c['name'], c['last_max'])} | {show(c['name'], c['margin'])} | {verdict} |")
    first_cpu, last_cpu = cpu
    ratio = last_cpu / first_cpu if first_cpu and last_cpu is not None else None
    lines.append(f"| CPU per minute | /proc/PID/stat utime+stime | {benchmark.fmt(first_cpu, '.2f')} s "
                 f"| {benchmark.fmt(last_cpu, '.2f')} s ({benchmark.fmt(ratio, '.2f')}x) | {CPU_RATIO}x "
                 f"| {'one cycle: nothing to compare' if len(checked) < 2 else 'pass' if ratio is not None and ratio <= CPU_RATIO else 'FAIL'} |")
    zero = [c["name"] for c in counts if c["windows_zero"]]
    lines += [
        "",
        "## Notes",
        "",
        f"- Windows (Wine) answered 0 or nothing for: {', '.join(zero) or 'nothing'}. Used instead: "
        + "; ".join(f"{c['name']}: {c['what']}" for c in counts if c["windows_zero"] and c["side"])
        + ". GDI and USER objects have no count on Linux; a leak of them would show as growth of private bytes "
        "and the resident set.",
        "- Breaks: 16-bit stereo rows play a 32-bit frame counter (tests/bench/frames.py), so every lost or "
        "repeated frame is counted exactly; the other rows play the 16-bit ramp (tests/bench/ramp.py), whose "
        "breaks are found where a byte is not the ramp's next, and whose jumps are known only modulo 65,536 "
        "words (lost frames n/a). One break is allowed in the second file, where the sleep stopped the source; "
        "none in the first, which holds the stalls. In brackets, and not counted, the platform's dropouts: a few "
        "milliseconds missing inside a buffer (tests/bench/losses.py).",
        "- Seconds recorded: first file + second file; lost frames likewise (the second's are at the sleep).",
        "- CPU: the Linux process's utime + stime, every thread of it; GetProcessTimes, in brackets, answers far "
        "less under Wine for the same process and time.",
        "- Load average (1, 5, 15 min) at each cycle's end: "
        + "; ".join(" ".join(f"{x:.2f}" for x in load) for load in out["load"]),
        "",
        "## Verdict",
        "",
    ]
    lines += ([f"FAIL: {f}" for f in failures] or ["pass"])
    return "\n".join(lines) + "\n"


# ---- the picture ----------------------------------------------------------------------------

MARKS = {"stall": "stall", "minimized": "min", "restored": "restore", "mic gone": "mic gone",
         "mic back": "mic back", "sleep": "sleep", "wake": "wake", "logoff refused": "logoff", "stop": "stop",
         "record": "record"}


def plot(out, counts, folder):
    samples = [s for s in out["samples"] if s["linux"]]
    if not samples:
        return "no samples to draw"
    sides = {c["name"]: c for c in counts}
    table = os.path.join(folder, "soak-samples.tsv")
    with open(table, "w") as f:
        f.write("# minutes\tprivate_MiB\tworking_set_MiB\tresident_private_MiB\thandles_or_fds\tthreads\tgdi\tuser\n")
        for s in samples:
            def get(name, scale=1):
                c = sides[name]
                v = value(s, c["side"], c["key"]) if c["side"] else 0
                return "NaN" if v is None else v / scale
            f.write("\t".join(str(x) for x in [
                s["ms"] / 60000, get("private bytes", MIB), get("working set", MIB), s["linux"]["private"] / MIB,
                get("handles"), get("threads"),
                s["windows"]["gdi"], s["windows"]["user"]]) + "\n")
    marks = []
    for e in out["events"]:
        if e["what"] in MARKS:
            x = e["ms"] / 60000
            label = MARKS[e["what"]] + (f" {e['stall_ms'] // 1000}s" if e["what"] == "stall" else "")
            # A cycle begins with its Record: a solid line; the events inside it dashed.
            style = "lc rgb '#888888'" if e["what"] == "record" else "lc rgb '#bbbbbb' dt 2"
            marks.append(f"set arrow from {x},graph 0 to {x},graph 1 nohead {style}")
            marks.append(f"set label \"{label}\" at {x},graph 1.01 rotate by 90 font ',7' tc rgb '#666666'")
    handles = sides["handles"]["what"] or "handles"
    script = "\n".join([
        "set terminal pngcairo size 1800,1000 font ',10'",
        f"set output '{os.path.join(folder, 'soak.png')}'",
        "set multiplot layout 2,1",
        "set grid", "set key outside right", "set xlabel 'minutes'", "set tmargin 5",
        *marks,
        "set ylabel 'MiB'",
        f"plot '{table}' using 1:2 with lines lw 2 title 'private bytes', '' using 1:3 with lines title 'working set', "
        "'' using 1:4 with lines dt 3 title 'resident private (Linux smaps)'",
        "unset label",
        "set ylabel 'count'", "set yrange [0:*]", "set offsets 0, 0, 4, 0",
        f"plot '{table}' using 1:5 with lines lw 2 title '{handles.split(' (')[0]}', '' using 1:6 with lines title 'threads', "
        "'' using 1:7 with lines title 'GDI objects (Windows)', '' using 1:8 with lines title 'USER objects (Windows)'",
        "unset multiplot",
    ])
    done = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True)
    return done.stderr.strip() if done.returncode else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--minutes", type=float, default=float(os.environ.get("SOAK_MINUTES", "20")))
    args = parser.parse_args()
    if args.minutes * 60 < MIN_CYCLE_S:
        print(f"FAIL SOAK_MINUTES must hold one cycle of {MIN_CYCLE_S} s at least", flush=True)
        return 2
    args.linux_exe = os.path.abspath(args.exe)
    args.exe = e2e.windows_path(args.exe)
    os.makedirs(args.out, exist_ok=True)
    rows, cycle_s = plan(args.minutes)
    print(f"soak: {len(rows)} cycles of {cycle_s} s, rows {rows}", flush=True)
    started = time.monotonic()
    out = run(args, rows, cycle_s)
    seconds = time.monotonic() - started
    failures = ([f"the driver: {out['failure']}"] if out["failure"] else []) + out["player_problems"]
    if len(out["cycles"]) < len(rows):
        failures.append(f"{len(out['cycles'])} of {len(rows)} cycles ran")
    if out.get("result", {}).get("exit_code") not in (0, None):
        failures.append(f"closing the window ended the program with code {out['result']['exit_code']}")
    if not out["linux_pid_found"]:
        failures.append("the recorder's Linux process was not found: no Linux counts")
    checked = []
    for cycle in out["cycles"]:
        fails, files = check_cycle(cycle)
        checked.append((cycle, files, fails))
        failures += [f"cycle {cycle['cycle'] + 1}: {f}" for f in fails]
    counts = growth(out["samples"], out["cycles"]) if out["cycles"] and out["linux_pid_found"] else []
    failures += [c["failure"] for c in counts if c["failure"]]
    cpu = (None, None)
    if out["cycles"]:
        cpu = tuple(cpu_per_minute(in_cycle(out["samples"], c), "linux") for c in (out["cycles"][0], out["cycles"][-1]))
        if len(out["cycles"]) > 1 and (None in cpu or cpu[1] > CPU_RATIO * cpu[0]):
            failures.append(f"CPU per minute grew: {benchmark.fmt(cpu[1], '.2f')} s in the last cycle, "
                            f"{benchmark.fmt(cpu[0], '.2f')} s in the first (at most {CPU_RATIO}x)")
    problem = plot(out, counts, args.out) if counts else "no counts to draw"
    if problem:
        failures.append(f"the picture: {problem}")
    text = report(out, rows, cycle_s, checked, counts, cpu, failures, seconds)
    with open(os.path.join(args.out, "soak.md"), "w") as f:
        f.write(text)
    with open(os.path.join(args.out, "soak.json"), "w") as f:
        json.dump(out, f)
    print(text, flush=True)
    print(f"saved: {os.path.join(args.out, 'soak.md')}, {os.path.join(args.out, 'soak.png')}", flush=True)
    for failure in failures:
        print("FAIL " + failure, flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
