// The recording engine: two half-second buffers cycling through the device, each written to the file
// as the device hands it back, driven by the device's notifications on the window's thread.
#include "ui/unit_main.h"

#include <new>

#include "app/application.h"

namespace {

constexpr DWORD kStallCheckMs = 250;
// Capture can begin a couple of seconds after the start: the first buffer gets this much more time.
constexpr DWORD kStartLatencyMs = 10000;
// How long a new recording waits for the stopped one's last notifications.
constexpr DWORD kDrainTimeoutMs = 5000;

std::unique_ptr<BYTE[]> AllocateBuffer(int32_t size)
{
    // Capture buffers need not be zero-filled: the device writes them before they are read.
    std::unique_ptr<BYTE[]> buffer(size > 0 ? new (std::nothrow) BYTE[size] : nullptr);
    if (!buffer)
        throw EAppError(L"Not enough memory for the recording buffers (" + std::to_wstring(size) +
                        L" bytes each)");
    return buffer;
}

} // namespace

MMRESULT TForm1::StartRecording(const std::wstring& fileName)
{
    WaitForPreviousRecording();

    TotalBytes = 0;
    Stopping = false;
    firstBufferSeen_ = false;
    appendFailuresInRow_ = 0;

    Buffer1 = AllocateBuffer(BufferSize);
    Buffer2 = AllocateBuffer(BufferSize);

    CreateWaveFile(fileName);

    WaveFormat = WAVEFORMATEX{};
    WaveFormat.wFormatTag = WAVE_FORMAT_PCM;
    WaveFormat.nChannels = static_cast<WORD>(Channels);
    WaveFormat.nSamplesPerSec = static_cast<DWORD>(SampleRate);
    WaveFormat.wBitsPerSample = static_cast<WORD>(BitsPerSample);
    WaveFormat.nBlockAlign = static_cast<WORD>(static_cast<unsigned>(Channels * BitsPerSample) >> 3);
    WaveFormat.nAvgBytesPerSec = static_cast<DWORD>(Channels * SampleRate * BitsPerSample / 8);
    WaveFormat.cbSize = 0;

    HWAVEIN opened = nullptr;
    if (const MMRESULT result = device_.Open(&opened, static_cast<UINT>(DeviceId), &WaveFormat, handle_)) {
        CloseWaveFile(); // the file keeps its reserved header: a valid, empty WAVE file
        return result;
    }
    WaveIn = opened;
    deviceOpen_ = true;

    for (auto [header, buffer] : {std::pair{&BufferHeader1, Buffer1.get()}, std::pair{&BufferHeader2, Buffer2.get()}}) {
        header->lpData = reinterpret_cast<LPSTR>(buffer);
        header->dwBufferLength = static_cast<DWORD>(BufferSize);
        header->dwUser = 0;
        header->dwFlags = 0;
    }
    CurrentHeader = &BufferHeader1;

    // Both buffers are queued, so the device always has one to fill while the other is written.
    MMRESULT result = device_.PrepareHeader(WaveIn, &BufferHeader1);
    if (!result)
        result = device_.PrepareHeader(WaveIn, &BufferHeader2);
    if (!result)
        result = device_.AddBuffer(WaveIn, &BufferHeader1);
    if (!result)
        result = device_.AddBuffer(WaveIn, &BufferHeader2);
    if (!result)
        result = device_.Start(WaveIn);
    if (result) {
        // The device hands back what it holds and closes; its close notification completes the file.
        StopRecording();
        return result;
    }
    lastBufferTick_ = GetTickCount();
    SetTimer(handle_, kStallTimerId, kStallCheckMs, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TForm1::StopRecording()
{
    Stopping = true;
    const MMRESULT resetResult = device_.Reset(WaveIn);
    const MMRESULT closeResult = device_.Close(WaveIn);
    // A device that would not close sends no close notification: try once more after the buffers
    // it handed back have been written, then complete the file without it.
    if (deviceOpen_ && closeResult != MMSYSERR_NOERROR)
        PostMessageW(handle_, kCloseRetryMessage, 0, 0);
    return resetResult | closeResult;
}

void TForm1::WimOpen(HWAVEIN) {}

void TForm1::WimData(HWAVEIN device, WAVEHDR* header)
{
    // A notification of a recording that has been completed already (or never started) is stale.
    if (!deviceOpen_ || device != WaveIn)
        return;
    WAVEHDR* done = CurrentHeader;
    if (header == &BufferHeader1 || header == &BufferHeader2)
        done = header;
    CurrentHeader = done == &BufferHeader1 ? &BufferHeader2 : &BufferHeader1;
    firstBufferSeen_ = true;
    lastBufferTick_ = GetTickCount();

    // Never past what a WAVE header can carry; the recording stops before it gets there.
    int32_t count = static_cast<int32_t>(done->dwBytesRecorded);
    if (count > MaxTotalBytes - TotalBytes)
        count = MaxTotalBytes - TotalBytes;
    const bool nearLimit = TotalBytes + count > MaxTotalBytes - 2 * BufferSize;

    try {
        AppendWaveData(reinterpret_cast<const BYTE*>(done->lpData), count);
    } catch (...) {
        // A failed write loses this buffer only, and recording goes on with it queued again. A
        // second failure in a row (a disk that stays full) stops the recording as Stop would:
        // otherwise a fresh error every half second keeps a box up and the user from Stop.
        if (++appendFailuresInRow_ >= 2 && !Stopping)
            BitBtn2Click();
        if (!nearLimit)
            QueueAgain(done);
        throw;
    }
    appendFailuresInRow_ = 0;
    TotalBytes += count;
    ShowSize(TotalBytes);

    if (nearLimit) {
        // The two buffers still at the device could take TotalBytes past the limit.
        if (!Stopping)
            BitBtn2Click();
        return;
    }
    QueueAgain(done);
}

void TForm1::QueueAgain(WAVEHDR* header)
{
    if (Stopping)
        return;
    if (const MMRESULT result = device_.AddBuffer(WaveIn, header))
        PostMessageW(handle_, kDeviceFailedMessage, result, 0);
}

void TForm1::WimClose(HWAVEIN device)
{
    if (!deviceOpen_ || device != WaveIn)
        return;
    CompleteRecording();
}

void TForm1::CompleteRecording()
{
    deviceOpen_ = false;
    KillTimer(handle_, kStallTimerId);
    // The device has let go of the buffers.
    Buffer1.reset();
    Buffer2.reset();
    WriteWaveHeader(TotalBytes);
    CloseWaveFile();
}

void TForm1::AbandonDevice()
{
    // The device never confirmed it let go of the buffers: keep them alive rather than free them
    // under it, and complete the file with what was written.
    abandonedBuffers_.push_back(std::move(Buffer1));
    abandonedBuffers_.push_back(std::move(Buffer2));
    CompleteRecording();
}

void TForm1::RetryClose()
{
    if (!deviceOpen_)
        return;
    if (device_.Close(WaveIn) != MMSYSERR_NOERROR)
        AbandonDevice();
}

void TForm1::CheckForStall()
{
    if (!deviceOpen_ || Stopping)
        return;
    DWORD limit = StallTimeoutMs;
    if (limit == 0) {
        const DWORD bytesPerSecond = static_cast<DWORD>(WaveFormat.nAvgBytesPerSec ? WaveFormat.nAvgBytesPerSec : 1);
        limit = static_cast<DWORD>(3ull * static_cast<DWORD>(BufferSize) * 1000 / bytesPerSecond);
        if (!firstBufferSeen_)
            limit += kStartLatencyMs;
    }
    if (GetTickCount() - lastBufferTick_ > limit)
        DeviceFailed(MMSYSERR_NODRIVER);
}

void TForm1::DeviceFailed(MMRESULT result)
{
    if (!deviceOpen_ || Stopping)
        return;
    // As if Stop were clicked: everything captured so far is kept and the file is completed.
    BitBtn2Click();
    DeviceErrorBox(DeviceErrorText(result));
}

void TForm1::WaitForPreviousRecording()
{
    const DWORD start = GetTickCount();
    while (deviceOpen_ && Stopping && GetTickCount() - start < kDrainTimeoutMs) {
        // Only the device's notifications and the engine's own messages: no click can slip in here.
        MSG message;
        if (PeekMessageW(&message, handle_, MM_WIM_OPEN, MM_WIM_DATA, PM_REMOVE) ||
            PeekMessageW(&message, handle_, kDeviceFailedMessage, kCloseRetryMessage, PM_REMOVE)) {
            DispatchMessageW(&message);
            continue;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
    }
    if (deviceOpen_ && Stopping)
        AbandonDevice();
}

void TForm1::FinishRecordingBeforeClose()
{
    if (!deviceOpen_)
        return;
    if (!Stopping)
        StopRecording();
    WaitForPreviousRecording();
}
