#pragma once
// The 44-byte header of a PCM WAVE file, as it lies on disk (little-endian).

#include <climits>
#include <cstdint>

#pragma pack(push, 1)
struct TWaveFileHeader {
    char RiffTag[4];
    uint32_t RiffLength;
    char WaveTag[4];
    char FmtTag[4];
    uint32_t FmtLength;
    uint16_t FormatTag;
    uint16_t Channels;
    uint32_t SampleRate;
    uint32_t ByteRate;
    uint16_t BlockAlign;
    uint16_t BitsPerSample;
    char DataTag[4];
    uint32_t DataLength;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFileHeader) == 44, "the WAVE header is 44 bytes on disk");

// The largest audio length a header can carry: both TotalBytes and the RIFF length (TotalBytes + 36)
// must stay within the signed 32-bit range.
inline constexpr int32_t kMaxWaveDataBytes = INT32_MAX - 36;

TWaveFileHeader MakeWaveFileHeader(int32_t channels, int32_t sampleRate, int32_t bitsPerSample,
                                   int32_t totalBytes);
