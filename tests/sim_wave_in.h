#pragma once
// A simulated wave-input service: devices with chosen names and format bits, buffers filled from a
// deterministic generator, notifications posted to the window in the order the real service keeps,
// and any operation made to fail with a chosen result code.

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/wave_in.h"

class SimWaveIn final : public IWaveIn {
public:
    struct Device {
        std::wstring name; // as the capabilities give it, cut at 31 characters
        DWORD formats;
        std::wstring identity = L""; // empty: the service does not tell
        std::wstring fullName = L""; // the endpoint's name; empty: none
    };
    enum class Op { GetDevCaps, Open, PrepareHeader, UnprepareHeader, AddBuffer, Start, Reset, Close };

    std::vector<Device> devices;
    // Results to return instead of success, per operation.
    std::map<Op, MMRESULT> failures;
    // When false, queued buffers are handed back only by a reset (a device that has gone silent).
    bool handsBackBuffers = true;
    // When true, every buffer queued comes straight back empty, as from an unplugged device.
    bool handsBackEmpty = false;
    // Bytes the oldest queued buffer holds when a reset hands it back.
    int64_t bytesAtReset = 0;
    // 0 to 255: every byte filled is this one (digital silence is 0 at 16 bits, 128 at 8) instead of
    // the stream's; the stream's position still moves on.
    int constantByte = -1;

    // The next byte the generator gives: byte k of the device's stream is (k * 7 + k / 251) & 0xFF,
    // so neither a gap nor a repeat of whole buffers goes unnoticed.
    static BYTE StreamByte(uint64_t k) { return static_cast<BYTE>((k * 7 + k / 251) & 0xFF); }

    // Fills the oldest queued buffer with `bytes` bytes of the stream (all of it when -1) and posts
    // MM_WIM_DATA for it; a count beyond the buffer fills it and reports that count, as a faulty
    // device would. Returns false when no buffer is queued.
    bool Deliver(int64_t bytes = -1);
    // Delivers `count` full buffers.
    int DeliverFull(int count);

    // What the engine asked for.
    struct Call {
        Op op;
        const WAVEHDR* header;
    };
    std::vector<Call> headerCalls; // PrepareHeader, UnprepareHeader, AddBuffer, Close (no header)
    int staleCalls = 0;            // calls with a handle that is not open
    std::vector<WAVEFORMATEX> openedFormats;
    std::vector<UINT> openedDevices;
    int addCount = 0;
    int resetCount = 0;
    int closeCount = 0;
    size_t QueuedCount() const { return queue_.size(); }
    uint64_t StreamPosition() const { return position_; }
    HWAVEIN CurrentHandle() const { return handle_; }
    bool IsOpen() const { return open_; }

    UINT GetNumDevs() override { return static_cast<UINT>(devices.size()); }
    MMRESULT GetDevCaps(UINT deviceId, WAVEINCAPSW* caps) override;
    std::wstring EndpointId(UINT deviceId) override;
    std::wstring EndpointName(const std::wstring& endpointId) override;
    MMRESULT Open(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window) override;
    MMRESULT PrepareHeader(HWAVEIN handle, WAVEHDR* header) override;
    MMRESULT UnprepareHeader(HWAVEIN handle, WAVEHDR* header) override;
    MMRESULT AddBuffer(HWAVEIN handle, WAVEHDR* header) override;
    MMRESULT Start(HWAVEIN handle) override;
    MMRESULT Reset(HWAVEIN handle) override;
    MMRESULT Close(HWAVEIN handle) override;
    MMRESULT GetErrorText(MMRESULT result, wchar_t* text, UINT capacity) override;

private:
    MMRESULT Failure(Op op) const;
    MMRESULT CheckHandle(HWAVEIN handle);
    void HandBack(WAVEHDR* header);
    DWORD Fill(WAVEHDR* header, int64_t bytes);

    HWND window_ = nullptr;
    HWAVEIN handle_ = nullptr;
    bool open_ = false;
    bool started_ = false;
    uint64_t position_ = 0;
    std::deque<WAVEHDR*> queue_;
};
