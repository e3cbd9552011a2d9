"""The recorder's formats and the WAVE files it writes, as the bench's checks read them."""
import struct

# Channels, rate and bits of each row of the recorder's format table, in table order.
FORMATS = [(1, 11025, 8), (1, 11025, 16), (2, 11025, 8), (2, 11025, 16),
           (1, 22050, 8), (1, 22050, 16), (2, 22050, 8), (2, 22050, 16),
           (1, 44100, 8), (1, 44100, 16), (2, 44100, 8), (2, 44100, 16)]

FIELDS = ["riff", "riff_length", "wave", "fmt", "fmt_length", "format", "channels", "rate", "byte_rate",
          "block_align", "bits", "data", "data_length"]


def block_align(row):
    channels, _, bits = FORMATS[row]
    return channels * bits // 8


def buffer_size(row):
    """Half a second, rounded down to whole frames."""
    return FORMATS[row][1] // 2 * block_align(row)


def check(content, row, complete=True):
    """Reads `content` as a WAVE file of the row's format. Returns (header fields by name, problems):
    the problems are texts, none when the header is the recorder's 44-byte PCM header of that format
    whose RIFF length is its data length + 36 and, when `complete`, whose data length is exactly
    the bytes after it."""
    if len(content) < 44:
        return {}, [f"{len(content)} bytes, fewer than a 44-byte header"]
    h = dict(zip(FIELDS, struct.unpack("<4sI4s4sIHHIIHH4sI", content[:44])))
    channels, rate, bits = FORMATS[row]
    expected = {"riff": b"RIFF", "wave": b"WAVE", "fmt": b"fmt ", "data": b"data", "fmt_length": 16, "format": 1,
                "channels": channels, "rate": rate, "bits": bits, "block_align": block_align(row),
                "byte_rate": rate * block_align(row), "riff_length": h["data_length"] + 36}
    if complete:
        expected["data_length"] = len(content) - 44
    problems = [f"{key} {h[key]!r}, expected {value!r}" for key, value in expected.items() if h[key] != value]
    return h, problems


def row_of(channels, rate, bits):
    return FORMATS.index((channels, rate, bits))
