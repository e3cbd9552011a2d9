#!/usr/bin/env python3
"""Virtual microphones on the bench's private sound server.

    mic.py --sink "NAME:FORMAT:RATE:CHANNELS" [--sink ...] -- COMMAND...

Starts a sound server of its own, loads a null sink per --sink (FORMAT is u8 or s16le), plays the counter ramp into each, runs
COMMAND with RECORDER_MICS set to the sinks' descriptions (';'-separated), then removes them. It
fails when a player did not start or stopped before the command ended: a microphone that does
not play is silent, and a silent recording must not pass for a recording of the signal.
Wine lists each sink's monitor as a wave-input device named "Monitor of NAME".
"""
import argparse
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ramp  # noqa: E402
import wavefile  # noqa: E402

START_SECONDS = 5


class PlayerFailed(Exception):
    pass


def argument_for(row, name):
    """The --sink argument of a microphone that plays in exactly the format of the row."""
    channels, rate, bits = wavefile.FORMATS[row]
    return f"{name}:{'u8' if bits == 8 else 's16le'}:{rate}:{channels}"


def pactl(*args):
    return subprocess.run(["pactl", *args], check=True, capture_output=True, text=True).stdout.strip()


class Sink:
    """A microphone: `with Sink(...) as sink:` loads it and plays into it, then removes it, and
    raises PlayerFailed when the player stopped meanwhile."""

    def __init__(self, argument, index, signal=None):
        name, fmt, rate, channels = argument.rsplit(":", 3)
        self.description = name
        self.format = fmt
        self.rate = int(rate)
        self.channels = int(channels)
        # The same name in every run: Wine keeps each sink it has seen as a device of the prefix for
        # good, and every program then takes longer to start for each one (60 ms here), so names
        # that changed from run to run made the recorder take 20 s to start after a few runs.
        self.sink_name = "mic_" + re.sub(r"[^A-Za-z0-9]", "_", name) + f"_{index}"
        self.module = None
        self.player = None
        self.signal = signal if signal is not None else ramp.blocks()
        self.feed_error = None

    def load(self):
        # The module's arguments and the property list each take their own level of quotes.
        props = f"\"device.description='{self.description}'\""
        self.module = pactl("load-module", "module-null-sink", f"sink_name={self.sink_name}",
                            f"format={self.format}", f"rate={self.rate}", f"channels={self.channels}",
                            f"sink_properties={props}")

    def play(self):
        """Plays the signal into the sink, paced by the player, on a daemon thread; returns once the
        sound server plays the player's stream into the sink. The player keeps a second queued at
        the server to ride out a busy machine: held up for 150 ms, the server found a 50 ms queue
        empty and played silence into every recording; a 1000 ms queue rode out 400 ms."""
        self.errors = tempfile.TemporaryFile()
        self.feed_error = None  # a player killed by an earlier unload left its own
        self.player = subprocess.Popen(
            ["pacat", "--playback", "--raw", f"--format={self.format}", f"--rate={self.rate}",
             f"--channels={self.channels}", "--latency-msec=1000", "-d", self.sink_name],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=self.errors)
        stream = self.player.stdin

        def feed():
            try:
                for block in self.signal:
                    stream.write(block)
                    stream.flush()
                self.feed_error = "the signal ran out"
            except Exception as error:  # also when unload kills the player
                self.feed_error = repr(error)
        self.feeder = threading.Thread(target=feed, daemon=True)
        self.feeder.start()
        deadline = time.monotonic() + START_SECONDS
        while not self.problem() and not self.streaming():
            if time.monotonic() > deadline:
                raise PlayerFailed(f"{self.description}: the player's stream did not reach the sink in {START_SECONDS} s")
            time.sleep(0.05)
        if self.problem():
            raise PlayerFailed(f"{self.description}: {self.problem()}")

    def streaming(self):
        sink = next(line.split("\t")[0] for line in pactl("list", "short", "sinks").splitlines()
                    if line.split("\t")[1] == self.sink_name)
        return any(line.split("\t")[1] == sink for line in pactl("list", "short", "sink-inputs").splitlines())

    def problem(self):
        """Why the player is not playing, or None while it plays."""
        if self.player.poll() is not None:
            self.errors.seek(0)
            return f"the player ended with code {self.player.returncode}: {self.errors.read().decode(errors='replace')}"
        return self.feed_error and f"feeding the player failed: {self.feed_error}"

    def second_client(self, path):
        """parecord on the sink's monitor, recording what the microphone gives into `path` (raw) until
        it is interrupted: a client beside the recorder, to tell a source that failed to deliver."""
        with open(path, "wb") as out:
            return subprocess.Popen(["parecord", "--raw", f"--format={self.format}", f"--rate={self.rate}",
                                     f"--channels={self.channels}", "-d", f"{self.sink_name}.monitor"],
                                    stdout=out, stderr=subprocess.DEVNULL)

    def unload(self):
        if self.player:
            self.player.kill()
            self.player.wait()
            self.feeder.join(5)  # so that a later play() feeds the signal on alone
        if self.module:
            subprocess.run(["pactl", "unload-module", self.module], capture_output=True)

    def __enter__(self):
        self.load()
        try:
            self.play()
        except BaseException:
            self.unload()
            raise
        return self

    def __exit__(self, failure, *rest):
        problem = self.player and self.problem()
        self.unload()
        if problem and failure is None:
            raise PlayerFailed(f"{self.description} stopped playing: {problem}")


class SoundServer:
    """A PulseAudio daemon of one test alone, in whose environment everything started meanwhile runs:
    Wine 8 may open the wrong source when a server has several sinks, so tests that run side by side
    each play into a server of their own; and a test may kill its server and leave the others'."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="recorder-pulse-")
        os.chmod(self.dir, 0o700)
        self.socket = os.path.join(self.dir, "pulse.sock")
        self.saved = {k: os.environ.get(k) for k in ("PULSE_SERVER", "XDG_RUNTIME_DIR")}
        self.process = None

    def __enter__(self):
        env = dict(os.environ, HOME=self.dir, XDG_RUNTIME_DIR=self.dir)
        self.process = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
             "--log-target=file:" + os.path.join(self.dir, "pulse.log"),
             "-L", f"module-native-protocol-unix auth-anonymous=1 socket={self.socket}",
             "-L", "module-null-sink sink_name=idle sink_properties=device.description=Idle",
             "-L", "module-always-sink"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["PULSE_SERVER"] = "unix:" + self.socket
        os.environ["XDG_RUNTIME_DIR"] = self.dir
        deadline = time.monotonic() + 20
        while subprocess.run(["pactl", "info"], capture_output=True).returncode != 0:
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.__exit__()
                raise PlayerFailed("a sound server of the test's own did not come up")
            time.sleep(0.1)
        return self

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for key, value in self.saved.items():
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value
        shutil.rmtree(self.dir, ignore_errors=True)


def main():
    argv = sys.argv[1:]
    if "--" not in argv:
        sys.exit("usage: mic.py --sink NAME:FORMAT:RATE:CHANNELS ... -- COMMAND...")
    split = argv.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("--sink", action="append", default=[])
    args = parser.parse_args(argv[:split])
    try:
        with contextlib.ExitStack() as stack:
            stack.enter_context(SoundServer())
            sinks = [stack.enter_context(Sink(argument, i)) for i, argument in enumerate(args.sink)]
            env = dict(os.environ, RECORDER_MICS=";".join(s.description for s in sinks))
            return subprocess.run(argv[split + 1:], env=env).returncode
    except PlayerFailed as failure:
        print(f"FAIL {failure}", flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
