"""The known signal of the bench and its check.

The signal is a 16-bit little-endian counter that rises by one per 16-bit word, whatever the
format: in 16-bit formats every sample is the previous one plus one; in 8-bit formats each pair of
samples holds one counter value. A dropped, repeated, shifted or silenced byte breaks the run.
"""
import itertools

import losses

PERIOD = 1 << 16
CYCLE = b"".join(i.to_bytes(2, "little") for i in range(PERIOD))

# The most silence a recording may begin with. The sound server's monitor gives silence until the
# player's stream reaches it: none once the player is up, as mic.Sink waits for; 0.5 ms at every
# rate when a recording started with the player. This allows twice the most seen.
LEAD_SECONDS = 0.001


def blocks():
    """The ramp as an endless run of byte blocks, for mic.Sink to play."""
    return itertools.repeat(CYCLE)


def _expected(start, length):
    """`length` bytes of the ramp from byte `start` of its cycle."""
    start %= len(CYCLE)
    return (CYCLE * ((start + length) // len(CYCLE) + 1))[start:start + length]


def check_recording(data, fmt, min_bytes):
    """Checks a recording of the ramp in the format `fmt` (channels, rate, bits): at least
    `min_bytes`, of them silence (0x80 in 8-bit, 0 in 16-bit) for at most LEAD_SECONDS, then every
    byte the ramp's up to the end, but where the platform dropped a few milliseconds (losses.py).
    Returns (silent bytes before the ramp, problems found, the platform's breaks)."""
    channels, rate, bits = fmt
    block = channels * bits // 8
    kept = analyse(data, fmt)
    lead = kept["lead"]
    problems = []
    limit = int(LEAD_SECONDS * rate) * block
    if lead > limit:
        problems.append(f"{lead} bytes of silence before the ramp, more than the {limit} the sound server gives")
    if len(data) < min_bytes or len(data) - lead < 4:
        problems.append(f"{len(data)} bytes, {len(data) - lead} of them the ramp; at least {min_bytes} expected")
    own, platform = losses.split(kept["breaks"], fmt)
    problems += [f"the ramp breaks at byte {b['at']} of {len(data)}: {losses.describe(b, fmt)}" for b in own]
    return lead, problems, platform


def _phase(data, pos, block):
    """Where in the ramp's cycle data[pos:] goes on, when its next 8 bytes are the ramp; else None."""
    window = data[pos:pos + 8]
    if len(window) < 4:
        return None
    starts = [2 * int.from_bytes(window[:2], "little")]
    if block % 2:  # an 8-bit mono frame is half a word: the run may start with a word's high byte
        starts.append(2 * int.from_bytes(window[1:3], "little") - 1)
    return next((s % len(CYCLE) for s in starts if _expected(s, len(window)) == window), None)


def _matching(data, pos, start):
    """How many bytes from `pos` on are the ramp from `start`."""
    length = 0
    chunk = 1 << 20
    while pos + length < len(data):
        piece = data[pos + length:pos + length + chunk]
        expected = _expected(start + length, len(piece))
        if piece == expected:
            length += len(piece)
            continue
        low, high = 0, len(piece)  # the longest equal prefix, by halves
        while low < high:
            mid = (low + high + 1) // 2
            if piece[:mid] == expected[:mid]:
                low = mid
            else:
                high = mid - 1
        return length + low
    return length


def _skip(expected, start):
    """Bytes of the ramp skipped from `expected` to `start`, negative where it went back."""
    skip = (start - expected) % len(CYCLE)
    return skip - len(CYCLE) if skip > len(CYCLE) // 2 else skip


def analyse(data, fmt):
    """A recording of the ramp that may break: `lead`, the silent bytes before it, and `breaks` as
    losses.py reads them: where the ramp does not go on, how many of its bytes it skipped there, and
    how many bytes in between were not the ramp (silence or noise). A skip is known only modulo the
    ramp's period, 65,536 words: one of more than half a period is read as going back, and a loss of
    whole periods would not show."""
    channels, _, bits = fmt
    block = channels * bits // 8
    data = bytes(data)
    lead = len(data) - len(data.lstrip(b"\x80" if bits == 8 else b"\0"))
    lead -= lead % block
    breaks = []
    pos = lead
    start = _phase(data, pos, block)  # the ramp's place at `pos`
    expected = None  # where it was due to go on at the last break
    while pos < len(data):
        if start is None:
            gap = pos
            while pos < len(data) and (start := _phase(data, pos, block)) is None:
                pos += block
            missing = None if expected is None or start is None else _skip(expected, start)
            breaks.append({"at": gap, "missing": missing, "silent": pos - gap})
            continue
        run = _matching(data, pos, start)
        if pos + run >= len(data):
            break
        # A break lies on a frame's start; bytes of the new run may match the old one's by chance.
        run -= (pos + run) % block
        expected = (start + run) % len(CYCLE)
        pos += run
        start = _phase(data, pos, block)
        if start is not None:
            breaks.append({"at": pos, "missing": _skip(expected, start), "silent": 0})
    return {"lead": lead, "bytes": len(data), "breaks": breaks}
