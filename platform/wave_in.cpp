#include "platform/wave_in.h"

namespace {

class WinmmWaveIn final : public IWaveIn {
public:
    UINT GetNumDevs() override { return waveInGetNumDevs(); }

    MMRESULT GetDevCaps(UINT deviceId, WAVEINCAPSW* caps) override
    {
        return waveInGetDevCapsW(deviceId, caps, sizeof(*caps));
    }

    MMRESULT Open(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window) override
    {
        return waveInOpen(handle, deviceId, format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW);
    }

    MMRESULT PrepareHeader(HWAVEIN handle, WAVEHDR* header) override
    {
        return waveInPrepareHeader(handle, header, sizeof(*header));
    }

    MMRESULT UnprepareHeader(HWAVEIN handle, WAVEHDR* header) override
    {
        return waveInUnprepareHeader(handle, header, sizeof(*header));
    }

    MMRESULT AddBuffer(HWAVEIN handle, WAVEHDR* header) override
    {
        return waveInAddBuffer(handle, header, sizeof(*header));
    }

    MMRESULT Start(HWAVEIN handle) override { return waveInStart(handle); }
    MMRESULT Reset(HWAVEIN handle) override { return waveInReset(handle); }
    MMRESULT Close(HWAVEIN handle) override { return waveInClose(handle); }

    MMRESULT GetErrorText(MMRESULT result, wchar_t* text, UINT capacity) override
    {
        return waveInGetErrorTextW(result, text, capacity);
    }
};

} // namespace

IWaveIn& SystemWaveIn()
{
    static WinmmWaveIn device;
    return device;
}
