"""The known signal of the bench and its check.

The signal is a 16-bit little-endian counter that rises by one per 16-bit word, whatever the
format: in 16-bit formats every sample is the previous one plus one; in 8-bit formats each pair of
samples holds one counter value. A dropped, repeated or shifted byte breaks the run.
"""
import itertools

PERIOD = 1 << 16
CYCLE = b"".join(i.to_bytes(2, "little") for i in range(PERIOD))


def blocks():
    """The ramp as an endless run of byte blocks, for mic.Sink to play."""
    return itertools.repeat(CYCLE)


def _whole_run(data, phase, words):
    """True when the words from `phase` on are one unbroken run, compared as bytes (fast)."""
    if words < 2:
        return True
    first = int.from_bytes(data[phase:phase + 2], "little")
    length = 2 * words
    cycles = (2 * first + length) // len(CYCLE) + 1
    return data[phase:phase + length] == (CYCLE * cycles)[2 * first:2 * first + length]


def check_run(data):
    """Returns (phase, words, breaks): the byte phase at which the counter starts, the number of
    whole counter words, and a list of (byte offset, expected, found) where the run breaks."""
    data = bytes(data)
    for phase in (0, 1):
        words = (len(data) - phase) // 2
        if _whole_run(data, phase, words):
            return (phase, words, [])
    best = None
    for phase in (0, 1):
        words = (len(data) - phase) // 2
        values = [int.from_bytes(data[phase + 2 * k: phase + 2 * k + 2], "little") for k in range(words)]
        breaks = [(phase + 2 * k, (values[k - 1] + 1) % PERIOD, values[k])
                  for k in range(1, words) if values[k] != (values[k - 1] + 1) % PERIOD]
        if best is None or len(breaks) < len(best[2]):
            best = (phase, words, breaks)
    return best


def check_recording(data, bits):
    """Checks a recording of the ramp. Silence (0x80 in 8-bit, 0 in 16-bit) is allowed before the ramp
    at the very start only: the sound server's monitor gives a little before the stream reaches it.
    Returns (leading silent bytes, counter words, breaks) as check_run does after the silence."""
    quiet = b"\x80" if bits == 8 else b"\0"
    lead = len(data) - len(data.lstrip(quiet))
    if bits == 16:
        lead &= ~1  # keep whole samples
    _, words, breaks = check_run(data[lead:])
    return lead, words, breaks
