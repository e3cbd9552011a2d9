"""Whose loss a break in a recording is: the recorder's or the platform's.

The recorder writes whole buffers, in the order the device hands them back: what it can lose or
repeat is whole buffers, or the end of one, so its breaks lie on a buffer's edge. The platform's
audio path drops a few milliseconds when it falls behind under load (Wine's capture drops a 10 ms
period when its reader is 100 ms late), and the device fills the buffer on with what comes after:
those breaks lie inside a buffer. So a break is the platform's when it lies inside a buffer, the
signal only skips forward there (nothing repeated, nothing else in its place), by at most
PLATFORM_MOST_SECONDS, and what follows it is not the start of the next buffer.

A break is {"at": its byte offset in the data, "missing": bytes of the signal skipped there (None
where unknown), "silent": bytes in its place that are not the signal}, as ramp.analyse and
frames.places give them. A platform's dropout that lands exactly on an edge is taken for the
recorder's: with 10 ms dropouts in half-second buffers, about one in fifty could.
"""
import math

import wavefile

PLATFORM_MOST_SECONDS = 0.05


def buffer_bytes(fmt):
    """The recorder's buffer in bytes for a format (channels, rate, bits)."""
    return wavefile.buffer_size(wavefile.row_of(*fmt))


def platforms(brk, fmt):
    """Whether the break is the platform's."""
    channels, rate, bits = fmt
    size = buffer_bytes(fmt)
    inside = brk["at"] % size
    missing = brk["missing"]
    if missing is None or brk["silent"] or inside == 0 or inside + missing == size:
        return False
    return 0 < missing <= PLATFORM_MOST_SECONDS * rate * channels * bits // 8


def source_failed(brk, peers):
    """Whether a second client recording the same frame counter (frames.py) at the same time missed
    the same stretch of it: then the source did not deliver it. `peers`: each client's breaks."""
    if brk["missing"] is not None and brk["missing"] < 0:
        return False
    start, end = brk["stretch"]
    return any(max(start, s) < min(end or math.inf, e or math.inf)
               for breaks in peers for b in breaks if b["missing"] is None or b["missing"] >= 0
               for s, e in [b["stretch"]])


def split(breaks, fmt, peers=()):
    """The breaks as (the recorder's, the platform's); each of the platform's says why in "whose".
    `peers`: the breaks of second clients that recorded the same frame counter at the same time."""
    own, theirs = [], []
    for brk in breaks:
        if platforms(brk, fmt):
            theirs.append(dict(brk, whose="a dropout inside a buffer"))
        elif peers and source_failed(brk, peers):
            theirs.append(dict(brk, whose="the source's: a second client missed the same stretch"))
        else:
            own.append(brk)
    return own, theirs


def describe(brk, fmt):
    channels, rate, bits = fmt
    block = channels * bits // 8
    size = buffer_bytes(fmt)
    what = []
    if brk["missing"]:
        frames = abs(brk["missing"]) // block
        what.append(f"{frames} frames ({1000 * frames / rate:.1f} ms) {'missing' if brk['missing'] > 0 else 'repeated'}")
    if brk["silent"]:
        what.append(f"{brk['silent'] // block} frames ({1000 * brk['silent'] / block / rate:.1f} ms) not the signal")
    return (f"{' and '.join(what) or 'a break'} {(brk['at'] % size) // block} frames into buffer "
            f"{brk['at'] // size + 1} (byte {brk['at']})")


def report(platform, fmt, what=""):
    """Prints the platform's breaks, which fail no case that is not about them."""
    for brk in platform:
        print(f"platform: {what}{describe(brk, fmt)}: the platform's, {brk['whose']}", flush=True)
