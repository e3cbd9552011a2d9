#!/usr/bin/env python3
"""Capture fidelity benchmark: records from a virtual microphone through the recorder's window for
T seconds while its window thread is suspended for S ms once a second, for each S; a native peer
(parecord) records the same source over the same wall time. Prints a table and saves it.

    benchmark.py --exe Recorder.exe --driver e2e_driver.exe --out DIR [--seconds T] [--stalls 0,100,250,400]

T defaults to BENCH_SECONDS or 30, the stalls to BENCH_STALLS or 0,100,250,400. Run inside the
bench's environment (scripts/bench.sh start; source BUILD/bench/env.sh).

The microphone plays a 32-bit frame counter (tests/bench/frames.py) at 44.1 kHz stereo 16-bit, the
recorder records that format, so every lost or repeated frame is counted exactly. CPU time and peak
memory are the Linux process's that runs Recorder.exe (/proc/PID/stat utime+stime, /proc/PID/status
VmHWM, all threads), beside what Windows reports to the driver (GetProcessTimes,
GetProcessMemoryInfo).
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "bench"))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
import frames  # noqa: E402
import mic  # noqa: E402
import wavefile  # noqa: E402

ROW = 11  # 44.1 kHz stereo 16-bit
RATE = 44100
FRAME_BYTES = 4
DEVICE = "Bench Mic"


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
    """CPU seconds (all threads) and peak resident memory of process `pid`, or None when gone."""
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
            "vm_hwm_kib": int(status["VmHWM"].split()[0]), "vm_rss_kib": int(status["VmRSS"].split()[0])}


def run_one(args, stall_ms):
    path = os.path.join(args.out, f"bench-{stall_ms:03d}ms.wav")
    peer_path = os.path.join(args.out, f"bench-{stall_ms:03d}ms-peer.raw")
    for old in (path, peer_path):
        e2e.fresh(old)
    sink = mic.Sink(f"{DEVICE}:s16le:{RATE}:2", 0)
    peer = None
    samples = {}
    try:
        sink.load()
        sink.signal = frames.blocks()
        sink.play()
        time.sleep(0.3)
        driver = e2e.Driver(args, "bench", args.exe, f"Monitor of {DEVICE}", str(ROW), e2e.windows_path(path),
                            str(args.seconds), str(stall_ms))
        line = driver.lines_until("STARTED")
        e2e.expect(line is not None, "the recording started")
        with open(peer_path, "wb") as out:
            peer = subprocess.Popen(["parecord", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2",
                                     "-d", f"{sink.sink_name}.monitor"], stdout=out, stderr=subprocess.DEVNULL)
        peer_started = time.monotonic()
        pid = find_unix_process(args.linux_exe)
        samples["start"] = {"windows": json.loads(line), "linux": linux_sample(pid)}
        used = e2e.source_outputs()
        e2e.expect(used.count(f"{sink.sink_name}.monitor") >= 1, f"the recording reads the bench microphone: {used}")
        for _ in range(2):
            line = driver.lines_until("SAMPLE")
            e2e.expect(line is not None, "a sample of the recorder's CPU time and memory")
            windows = json.loads(line)
            samples[windows["when"]] = {"windows": windows, "linux": linux_sample(pid)}
        e2e.expect(driver.lines_until("STOPPED") is not None, "Stop clicked")
        peer.send_signal(signal.SIGINT)
        peer.wait(10)
        peer_wall = time.monotonic() - peer_started
        result = driver.result()
    finally:
        if peer and peer.poll() is None:
            peer.kill()
        sink.unload()
    with open(path, "rb") as f:
        content = f.read()
    _, problems = wavefile.check(content, ROW)
    e2e.expect(not problems, f"the file is complete: {problems}")
    kept = frames.analyse(content[44:])
    with open(peer_path, "rb") as f:
        peer_kept = frames.analyse(f.read())
    wall = result["wall_ms"] / 1000
    signal_seconds = (kept["frames"] - kept["silence"]) / RATE
    peer_seconds = (peer_kept["frames"] - peer_kept["silence"]) / RATE
    linux = {k: v["linux"] for k, v in samples.items()}
    windows = {k: v["windows"] for k, v in samples.items()}
    cpu_linux = (linux["end"]["cpu_s"] - linux["start"]["cpu_s"]) if linux["end"] and linux["start"] else None
    cpu_windows = (windows["end"]["cpu_ms"] - windows["start"]["cpu_ms"]) / 1000 if windows["end"]["cpu_ms"] >= 0 else None
    minutes = kept["frames"] / RATE / 60
    return {
        "stall_ms": stall_ms, "stalls": result["stalls"], "stalls_verified": result["stalls_verified"],
        "stalled_ms": result["stalled_ms"], "wall_s": wall, "audio_s": kept["frames"] / RATE,
        "signal_s": signal_seconds, "kept_per_wall_s": kept["frames"] / RATE / wall,
        "lost": kept["lost"], "repeated": kept["repeated"], "breaks": kept["breaks"], "zeros": kept["zeros"],
        "lead_silence_frames": kept["silence"], "first_breaks": kept["first_breaks"],
        "cpu_s_per_min_linux": cpu_linux / minutes if cpu_linux is not None and minutes else None,
        "cpu_s_per_min_windows": cpu_windows / minutes if cpu_windows is not None and minutes else None,
        "vm_hwm_third_kib": linux["third"]["vm_hwm_kib"] if linux["third"] else None,
        "vm_hwm_end_kib": linux["end"]["vm_hwm_kib"] if linux["end"] else None,
        "peak_ws_third": windows["third"]["peak_working_set"], "peak_ws_end": windows["end"]["peak_working_set"],
        "peer_s": peer_kept["frames"] / RATE, "peer_signal_s": peer_seconds, "peer_wall_s": peer_wall,
        "peer_lost": peer_kept["lost"], "peer_repeated": peer_kept["repeated"], "peer_breaks": peer_kept["breaks"],
        "ratio": signal_seconds / peer_seconds if peer_seconds else None,
        "buffers": result["buffers"], "exit_code": result["exit_code"],
        "break_offsets": kept["break_offsets"], "stall_starts_ms": result["stall_starts_ms"],
        "labels": result["labels"],
    }


def fmt(value, pattern):
    return "n/a" if value is None else format(value, pattern)


def table(rows, seconds):
    lines = [
        f"Capture benchmark: {seconds} s per run, 44.1 kHz stereo 16-bit, window thread suspended S ms once a second",
        "",
        "| S ms | audio s / wall s | lost | repeated | discontinuities | CPU s / min recorded | peak memory MiB at T/3 -> T | peer audio s | recorder / peer |",
        "|---:|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for r in rows:
        hwm = (f"{fmt(r['vm_hwm_third_kib'] and r['vm_hwm_third_kib'] / 1024, '.1f')} -> "
               f"{fmt(r['vm_hwm_end_kib'] and r['vm_hwm_end_kib'] / 1024, '.1f')}")
        lines.append(
            f"| {r['stall_ms']} | {r['audio_s']:.2f} / {r['wall_s']:.2f} = {r['kept_per_wall_s']:.3f} | {r['lost']} "
            f"| {r['repeated']} | {r['breaks']} | {fmt(r['cpu_s_per_min_linux'], '.2f')} | {hwm} "
            f"| {r['peer_signal_s']:.2f} | {fmt(r['ratio'], '.4f')} |")
    lines += [
        "",
        "lost / repeated: frames (one frame = one stereo sample pair), counted from the frame counter's jumps;",
        "audio s: frames in the file / 44100, including silence before capture delivered the signal;",
        "recorder / peer: seconds of the signal kept by the recorder over those kept by parecord over the same wall time;",
        "CPU and peak memory: Linux process running Recorder.exe (/proc/PID/stat utime+stime from Record to Stop,",
        "/proc/PID/status VmHWM sampled at T/3 and at T).",
        "",
        "Details (Windows' own view: GetProcessTimes CPU per minute, GetProcessMemoryInfo peak working set at T/3 -> T):",
    ]
    for r in rows:
        lines.append(
            f"  S={r['stall_ms']}: stalls {r['stalls']} (verified stalled {r['stalls_verified']}), {r['stalled_ms']} ms suspended in all; "
            f"{r['buffers']} buffers; leading silence {r['lead_silence_frames']} frames; silent frames inside {r['zeros']}; "
            f"first breaks {r['first_breaks']}; Windows CPU {fmt(r['cpu_s_per_min_windows'], '.2f')} s/min; "
            f"peak working set {r['peak_ws_third'] / 1048576:.1f} -> {r['peak_ws_end'] / 1048576:.1f} MiB; "
            f"peer: {r['peer_s']:.2f} s in {r['peer_wall_s']:.2f} s wall, lost {r['peer_lost']}, repeated {r['peer_repeated']}, "
            f"breaks {r['peer_breaks']}")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=int, default=int(os.environ.get("BENCH_SECONDS", "30")))
    parser.add_argument("--stalls", default=os.environ.get("BENCH_STALLS", "0,100,250,400"))
    args = parser.parse_args()
    args.linux_exe = os.path.abspath(args.exe)
    args.exe = e2e.windows_path(args.exe)
    os.makedirs(args.out, exist_ok=True)
    rows = []
    try:
        for stall in [int(s) for s in args.stalls.split(",")]:
            print(f"--- S = {stall} ms, {args.seconds} s", flush=True)
            rows.append(run_one(args, stall))
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
    # The target: nothing lost or repeated at any stall.
    return 0 if all(r["lost"] == 0 and r["repeated"] == 0 for r in rows) else 3


if __name__ == "__main__":
    sys.exit(main())
