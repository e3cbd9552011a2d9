#include "platform/wave_in.h"

#include <mmddk.h>

#include "platform/endpoint_name.h"
#include "platform/system_dll.h"

namespace {

// winmm is not a DLL the system protects: it is bound from the system folder at run time rather
// than imported, so a winmm.dll beside the program is never loaded.
class WinmmWaveIn final : public IWaveIn {
public:
    WinmmWaveIn()
    {
        const HMODULE winmm = LoadSystemDll(L"winmm.dll");
        getNumDevs_ = DllFunction<decltype(waveInGetNumDevs)>(winmm, "waveInGetNumDevs");
        getDevCaps_ = DllFunction<decltype(waveInGetDevCapsW)>(winmm, "waveInGetDevCapsW");
        message_ = DllFunction<decltype(waveInMessage)>(winmm, "waveInMessage");
        open_ = DllFunction<decltype(waveInOpen)>(winmm, "waveInOpen");
        prepareHeader_ = DllFunction<decltype(waveInPrepareHeader)>(winmm, "waveInPrepareHeader");
        unprepareHeader_ = DllFunction<decltype(waveInUnprepareHeader)>(winmm, "waveInUnprepareHeader");
        addBuffer_ = DllFunction<decltype(waveInAddBuffer)>(winmm, "waveInAddBuffer");
        start_ = DllFunction<decltype(waveInStart)>(winmm, "waveInStart");
        reset_ = DllFunction<decltype(waveInReset)>(winmm, "waveInReset");
        close_ = DllFunction<decltype(waveInClose)>(winmm, "waveInClose");
        getErrorText_ = DllFunction<decltype(waveInGetErrorTextW)>(winmm, "waveInGetErrorTextW");
    }

    // Without winmm there is no device: an empty list, and every call fails as with no driver.
    UINT GetNumDevs() override { return getNumDevs_ ? getNumDevs_() : 0; }

    MMRESULT GetDevCaps(UINT deviceId, WAVEINCAPSW* caps) override
    {
        return getDevCaps_ ? getDevCaps_(deviceId, caps, sizeof(*caps)) : MMSYSERR_NODRIVER;
    }

    std::wstring EndpointId(UINT deviceId) override
    {
        if (!message_)
            return std::wstring();
        // The driver messages take the device number in place of a handle.
        const HWAVEIN device = reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(deviceId));
        ULONG bytes = 0;
        if (message_(device, DRV_QUERYFUNCTIONINSTANCEIDSIZE, reinterpret_cast<DWORD_PTR>(&bytes), 0) !=
                MMSYSERR_NOERROR ||
            bytes < sizeof(wchar_t) || bytes > kMaxEndpointIdBytes)
            return std::wstring();
        std::wstring id(bytes / sizeof(wchar_t), L'\0');
        if (message_(device, DRV_QUERYFUNCTIONINSTANCEID, reinterpret_cast<DWORD_PTR>(id.data()),
                     id.size() * sizeof(wchar_t)) != MMSYSERR_NOERROR)
            return std::wstring();
        id.resize(wcsnlen(id.c_str(), id.size()));
        return id;
    }

    std::wstring EndpointName(const std::wstring& endpointId) override { return EndpointFriendlyName(endpointId); }

    MMRESULT Open(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window) override
    {
        return open_ ? open_(handle, deviceId, format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW)
                     : MMSYSERR_NODRIVER;
    }

    MMRESULT PrepareHeader(HWAVEIN handle, WAVEHDR* header) override
    {
        return prepareHeader_ ? prepareHeader_(handle, header, sizeof(*header)) : MMSYSERR_NODRIVER;
    }

    MMRESULT UnprepareHeader(HWAVEIN handle, WAVEHDR* header) override
    {
        return unprepareHeader_ ? unprepareHeader_(handle, header, sizeof(*header)) : MMSYSERR_NODRIVER;
    }

    MMRESULT AddBuffer(HWAVEIN handle, WAVEHDR* header) override
    {
        return addBuffer_ ? addBuffer_(handle, header, sizeof(*header)) : MMSYSERR_NODRIVER;
    }

    MMRESULT Start(HWAVEIN handle) override { return start_ ? start_(handle) : MMSYSERR_NODRIVER; }
    MMRESULT Reset(HWAVEIN handle) override { return reset_ ? reset_(handle) : MMSYSERR_NODRIVER; }
    MMRESULT Close(HWAVEIN handle) override { return close_ ? close_(handle) : MMSYSERR_NODRIVER; }

    MMRESULT GetErrorText(MMRESULT result, wchar_t* text, UINT capacity) override
    {
        return getErrorText_ ? getErrorText_(result, text, capacity) : MMSYSERR_NODRIVER;
    }

private:
    // Identities are short ("{0.0.1.00000000}.{GUID}"); a driver's larger size is not trusted.
    static constexpr ULONG kMaxEndpointIdBytes = 4096;

    decltype(&waveInGetNumDevs) getNumDevs_;
    decltype(&waveInMessage) message_;
    decltype(&waveInGetDevCapsW) getDevCaps_;
    decltype(&waveInOpen) open_;
    decltype(&waveInPrepareHeader) prepareHeader_;
    decltype(&waveInUnprepareHeader) unprepareHeader_;
    decltype(&waveInAddBuffer) addBuffer_;
    decltype(&waveInStart) start_;
    decltype(&waveInReset) reset_;
    decltype(&waveInClose) close_;
    decltype(&waveInGetErrorTextW) getErrorText_;
};

} // namespace

IWaveIn& SystemWaveIn()
{
    static WinmmWaveIn device;
    return device;
}
