#include "ui/wave_header.h"

#include <cstring>

#include "ui/formats.h"

TWaveFileHeader MakeWaveFileHeader(int32_t channels, int32_t sampleRate, int32_t bitsPerSample,
                                   int32_t totalBytes)
{
    const WAVEFORMATEX format = PcmWaveFormat(channels, sampleRate, bitsPerSample);
    TWaveFileHeader header{};
    std::memcpy(header.RiffTag, "RIFF", 4);
    header.RiffLength = static_cast<uint32_t>(totalBytes) + 36u;
    std::memcpy(header.WaveTag, "WAVE", 4);
    std::memcpy(header.FmtTag, "fmt ", 4);
    header.FmtLength = 16;
    header.FormatTag = format.wFormatTag;
    header.Channels = format.nChannels;
    header.SampleRate = format.nSamplesPerSec;
    header.ByteRate = format.nAvgBytesPerSec;
    header.BlockAlign = format.nBlockAlign;
    header.BitsPerSample = format.wBitsPerSample;
    std::memcpy(header.DataTag, "data", 4);
    header.DataLength = static_cast<uint32_t>(totalBytes);
    return header;
}
