#pragma once
// The twelve recording formats, in display order, and what each gives the device and the file.

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <vector>

#include "platform/wave_in.h"

struct TRecordingFormat {
    int32_t Channels;
    int32_t SampleRate;
    int32_t BitsPerSample;
    uint32_t CapabilityBit; // the WAVEINCAPS dwFormats bit for this format
    const wchar_t* Name;
};

inline constexpr int kRecordingFormatCount = 12;
extern const TRecordingFormat RecordingFormats[kRecordingFormatCount];

// Rows of RecordingFormats the device supports, in table order; none when its capabilities
// cannot be read.
std::vector<int> SupportedFormatRows(IWaveIn& waveIn, UINT deviceId);

// The PCM format the device is opened with and the file header states: block alignment
// (channels x bits) div 8 and byte rate (channels x rate x bits) div 8, in signed 32-bit arithmetic
// that wraps like the machine's.
WAVEFORMATEX PcmWaveFormat(int32_t channels, int32_t sampleRate, int32_t bitsPerSample);

// Half a second of audio, rounded down to whole frames.
int32_t FormatBufferSize(const TRecordingFormat& format);
