#pragma once
// The wave-input operations the recorder uses, behind one seam: production binds it to the
// system's winmm, tests bind it to a simulated device of their own.

#include <windows.h>
#include <mmsystem.h>

#include <string>

class IWaveIn {
public:
    virtual ~IWaveIn() = default;

    virtual UINT GetNumDevs() = 0;
    virtual MMRESULT GetDevCaps(UINT deviceId, WAVEINCAPSW* caps) = 0;
    // The device's endpoint identity, which (unlike its number) stays with the device while others
    // come, go and the default changes. Empty when the system does not tell.
    virtual std::wstring EndpointId(UINT deviceId) = 0;
    // The endpoint's full name (the capabilities cut theirs at 31 characters); empty when unknown.
    virtual std::wstring EndpointName(const std::wstring& endpointId) = 0;
    // Notifications (MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE) are posted to `window`.
    virtual MMRESULT Open(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window) = 0;
    virtual MMRESULT PrepareHeader(HWAVEIN handle, WAVEHDR* header) = 0;
    // Before a handed-back buffer's memory is freed or prepared again.
    virtual MMRESULT UnprepareHeader(HWAVEIN handle, WAVEHDR* header) = 0;
    virtual MMRESULT AddBuffer(HWAVEIN handle, WAVEHDR* header) = 0;
    virtual MMRESULT Start(HWAVEIN handle) = 0;
    virtual MMRESULT Reset(HWAVEIN handle) = 0;
    virtual MMRESULT Close(HWAVEIN handle) = 0;
    virtual MMRESULT GetErrorText(MMRESULT result, wchar_t* text, UINT capacity) = 0;
};

// The system's wave-input service.
IWaveIn& SystemWaveIn();
