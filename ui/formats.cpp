#include "ui/formats.h"

// Display order: within each rate mono 8, mono 16, stereo 8, stereo 16, so the capability bits do
// not rise with the row.
const TRecordingFormat RecordingFormats[kRecordingFormatCount] = {
    {1, 11025, 8, WAVE_FORMAT_1M08, L"11.025 кГц, моно, 8-бит"},
    {1, 11025, 16, WAVE_FORMAT_1M16, L"11.025 кГц, моно, 16-бит"},
    {2, 11025, 8, WAVE_FORMAT_1S08, L"11.025 кГц, стерео, 8-бит"},
    {2, 11025, 16, WAVE_FORMAT_1S16, L"11.025 кГц, стерео, 16-бит"},
    {1, 22050, 8, WAVE_FORMAT_2M08, L"22.05 кГц, моно, 8-бит"},
    {1, 22050, 16, WAVE_FORMAT_2M16, L"22.05 кГц, моно, 16-бит"},
    {2, 22050, 8, WAVE_FORMAT_2S08, L"22.05 кГц, стерео, 8-бит"},
    {2, 22050, 16, WAVE_FORMAT_2S16, L"22.05 кГц, стерео, 16-бит"},
    {1, 44100, 8, WAVE_FORMAT_4M08, L"44.1 кГц, моно, 8-бит"},
    {1, 44100, 16, WAVE_FORMAT_4M16, L"44.1 кГц, моно, 16-бит"},
    {2, 44100, 8, WAVE_FORMAT_4S08, L"44.1 кГц, стерео, 8-бит"},
    {2, 44100, 16, WAVE_FORMAT_4S16, L"44.1 кГц, стерео, 16-бит"},
};

std::vector<int> SupportedFormatRows(IWaveIn& waveIn, UINT deviceId)
{
    std::vector<int> rows;
    WAVEINCAPSW caps{};
    // A device whose capabilities cannot be read is offered no format rather than guessed ones.
    if (waveIn.GetDevCaps(deviceId, &caps) != MMSYSERR_NOERROR)
        return rows;
    for (int row = 0; row < kRecordingFormatCount; ++row) {
        const DWORD bit = RecordingFormats[row].CapabilityBit;
        if ((caps.dwFormats & bit) == bit)
            rows.push_back(row);
    }
    return rows;
}

namespace {

// The product in signed 32-bit arithmetic; wraps like the machine instead of being undefined.
int32_t Multiply32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

} // namespace

WAVEFORMATEX PcmWaveFormat(int32_t channels, int32_t sampleRate, int32_t bitsPerSample)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    format.nAvgBytesPerSec = static_cast<DWORD>(Multiply32(Multiply32(channels, sampleRate), bitsPerSample) / 8);
    format.nBlockAlign = static_cast<WORD>(Multiply32(channels, bitsPerSample) / 8);
    format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    format.cbSize = 0;
    return format;
}

int32_t FormatBufferSize(const TRecordingFormat& row)
{
    // Whole frames: the device promises data only in whole blocks, and a buffer that ends inside a
    // frame would leave the next one starting mid-frame.
    const WAVEFORMATEX format = PcmWaveFormat(row.Channels, row.SampleRate, row.BitsPerSample);
    const int32_t block = format.nBlockAlign;
    const int32_t halfSecond = static_cast<int32_t>(format.nAvgBytesPerSec) / 2;
    return halfSecond / block * block;
}
