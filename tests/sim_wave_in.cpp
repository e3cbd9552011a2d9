#include "tests/sim_wave_in.h"

#include <algorithm>

MMRESULT SimWaveIn::Failure(Op op) const
{
    const auto found = failures.find(op);
    return found == failures.end() ? MMSYSERR_NOERROR : found->second;
}

MMRESULT SimWaveIn::CheckHandle(HWAVEIN handle)
{
    if (open_ && handle == handle_)
        return MMSYSERR_NOERROR;
    ++staleCalls;
    return MMSYSERR_INVALHANDLE;
}

MMRESULT SimWaveIn::GetDevCaps(UINT deviceId, WAVEINCAPSW* caps)
{
    if (const MMRESULT r = Failure(Op::GetDevCaps))
        return r;
    if (deviceId >= devices.size())
        return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPSW{};
    wcsncpy(caps->szPname, devices[deviceId].name.c_str(), MAXPNAMELEN - 1);
    caps->dwFormats = devices[deviceId].formats;
    caps->wChannels = 2;
    return MMSYSERR_NOERROR;
}

std::wstring SimWaveIn::EndpointId(UINT deviceId)
{
    return deviceId < devices.size() ? devices[deviceId].identity : std::wstring();
}

std::wstring SimWaveIn::EndpointName(const std::wstring& endpointId)
{
    for (const Device& device : devices)
        if (!endpointId.empty() && device.identity == endpointId)
            return device.fullName;
    return std::wstring();
}

MMRESULT SimWaveIn::Open(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window)
{
    openedDevices.push_back(deviceId);
    openedFormats.push_back(*format);
    if (const MMRESULT r = Failure(Op::Open))
        return r;
    if (deviceId >= devices.size())
        return MMSYSERR_BADDEVICEID;
    window_ = window;
    // Like the system, the value of a closed device's handle is given to the next device opened.
    handle_ = reinterpret_cast<HWAVEIN>(open_ ? reinterpret_cast<uintptr_t>(handle_) + 1 : 0x5000);
    open_ = true;
    started_ = false;
    queue_.clear();
    *handle = handle_;
    PostMessageW(window_, MM_WIM_OPEN, reinterpret_cast<WPARAM>(handle_), 0);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::PrepareHeader(HWAVEIN handle, WAVEHDR* header)
{
    if (const MMRESULT r = Failure(Op::PrepareHeader))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    if (header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    headerCalls.push_back({Op::PrepareHeader, header});
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::UnprepareHeader(HWAVEIN handle, WAVEHDR* header)
{
    if (const MMRESULT r = Failure(Op::UnprepareHeader))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    headerCalls.push_back({Op::UnprepareHeader, header});
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::AddBuffer(HWAVEIN handle, WAVEHDR* header)
{
    ++addCount;
    if (const MMRESULT r = Failure(Op::AddBuffer))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    headerCalls.push_back({Op::AddBuffer, header});
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    header->dwBytesRecorded = 0;
    if (handsBackEmpty && started_) {
        HandBack(header);
        return MMSYSERR_NOERROR;
    }
    queue_.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::Start(HWAVEIN handle)
{
    if (const MMRESULT r = Failure(Op::Start))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    started_ = true;
    return MMSYSERR_NOERROR;
}

void SimWaveIn::HandBack(WAVEHDR* header)
{
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    PostMessageW(window_, MM_WIM_DATA, reinterpret_cast<WPARAM>(handle_), reinterpret_cast<LPARAM>(header));
}

bool SimWaveIn::Deliver(int64_t bytes)
{
    if (!open_ || !started_ || queue_.empty() || !handsBackBuffers)
        return false;
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    Fill(header, bytes < 0 ? header->dwBufferLength : bytes);
    if (bytes > static_cast<int64_t>(header->dwBufferLength))
        header->dwBytesRecorded = static_cast<DWORD>(bytes);
    HandBack(header);
    return true;
}

DWORD SimWaveIn::Fill(WAVEHDR* header, int64_t bytes)
{
    const DWORD count = static_cast<DWORD>(std::min<int64_t>(bytes, header->dwBufferLength));
    for (DWORD i = 0; i < count; ++i, ++position_)
        header->lpData[i] = static_cast<char>(constantByte >= 0 ? constantByte : StreamByte(position_));
    header->dwBytesRecorded = count;
    return count;
}

int SimWaveIn::DeliverFull(int count)
{
    int delivered = 0;
    while (delivered < count && Deliver())
        ++delivered;
    return delivered;
}

MMRESULT SimWaveIn::Reset(HWAVEIN handle)
{
    ++resetCount;
    if (const MMRESULT r = Failure(Op::Reset))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    // Each queued buffer comes back with what it holds: the oldest partly filled, the rest empty.
    // A silent device too gives them all back.
    int64_t partial = started_ ? bytesAtReset : 0;
    while (!queue_.empty()) {
        WAVEHDR* header = queue_.front();
        queue_.pop_front();
        partial -= Fill(header, partial);
        HandBack(header);
    }
    started_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::Close(HWAVEIN handle)
{
    ++closeCount;
    if (const MMRESULT r = Failure(Op::Close))
        return r;
    if (const MMRESULT r = CheckHandle(handle))
        return r;
    if (!queue_.empty())
        return WAVERR_STILLPLAYING;
    headerCalls.push_back({Op::Close, nullptr});
    open_ = false;
    PostMessageW(window_, MM_WIM_CLOSE, reinterpret_cast<WPARAM>(handle_), 0);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveIn::GetErrorText(MMRESULT result, wchar_t* text, UINT capacity)
{
    // The platform's own texts, as the real service gives them.
    return SystemWaveIn().GetErrorText(result, text, capacity);
}
