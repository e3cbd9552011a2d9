#!/usr/bin/env python3
"""Virtual microphones on the bench's private sound server.

    mic.py --sink "NAME:FORMAT:RATE:CHANNELS" [--sink ...] [--silent] -- COMMAND...

Loads a null sink per --sink (FORMAT is u8 or s16le), plays the counter ramp into each, runs
COMMAND with RECORDER_MICS set to the sinks' descriptions (';'-separated), then removes them.
Wine lists each sink's monitor as a wave-input device named "Monitor of NAME".
"""
import argparse
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ramp  # noqa: E402


def pactl(*args):
    return subprocess.run(["pactl", *args], check=True, capture_output=True, text=True).stdout.strip()


class Sink:
    def __init__(self, argument, index):
        name, fmt, rate, channels = argument.rsplit(":", 3)
        self.description = name
        self.format = fmt
        self.rate = int(rate)
        self.channels = int(channels)
        self.sink_name = f"recmic{os.getpid()}_{index}"
        self.module = None
        self.player = None
        self.signal = None  # an iterable of byte blocks to play; the ramp when None

    def load(self):
        # The module's arguments and the property list each take their own level of quotes.
        props = f"\"device.description='{self.description}'\""
        self.module = pactl("load-module", "module-null-sink", f"sink_name={self.sink_name}",
                            f"format={self.format}", f"rate={self.rate}", f"channels={self.channels}",
                            f"sink_properties={props}")

    def play(self):
        """Plays the signal into the sink, paced by the player, on a daemon thread."""
        # A second queued at the sound server: held up for 150 ms, the server found a 50 ms queue
        # empty and played silence into every recording; a 1000 ms queue rode out 400 ms.
        self.player = subprocess.Popen(
            ["pacat", "--playback", "--raw", f"--format={self.format}", f"--rate={self.rate}",
             f"--channels={self.channels}", "--latency-msec=1000", "-d", self.sink_name],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        stream = self.player.stdin
        blocks = self.signal if self.signal is not None else ramp.blocks()

        def feed():
            try:
                for block in blocks:
                    stream.write(block)
                    stream.flush()
            except (BrokenPipeError, ValueError, OSError):
                pass
        threading.Thread(target=feed, daemon=True).start()

    def unload(self):
        if self.player:
            self.player.kill()
            self.player.wait()
        if self.module:
            subprocess.run(["pactl", "unload-module", self.module], capture_output=True)


def main():
    argv = sys.argv[1:]
    if "--" not in argv:
        sys.exit("usage: mic.py --sink NAME:FORMAT:RATE:CHANNELS ... -- COMMAND...")
    split = argv.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("--sink", action="append", default=[])
    parser.add_argument("--silent", action="store_true", help="load the sinks but play nothing")
    args = parser.parse_args(argv[:split])
    command = argv[split + 1:]

    sinks = [Sink(argument, i) for i, argument in enumerate(args.sink)]
    try:
        for sink in sinks:
            sink.load()
            if not args.silent:
                sink.play()
        time.sleep(0.3)
        env = dict(os.environ, RECORDER_MICS=";".join(s.description for s in sinks))
        return subprocess.run(command, env=env).returncode
    finally:
        for sink in sinks:
            sink.unload()


if __name__ == "__main__":
    sys.exit(main())
