"""A frame counter for 16-bit stereo microphones, and its check.

Each frame holds its own number as a 32-bit little-endian count (left channel the low half, right
channel the high half), so a recording tells exactly how many frames were lost or repeated at each
break, however long the gap: the 16-bit ramp of ramp.py wraps after 0.74 s at 44.1 kHz stereo.
Counting starts at FIRST, so frames of silence (0) are told apart from the signal.
"""
import array
import sys

import losses
from ramp import LEAD_SECONDS

FIRST = 1 << 20
RATE = 44100
FORMAT = (2, RATE, 16)
CHUNK = 4410  # frames per write: a tenth of a second at 44.1 kHz

assert array.array("I").itemsize == 4 and sys.byteorder == "little"


def blocks():
    """The counter as an endless run of byte blocks, for mic.Sink to play (s16le stereo)."""
    n = FIRST
    while True:
        yield array.array("I", range(n, n + CHUNK)).tobytes()
        n += CHUNK


def analyse(data):
    """Counts in frames: `frames` kept, `silence` leading zero frames (before capture delivered the
    signal), and past them `lost` (sum of forward jumps beyond one), `repeated` (frames whose number
    was seen already, from backward jumps), `breaks` (places where a frame is not the previous + 1),
    and `zeros` (silent frames after the signal began, each a break too); `gaps` lists every break as
    (last frame before it, first frame after it or None at the end, silent frames in between), and
    `gap_offsets` where each begins (the index of its first silent or out-of-turn frame)."""
    frames = array.array("I")
    frames.frombytes(bytes(data[:len(data) // 4 * 4]))
    silence = 0
    while silence < len(frames) and frames[silence] == 0:
        silence += 1
    lost = repeated = breaks = zeros = 0
    first_breaks = []
    offsets = []
    gaps = []
    gap_offsets = []
    previous = None
    in_zeros = 0
    for index in range(silence, len(frames)):
        value = frames[index]
        if value == 0:
            # Silence inside the signal: one break per run; the frames it replaced count as lost.
            zeros += 1
            breaks += 0 if in_zeros else 1
            in_zeros += 1
            continue
        if in_zeros or (previous is not None and value != previous + 1):
            gaps.append((previous, value, in_zeros))
            gap_offsets.append(index - in_zeros)
        after_zeros, in_zeros = in_zeros, 0
        if previous is not None and value != previous + 1:
            breaks += 0 if after_zeros else 1
            if len(first_breaks) < 5:
                first_breaks.append((previous, value))
                offsets.append(index)
            if value > previous:
                lost += value - previous - 1
            else:
                repeated += previous - value + 1
        previous = value
    if in_zeros:
        gaps.append((previous, None, in_zeros))
        gap_offsets.append(len(frames) - in_zeros)
    signal = frames[silence:]
    return {"frames": len(frames), "silence": silence, "lost": lost, "repeated": repeated, "breaks": breaks,
            "zeros": zeros, "first": signal[0] if signal else None, "last": signal[-1] if signal else None,
            "first_breaks": first_breaks, "break_offsets": offsets, "gaps": gaps, "gap_offsets": gap_offsets, "odd_bytes": len(data) % 4}


def places(kept):
    """The breaks analyse() found, as losses.py reads them: in bytes, the frames skipped negative
    where they went back; and the stretch of the counter between, (last before, first after or None)."""
    return [{"at": 4 * at, "missing": None if after is None else 4 * (after - before - 1), "silent": 4 * zeros,
             "stretch": (before, after)} for at, (before, after, zeros) in zip(kept["gap_offsets"], kept["gaps"])]


def check_recording(data, min_frames, peers=()):
    """Checks a recording of the counter as ramp.check_recording checks one of the ramp: at least
    `min_frames`, of them at most LEAD_SECONDS of silence, then the counter unbroken to the end but
    where the platform dropped a few milliseconds, or where second clients that recorded it at the
    same time (`peers`: their analyse()) missed the same stretch. Returns (what analyse found, with
    `platform`, the platform's breaks; problems found)."""
    kept = analyse(data)
    problems = []
    if kept["silence"] > LEAD_SECONDS * RATE:
        problems.append(f"{kept['silence']} frames of silence before the counter, more than {LEAD_SECONDS} s")
    if kept["frames"] < min_frames or kept["first"] is None:
        problems.append(f"{kept['frames']} frames, {kept['frames'] - kept['silence']} of them the counter; "
                        f"at least {min_frames} expected")
    own, kept["platform"] = losses.split(places(kept), FORMAT, [places(p) for p in peers])
    if own or kept["odd_bytes"]:
        problems.append(f"{len(own)} breaks ({'; '.join(losses.describe(b, FORMAT) for b in own[:5])}), "
                        f"{kept['odd_bytes']} bytes of a frame")
    return kept, problems
