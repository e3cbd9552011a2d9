// The WAVE file writer: a 44-byte header followed by the audio bytes exactly as captured.
#include "ui/unit_main.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr int64_t kRiffLengthOffset = offsetof(TWaveFileHeader, RiffLength);
constexpr int64_t kDataLengthOffset = offsetof(TWaveFileHeader, DataLength);

// A WAVE file's lengths are 32-bit; a length past the signed range would wrap into a header that
// lies about its data, so such a length is refused instead.
void RequireWaveLength(int64_t dataBytes)
{
    if (dataBytes < 0 || dataBytes > kMaxWaveDataBytes)
        throw EInOutError(ERROR_FILE_TOO_LARGE);
}

// Rewrites the header's two length fields for `dataBytes` of audio; leaves the position at 44.
void WriteLengthsInPlace(TBinaryFile& file, int32_t dataBytes)
{
    const uint32_t riffLength = static_cast<uint32_t>(dataBytes) + 36u;
    const uint32_t dataLength = static_cast<uint32_t>(dataBytes);
    file.Seek(kRiffLengthOffset);
    file.Write(&riffLength, sizeof riffLength);
    file.Seek(kDataLengthOffset);
    file.Write(&dataLength, sizeof dataLength);
}

} // namespace

void TForm1::CreateWaveFile(const std::wstring& fileName)
{
    // The reserved header is already a valid empty WAVE file of this recording's format, so the
    // file is playable from the start rather than holding zeros or an older recording's header.
    WaveHeader = MakeWaveFileHeader(Channels, SampleRate, BitsPerSample, 0);
    WaveFile.Assign(fileName);
    WaveFile.Rewrite();
    WaveFile.Write(&WaveHeader, sizeof WaveHeader);
}

void TForm1::AppendWaveData(const BYTE* bytes, int32_t count)
{
    const int64_t start = WaveFile.Position(); // the end of the file; 103 when it is not open
    if (count < 0)
        throw EInOutError(ERROR_INVALID_PARAMETER);
    const int64_t oldLength = WaveHeader.DataLength;
    const int64_t newLength = oldLength + count;
    RequireWaveLength(newLength);

    try {
        WaveFile.Write(bytes, static_cast<uint32_t>(count));
        // Keep the header's lengths current, so a recording cut off by a crash or a kill is
        // still a playable file that lacks at most the buffer in flight.
        WriteLengthsInPlace(WaveFile, static_cast<int32_t>(newLength));
        WaveFile.Seek(start + count);
    } catch (const EInOutError&) {
        // Take the file back to where this append began: it then holds whole buffers only and
        // its header matches them. Best effort; the caller gets the original error.
        try {
            WaveFile.Seek(start);
            WaveFile.Truncate();
            WriteLengthsInPlace(WaveFile, static_cast<int32_t>(oldLength));
            WaveFile.Seek(start);
        } catch (const EInOutError&) {
        }
        throw;
    }
    WaveHeader.DataLength = static_cast<uint32_t>(newLength);
    WaveHeader.RiffLength = static_cast<uint32_t>(newLength) + 36u;
}

void TForm1::WriteWaveHeader(int32_t totalBytes)
{
    RequireWaveLength(totalBytes);
    // The format the file was created with: the window's fields may already hold the next one's.
    WaveHeader = MakeWaveFileHeader(WaveHeader.Channels, WaveHeader.SampleRate, WaveHeader.BitsPerSample, totalBytes);
    // Through the handle that wrote the audio: reopening by name would let a scanner that opens the
    // file in between fail us on a complete recording, or send the header to a file put in its place.
    WaveFile.Seek(0);
    WaveFile.Write(&WaveHeader, sizeof WaveHeader);
}

void TForm1::CloseWaveFile() { WaveFile.Close(); }
