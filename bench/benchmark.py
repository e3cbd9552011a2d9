#!/usr/bin/env python3
"""Capture fidelity benchmark: records from a virtual microphone through the recorder's window while
its window thread is suspended for S ms and then left to run for a second, over and over for T
seconds, for each S; and, interleaved with those, unstalled runs in pairs, the window shown and then
minimized. Three peers record the same source over the same wall time: parecord, native;
wave_in_peer.exe, a minimal wave-input client without a window under the same Wine (the platform's
floor); and windowed_peer.exe, the floor under the recorder's visible work: a window that records
into the recorder's ring, sets a label per buffer, draws a strip of the meter's size 22 times a
second unless minimized (as the recorder's window then is) and has shown the item save dialog once.
Prints a table and saves it.

    benchmark.py --exe Recorder.exe --driver bench_driver.exe --out DIR [--seconds T] [--stalls 400,...]
                 [--pairs P]

T defaults to BENCH_SECONDS or 30, the stalls to BENCH_STALLS or 400,1000,2000,3000,5000,10000,30000
(30 s: as long a stall as a run of 30 s holds; the recorder is built for a minute), the unstalled
pairs to BENCH_PAIRS or 3. The window thread is suspended only where it waits in its message loop or
in a file write, as a real stall leaves it (thread_stall.h); BENCH_SUSPEND=anywhere suspends it
wherever it is, BENCH_SUSPEND=busy only where it is not at rest. Run inside the bench's environment
(scripts/bench.sh start; source BUILD/bench/env.sh).

The microphone plays a 32-bit frame counter (tests/bench/frames.py) at 44.1 kHz stereo 16-bit, and
everyone records that format, so every lost or repeated frame is counted exactly. Where a peer
breaks at the same stretch of the counter, the source failed to deliver (an underrun of the player):
that is reported apart and not held against the recorder. A run fails when the recorder loses or
repeats a frame, keeps less than 0.95 of parecord's signal, or a stall did not hold.

CPU time and peak memory are those of the Linux processes (/proc/PID/stat utime+stime, /proc/PID/status
VmHWM, all threads), beside what Windows reports to the driver (GetProcessTimes, GetProcessMemoryInfo).
"""
import argparse
import json
import math
import os
import signal
import subprocess
import sys
import time

# The test bench's microphones, signals and checks, and the end-to-end driver's wrapper.
TESTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests")
sys.path.insert(0, os.path.join(TESTS, "bench"))
sys.path.insert(0, os.path.join(TESTS, "e2e"))
import e2e  # noqa: E402
import frames  # noqa: E402
import losses  # noqa: E402
import mic  # noqa: E402
import wavefile  # noqa: E402

ROW = 11  # 44.1 kHz stereo 16-bit
RATE = 44100
FRAME_BYTES = 4
DEVICE = "Bench Mic"
STALLS = "400,1000,2000,3000,5000,10000,30000"  # the last: as long as a run of 30 s holds
PAIRS = 3  # unstalled runs, each shown then minimized
# Targets of the recorder over the windowed peer, medians of the unstalled runs, and of its peak
# memory over the windowed peer's.
TARGET_SHOWN, TARGET_MINIMIZED, TARGET_MEMORY_MIB = 1.15, 1.10, 5
MIN_KEPT = 0.95  # of the signal parecord kept over the same wall time


def find_unix_process(exe):
    """The Linux process running Recorder.exe in this bench's Wine prefix (one at a time there):
    Wine names it by the program's path, and its environment carries the prefix."""
    prefix = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode() + b"\0"
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().split(b"\0")[0]
            # Started by another Wine process, it carries its Windows path (Z:\\...\\Recorder.exe).
            if command.replace(b"\\", b"/").rsplit(b"/", 1)[-1] != os.path.basename(exe).encode():
                continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if prefix in f.read():
                    found.append(int(pid))
        except OSError:
            continue
    return max(found, key=lambda pid: os.stat(f"/proc/{pid}").st_ctime) if found else None


def linux_sample(pid):
    """CPU seconds (all threads), peak and current resident memory and threads of process `pid`, or None
    when gone."""
    if pid is None:
        return None
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        with open(f"/proc/{pid}/status") as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
    except OSError:
        return None
    ticks = os.sysconf("SC_CLK_TCK")
    return {"cpu_s": (int(fields[11]) + int(fields[12])) / ticks,
            "vm_hwm_kib": int(status["VmHWM"].split()[0]), "vm_rss_kib": int(status["VmRSS"].split()[0]),
            "threads": int(status["Threads"])}


def split_breaks(kept, peers_kept):
    """The recording's breaks (frames.analyse) split by cause: where a peer broke at the same stretch
    of the counter the source failed to deliver (an underrun); a few milliseconds inside a buffer the
    platform's capture dropped (a dropout, losses.py); elsewhere the recording itself lost frames
    (silence the peers did not hear counts as lost too) or repeated them."""
    out = {"lost": 0, "repeated": 0, "underruns": 0, "underrun_frames": 0, "dropouts": 0, "dropout_frames": 0}
    peers = [frames.places(p) for p in peers_kept]
    for brk in frames.places(kept):
        if brk["missing"] is not None and brk["missing"] < 0:
            out["repeated"] += -brk["missing"] // 4
            out["lost"] += brk["silent"] // 4
            continue
        missing = (brk["silent"] + (brk["missing"] or 0)) // 4
        if losses.source_failed(brk, peers):
            out["underruns"] += 1
            out["underrun_frames"] += missing
        elif losses.platforms(brk, frames.FORMAT):
            out["dropouts"] += 1
            out["dropout_frames"] += missing
        else:
            out["lost"] += missing
    return out


def cpu_per_minute(first, last, seconds):
    """CPU seconds per minute of recording between two linux_sample()s, or None."""
    if not first or not last or seconds <= 0:
        return None
    return (last["cpu_s"] - first["cpu_s"]) / (seconds / 60)


def run_one(args, stall_ms, minimized):
    name = f"bench-{stall_ms:04d}ms{'-minimized' if minimized else ''}"
    path = os.path.join(args.out, f"{name}.wav")
    parecord_path = os.path.join(args.out, f"{name}-parecord.raw")
    peer_path = os.path.join(args.out, f"{name}-wave-in-peer.raw")
    floor_path = os.path.join(args.out, f"{name}-windowed-peer.raw")
    for old in (path, parecord_path, peer_path, floor_path):
        e2e.fresh(old)
    sink = mic.Sink(f"{DEVICE}:s16le:{RATE}:2", 0)
    parecord = peer = floor = None
    samples = {}
    try:
        sink.load()
        sink.signal = frames.blocks()
        sink.play()
        time.sleep(0.3)
        driver = e2e.Driver(args, "bench", args.exe, f"Monitor of {DEVICE}", str(ROW), e2e.windows_path(path),
                            str(args.seconds), str(stall_ms), *(["minimized"] if minimized else []))
        line = driver.lines_until("STARTED")
        e2e.expect(line is not None, "the recording started")
        parecord = sink.second_client(parecord_path)
        parecord_started = time.monotonic()
        peer = e2e.Driver(argparse.Namespace(driver=args.peer), f"Monitor of {DEVICE}", "2", str(RATE), "16",
                          e2e.windows_path(peer_path))
        pid = find_unix_process(args.linux_exe)
        samples["start"] = {"windows": json.loads(line), "linux": linux_sample(pid)}
        e2e.expect(peer.lines_until("STARTED") is not None, "the wave-input peer started")
        peer_started = time.monotonic()
        peer_pid = find_unix_process(args.peer)
        peer_first = linux_sample(peer_pid)
        floor = e2e.Driver(argparse.Namespace(driver=args.floor), f"Monitor of {DEVICE}", "2", str(RATE), "16",
                           e2e.windows_path(floor_path), "minimized" if minimized else "shown")
        e2e.expect(floor.lines_until("STARTED") is not None, "the windowed peer started")
        floor_started = time.monotonic()
        floor_pid = find_unix_process(args.floor)
        floor_first = linux_sample(floor_pid)
        beside_floor = linux_sample(pid)  # the recorder over the windowed peer's own interval
        monitor = f"{sink.sink_name}.monitor"
        deadline = time.monotonic() + 5  # a stream appears a moment after its client has started
        while (used := e2e.source_outputs()).count(monitor) < 4 and time.monotonic() < deadline:
            time.sleep(0.2)
        e2e.expect(used.count(monitor) >= 4, f"the recorder and the three peers read the bench microphone: {used}")
        for _ in range(2):
            line = driver.lines_until("SAMPLE")
            e2e.expect(line is not None, "a sample of the recorder's CPU time and memory")
            windows = json.loads(line)
            samples[windows["when"]] = {"windows": windows, "linux": linux_sample(pid), "at": time.monotonic()}
        e2e.expect(driver.lines_until("STOPPED") is not None, "Stop clicked")
        parecord_last = linux_sample(parecord.pid)
        parecord.send_signal(signal.SIGINT)
        parecord_wall = time.monotonic() - parecord_started
        peer_last = linux_sample(peer_pid)
        peer.send("stop")
        peer_wall = time.monotonic() - peer_started
        floor_last = linux_sample(floor_pid)
        floor.send("stop")
        floor_wall = time.monotonic() - floor_started
        parecord.wait(10)
        peer_result = peer.lines_until("RESULT")
        e2e.expect(peer_result is not None and peer.finish() == 0, "the wave-input peer finished")
        floor_result = floor.lines_until("RESULT")
        e2e.expect(floor_result is not None and floor.finish() == 0, "the windowed peer finished")
        result = driver.result()
    finally:
        for process in (parecord, peer and peer.process, floor and floor.process):
            if process and process.poll() is None:
                process.kill()
        sink.unload()
    with open(path, "rb") as f:
        content = f.read()
    _, problems = wavefile.check(content, ROW)
    e2e.expect(not problems, f"the file is complete: {problems}")
    kept = frames.analyse(content[44:])
    with open(parecord_path, "rb") as f:
        parecord_kept = frames.analyse(f.read())
    with open(peer_path, "rb") as f:
        peer_kept = frames.analyse(f.read())
    with open(floor_path, "rb") as f:
        floor_kept = frames.analyse(f.read())
    own = split_breaks(kept, [parecord_kept, peer_kept])
    wall = result["wall_ms"] / 1000
    signal_seconds = (kept["frames"] - kept["silence"]) / RATE
    parecord_seconds = (parecord_kept["frames"] - parecord_kept["silence"]) / RATE
    peer_seconds = (peer_kept["frames"] - peer_kept["silence"]) / RATE
    linux = {k: v["linux"] for k, v in samples.items()}
    windows = {k: v["windows"] for k, v in samples.items()}
    cpu_windows = (windows["end"]["cpu_ms"] - windows["start"]["cpu_ms"]) / 1000 if windows["end"]["cpu_ms"] >= 0 else None
    return {
        "stall_ms": stall_ms, "minimized": minimized, "stalls": result["stalls"], "stalls_verified": result["stalls_verified"],
        "stalled_ms": result["stalled_ms"], "capturing_ms": result["capturing_ms"], "wall_s": wall,
        "audio_s": kept["frames"] / RATE,
        "signal_s": signal_seconds, "kept_per_wall_s": kept["frames"] / RATE / wall,
        "lost": own["lost"], "repeated": own["repeated"], "underruns": own["underruns"],
        "underrun_frames": own["underrun_frames"], "dropouts": own["dropouts"],
        "dropout_frames": own["dropout_frames"], "breaks": kept["breaks"], "zeros": kept["zeros"],
        "lead_silence_frames": kept["silence"], "first_breaks": kept["first_breaks"],
        "cpu_s_per_min_linux": cpu_per_minute(linux["start"], linux["end"], wall),
        "cpu_s_per_min_windows": cpu_windows / (wall / 60) if cpu_windows is not None else None,
        "vm_hwm_third_kib": linux["third"]["vm_hwm_kib"] if linux["third"] else None,
        "vm_hwm_end_kib": linux["end"]["vm_hwm_kib"] if linux["end"] else None,
        "peak_ws_third": windows["third"]["peak_working_set"], "peak_ws_end": windows["end"]["peak_working_set"],
        "parecord_s": parecord_kept["frames"] / RATE, "parecord_signal_s": parecord_seconds,
        "parecord_wall_s": parecord_wall, "parecord_breaks": parecord_kept["breaks"],
        "parecord_gaps": parecord_kept["gaps"],
        "parecord_cpu_s_per_min": cpu_per_minute({"cpu_s": 0}, parecord_last, parecord_wall),
        "peer_s": peer_kept["frames"] / RATE, "peer_signal_s": peer_seconds, "peer_wall_s": peer_wall,
        "peer_breaks": peer_kept["breaks"], "peer_gaps": peer_kept["gaps"],
        "peer_cpu_s_per_min": cpu_per_minute(peer_first, peer_last, peer_wall),
        "peer_vm_hwm_kib": peer_last["vm_hwm_kib"] if peer_last else None,
        "peer_buffers": json.loads(peer_result)["buffers"],
        "floor_signal_s": (floor_kept["frames"] - floor_kept["silence"]) / RATE, "floor_wall_s": floor_wall,
        "floor_gaps": floor_kept["gaps"], "floor_cpu_s_per_min": cpu_per_minute(floor_first, floor_last, floor_wall),
        "cpu_s_per_min_beside_floor": cpu_per_minute(beside_floor, linux["end"],
                                                     samples["end"]["at"] - floor_started),
        "floor_vm_hwm_kib": floor_last["vm_hwm_kib"] if floor_last else None,
        "floor_ring": json.loads(floor_result)["ring"],
        "ratio": signal_seconds / parecord_seconds if parecord_seconds else None,
        "ratio_peer": signal_seconds / peer_seconds if peer_seconds else None,
        "gaps": kept["gaps"], "buffers": result["buffers"], "exit_code": result["exit_code"],
        "break_offsets": kept["break_offsets"], "stall_starts_ms": result["stall_starts_ms"],
        "suspensions": result["suspensions"], "suspended": result["suspended"],
        "first_frame": kept["first"], "completed_ms": result["completed_ms"],
    }


def failures(row):
    """What makes this run fail, in words; empty when it passes."""
    out = []
    if row["lost"] or row["repeated"]:
        out.append(f"lost {row['lost']} and repeated {row['repeated']} frames")
    if row["ratio"] is None or row["ratio"] < MIN_KEPT:
        out.append(f"kept {fmt(row['ratio'], '.3f')} of parecord's signal, below {MIN_KEPT}")
    if row["stall_ms"] >= 100 and row["stalls_verified"] < row["stalls"]:
        out.append(f"only {row['stalls_verified']} of {row['stalls']} stalls held")
    return out


def suspended(rows):
    where = {r["suspended"] for r in rows}
    return {"at-rest": "only where it waits in its message loop or a file write", "anywhere": "wherever it was",
            "busy": "only where it was not at rest"}.get(where.pop(), "") if len(where) == 1 else "in different ways"


def suspension_summary(suspensions):
    """How many suspensions held at the first try, and where the others first landed."""
    if not suspensions:
        return "no suspensions"
    retried = [s for s in suspensions if s["tries"] > 1]
    places = sorted({s["first"].split(" < ")[0] for s in retried})
    return (f"{len(suspensions) - len(retried)} of {len(suspensions)} suspensions held at the first try"
            + (f", the others after up to {max(s['tries'] for s in retried)} tries "
               f"({max(s['waited_ms'] for s in retried)} ms, of them up to {max(s['tried_ms'] for s in retried)} ms "
               f"suspended), first found at {', '.join(places)}" if retried else ""))


def fmt(value, pattern):
    return "n/a" if value is None else format(value, pattern)


def cpu_ratio(row, peer="peer_cpu_s_per_min"):
    """The recorder's CPU per minute over a peer's, measured side by side; None without both."""
    own, theirs = row["cpu_s_per_min_linux"], row[peer]
    return own / theirs if own is not None and theirs else None


def floor_ratio(row):
    """The recorder's CPU per minute over the windowed peer's, both from the peer's start to its stop."""
    own, theirs = row["cpu_s_per_min_beside_floor"], row["floor_cpu_s_per_min"]
    return own / theirs if own is not None and theirs else None


def memory_over_floor(row):
    """The recorder's peak memory over the windowed peer's, MiB."""
    own, theirs = row["vm_hwm_end_kib"], row["floor_vm_hwm_kib"]
    return (own - theirs) / 1024 if own is not None and theirs is not None else None


def median(values):
    """The median of the values that are there, and how many there were."""
    values = sorted(v for v in values if v is not None)
    if not values:
        return None, 0
    middle = len(values) // 2
    return (values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2), len(values)


def floor_medians(rows):
    """Medians of the recorder over the windowed peer: CPU in the unstalled runs shown and
    minimized (stalled, the recorder does less than it), and peak memory over all runs."""
    unstalled = [r for r in rows if r["stall_ms"] == 0]
    return {"shown": median(floor_ratio(r) for r in unstalled if not r["minimized"]),
            "minimized": median(floor_ratio(r) for r in unstalled if r["minimized"]),
            "memory": median(map(memory_over_floor, rows))}


def against(value, target):
    return "n/a" if value is None else "meets" if value <= target else "misses"


def table(rows, seconds):
    lines = [
        f"Capture benchmark: {seconds} s per run, 44.1 kHz stereo 16-bit, the window thread suspended S ms "
        f"then running 1 s, over and over, suspended {suspended(rows)}",
        "",
        "| S ms | window | stalls | audio s / wall s | lost | repeated | underruns (frames) | dropouts (frames) "
        "| kept / peer "
        "| CPU s / min: recorder, wave-in peer, parecord (recorder / peer) | CPU s / min: windowed peer "
        "(recorder / it) | peak memory MiB at T/3 -> T | windowed peer's (recorder over it) | Stop -> complete ms "
        "| result |",
        "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|",
    ]
    for r in rows:
        hwm = (f"{fmt(r['vm_hwm_third_kib'] and r['vm_hwm_third_kib'] / 1024, '.1f')} -> "
               f"{fmt(r['vm_hwm_end_kib'] and r['vm_hwm_end_kib'] / 1024, '.1f')}")
        cpu = (f"{fmt(r['cpu_s_per_min_linux'], '.2f')}, {fmt(r['peer_cpu_s_per_min'], '.2f')}, "
               f"{fmt(r['parecord_cpu_s_per_min'], '.3f')} ({fmt(cpu_ratio(r), '.2f')}x)")
        floor_cpu = f"{fmt(r['floor_cpu_s_per_min'], '.2f')} ({fmt(floor_ratio(r), '.2f')}x)"
        floor_hwm = (f"{fmt(r['floor_vm_hwm_kib'] and r['floor_vm_hwm_kib'] / 1024, '.1f')} "
                     f"({fmt(memory_over_floor(r), '+.1f')})")
        lines.append(
            f"| {r['stall_ms']} | {'minimized' if r['minimized'] else 'shown'} | {r['stalls']} "
            f"| {r['audio_s']:.2f} / {r['wall_s']:.2f} | {r['lost']} | {r['repeated']} "
            f"| {r['underruns']} ({r['underrun_frames']}) | {r['dropouts']} ({r['dropout_frames']}) "
            f"| {fmt(r['ratio'], '.4f')} | {cpu} | {floor_cpu} | {hwm} "
            f"| {floor_hwm} | {r['completed_ms']} | {'; '.join(failures(r)) or 'pass'} |")
    peer_median, peer_runs = median(map(cpu_ratio, rows))
    floor = floor_medians(rows)
    lines += [
        "",
        f"recorder / wave-in peer CPU: median {fmt(peer_median, '.2f')}x over {peer_runs} runs",
        f"recorder / windowed peer CPU, unstalled: shown median {fmt(floor['shown'][0], '.2f')}x over "
        f"{floor['shown'][1]} runs ({against(floor['shown'][0], TARGET_SHOWN)} the target of {TARGET_SHOWN}x), "
        f"minimized median {fmt(floor['minimized'][0], '.2f')}x over {floor['minimized'][1]} runs "
        f"({against(floor['minimized'][0], TARGET_MINIMIZED)} the target of {TARGET_MINIMIZED}x)",
        f"recorder's peak memory over the windowed peer's: median {fmt(floor['memory'][0], '+.1f')} MiB over "
        f"{floor['memory'][1]} runs ({against(floor['memory'][0], TARGET_MEMORY_MIB)} the target of "
        f"{TARGET_MEMORY_MIB} MiB)",
        "",
        "lost / repeated: the recorder's frames (one frame = one stereo sample pair), from the frame counter's jumps",
        "and silences where neither peer broke; underruns: breaks a peer has at the same stretch of the counter",
        "(the player did not deliver), with the frames missing there; dropouts: a few milliseconds missing inside a",
        "buffer where no peer broke, which the platform's capture dropped (tests/bench/losses.py);",
        "kept / peer: seconds of the signal kept by the recorder over those kept by parecord over the same wall time;",
        "CPU: seconds per minute of recording of each Linux process (/proc/PID/stat utime+stime, recorder from Record",
        "to Stop, the peers from their start to their stop, parecord in all); peak memory: VmHWM; window: the",
        "recorder's and the windowed peer's, both shown or both minimized (the recorder's through its caption's",
        "button, restored before Stop); recorder / it: the recorder's CPU over the windowed peer's own interval",
        "over the peer's, their medians of the unstalled runs only, as a stalled recorder does less than it;",
        "Stop -> complete: from the click on Stop until the file is closed with its final header (flushed to disk).",
        "",
        "Details (Windows' own view: GetProcessTimes CPU per minute, GetProcessMemoryInfo peak working set at T/3 -> T):",
    ]
    for r in rows:
        lines.append(
            f"  S={r['stall_ms']}: stalls {r['stalls']} (verified stalled {r['stalls_verified']}), "
            f"{r['stalled_ms']} ms suspended in all, from the first buffer {r['capturing_ms']} ms after the start; "
            f"{r['buffers']} buffers; leading silence {r['lead_silence_frames']} frames; silent frames inside "
            f"{r['zeros']}; breaks {r['gaps'][:5]}; Windows CPU {fmt(r['cpu_s_per_min_windows'], '.2f')} "
            f"s/min; peak working set {r['peak_ws_third'] / 1048576:.1f} -> {r['peak_ws_end'] / 1048576:.1f} MiB; "
            f"parecord: {r['parecord_signal_s']:.2f} s in {r['parecord_wall_s']:.2f} s wall, breaks "
            f"{r['parecord_gaps'][:5]}; wave-in peer: {r['peer_signal_s']:.2f} s in {r['peer_wall_s']:.2f} s wall "
            f"(the recorder kept {fmt(r['ratio_peer'], '.3f')} of it), breaks {r['peer_gaps'][:5]}, "
            f"peak memory {fmt(r['peer_vm_hwm_kib'] and r['peer_vm_hwm_kib'] / 1024, '.1f')} MiB; "
            f"windowed peer: {r['floor_signal_s']:.2f} s in {r['floor_wall_s']:.2f} s wall, breaks "
            f"{r['floor_gaps'][:5]}, a ring of {r['floor_ring']} buffers; {suspension_summary(r['suspensions'])}")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=int, default=int(os.environ.get("BENCH_SECONDS", "30")))
    parser.add_argument("--stalls", default=os.environ.get("BENCH_STALLS", STALLS))
    parser.add_argument("--pairs", type=int, default=int(os.environ.get("BENCH_PAIRS", PAIRS)))
    parser.add_argument("--peer", help="wave_in_peer.exe (default: beside the driver)")
    parser.add_argument("--floor", help="windowed_peer.exe (default: beside the driver)")
    args = parser.parse_args()
    args.linux_exe = os.path.abspath(args.exe)
    args.exe = e2e.windows_path(args.exe)
    args.peer = os.path.abspath(args.peer or os.path.join(os.path.dirname(args.driver), "wave_in_peer.exe"))
    args.floor = os.path.abspath(args.floor or os.path.join(os.path.dirname(args.driver), "windowed_peer.exe"))
    os.makedirs(args.out, exist_ok=True)
    stalls = [int(s) for s in args.stalls.split(",") if s]
    # Each pair before its share of the stalled runs, so that the pairs span the whole run.
    runs = []
    for i in range(max(args.pairs, 1)):
        if i < args.pairs:
            runs += [(0, False), (0, True)]
        share = slice(len(stalls) * i // max(args.pairs, 1), len(stalls) * (i + 1) // max(args.pairs, 1))
        runs += [(stall, False) for stall in stalls[share]]
    rows = []
    try:
        for stall, minimized in runs:
            print(f"--- S = {stall} ms, {args.seconds} s{', minimized' if minimized else ''}", flush=True)
            rows.append(run_one(args, stall, minimized))
            print(json.dumps(rows[-1]), flush=True)
    except e2e.Failed:
        return 1
    report = table(rows, args.seconds)
    print(report, flush=True)
    with open(os.path.join(args.out, "benchmark.md"), "w") as f:
        f.write(report)
    with open(os.path.join(args.out, "benchmark.json"), "w") as f:
        json.dump(rows, f, indent=1)
    print(f"saved: {os.path.join(args.out, 'benchmark.md')}", flush=True)
    failed = [f"S={r['stall_ms']}: " + "; ".join(failures(r)) for r in rows if failures(r)]
    for reason in failed:
        print("FAIL " + reason, flush=True)
    return 3 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
