// The recording engine: a ring of half-second buffers cycling through the device, each written to
// the file in the order the device hands them back, driven by the device's notifications on the
// window's thread.
#include "ui/unit_main.h"

#include <algorithm>
#include <new>

#include "app/application.h"

namespace {

constexpr DWORD kSilenceCheckMs = 250;
// Capture can begin a couple of seconds after the start: the first audio gets this much more time.
constexpr DWORD kStartLatencyMs = 10000;
// A device may pause for a few seconds and come back (a headset switching profile, a resume from
// sleep); silence that short does not end the recording.
constexpr DWORD kSilenceMarginMs = 4000;
// How long a new recording waits for the stopped one's last notifications.
constexpr DWORD kDrainTimeoutMs = 5000;

constexpr wchar_t kStoppedText[] = L"Запись остановлена, всё записанное сохранено в файле.";
constexpr wchar_t kDeviceSilentText[] = L"Устройство аудиоввода перестало передавать звук.";
constexpr wchar_t kDeviceFaultText[] = L"Устройство аудиоввода сообщило о большем числе байт, чем вмещает буфер.";
constexpr wchar_t kSizeLimitText[] = L"Файл достиг наибольшего размера, который может описать заголовок WAVE.";
constexpr wchar_t kWriteStoppedText[] =
    L"Запись остановлена: звук не удаётся записать в файл. Файл содержит всё, что было записано до ошибки.";

std::wstring Stopped(const std::wstring& why)
{
    return why + L"\n" + kStoppedText;
}

std::vector<TCaptureBuffer> AllocateBuffers(int32_t size)
{
    std::vector<TCaptureBuffer> buffers(kCaptureBufferCount);
    for (TCaptureBuffer& buffer : buffers) {
        // Capture buffers need not be zero-filled: the device writes them before they are read.
        buffer.Data.reset(size > 0 ? new (std::nothrow) BYTE[size] : nullptr);
        if (!buffer.Data)
            throw EAppError(L"Not enough memory for the recording buffers (" + std::to_wstring(size) +
                            L" bytes each)");
        buffer.Header.lpData = reinterpret_cast<LPSTR>(buffer.Data.get());
        buffer.Header.dwBufferLength = static_cast<DWORD>(size);
    }
    return buffers;
}

} // namespace

MMRESULT TForm1::StartRecording(const std::wstring& fileName)
{
    WaitForPreviousRecording();

    TotalBytes = 0;
    Stopping = false;
    dataSeen_ = false;
    discardRest_ = false;
    unwritten_.clear();
    stopReports_.clear();

    // Fresh buffers: the previous recording's were released when its device closed, or are kept
    // aside because it never did.
    Buffers = AllocateBuffers(BufferSize);

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
    awaitingOpen_ = opened == WaveIn;
    WaveIn = opened;
    deviceOpen_ = true;

    // Every buffer is queued, so the device has room for the whole ring while the window's thread
    // is busy elsewhere.
    MMRESULT result = MMSYSERR_NOERROR;
    for (TCaptureBuffer& buffer : Buffers) {
        if (result)
            break;
        result = device_.PrepareHeader(WaveIn, &buffer.Header);
        buffer.Prepared = result == MMSYSERR_NOERROR;
    }
    for (TCaptureBuffer& buffer : Buffers) {
        if (result)
            break;
        result = device_.AddBuffer(WaveIn, &buffer.Header);
    }
    if (!result)
        result = device_.Start(WaveIn);
    if (result) {
        // The device hands back what it holds and closes; its close notification completes the file.
        StopRecording();
        return result;
    }
    lastDataTick_ = GetTickCount();
    SetTimer(handle_, kSilenceTimerId, kSilenceCheckMs, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TForm1::StopRecording()
{
    // After a failed file creation WaveIn names an earlier, closed device; once stopping, the
    // device has been reset and asked to close already.
    if (!deviceOpen_ || Stopping)
        return MMSYSERR_INVALHANDLE;
    Stopping = true;
    const MMRESULT resetResult = device_.Reset(WaveIn);
    // The reset has handed every buffer back: release them while the device is still open. A
    // header the device refuses to let go of stays prepared, and its memory is never freed.
    for (TCaptureBuffer& buffer : Buffers)
        if (buffer.Prepared && device_.UnprepareHeader(WaveIn, &buffer.Header) == MMSYSERR_NOERROR)
            buffer.Prepared = false;
    const MMRESULT closeResult = device_.Close(WaveIn);
    // A device that would not close sends no close notification: try once more after the buffers
    // it handed back have been written, then complete the file without it.
    if (closeResult != MMSYSERR_NOERROR)
        PostMessageW(handle_, kCloseRetryMessage, 0, 0);
    return resetResult | closeResult;
}

void TForm1::WimOpen(HWAVEIN device)
{
    if (deviceOpen_ && device == WaveIn)
        awaitingOpen_ = false;
}

TCaptureBuffer* TForm1::OwnBuffer(HWAVEIN device, const WAVEHDR* header)
{
    // A notification of a completed recording, or of an earlier device that had the same handle,
    // is stale; so is a header that is not one of this recording's.
    if (!deviceOpen_ || device != WaveIn || awaitingOpen_)
        return nullptr;
    for (TCaptureBuffer& buffer : Buffers)
        if (&buffer.Header == header)
            return &buffer;
    return nullptr;
}

void TForm1::WimData(HWAVEIN device, WAVEHDR* header)
{
    TCaptureBuffer* buffer = OwnBuffer(device, header);
    if (!buffer)
        return;
    // Only a buffer that holds audio is a sign of life: an unplugged device may hand back empty
    // ones in a loop.
    if (header->dwBytesRecorded > 0 && header->dwBytesRecorded <= header->dwBufferLength) {
        dataSeen_ = true;
        lastDataTick_ = GetTickCount();
    }
    unwritten_.push_back(buffer);
    WriteHandedBack();
    // Empty buffers in a loop keep the queue too busy for the stall timer to come.
    if (header->dwBytesRecorded == 0)
        CheckForSilence();
}

int32_t TForm1::BytesToKeep(const WAVEHDR& header) const
{
    // Never past what a WAVE header can carry, and only whole frames.
    const int32_t block = std::max<int32_t>(WaveFormat.nBlockAlign, 1);
    const int32_t room = (MaxTotalBytes - TotalBytes) / block * block;
    return std::min<int64_t>(header.dwBytesRecorded, room);
}

void TForm1::WriteHandedBack()
{
    // In the order the device handed them back. A buffer whose append failed stays first in line
    // and is tried again when the next one comes: a file never skips audio.
    while (!unwritten_.empty() && !discardRest_) {
        TCaptureBuffer& buffer = *unwritten_.front();
        if (buffer.Header.dwBytesRecorded > buffer.Header.dwBufferLength) {
            // A count the buffer cannot hold is a device fault, never a length to read.
            discardRest_ = true;
            StopAutomatically({Stopped(kDeviceFaultText)});
            break;
        }
        const int32_t count = BytesToKeep(buffer.Header);
        try {
            AppendWaveData(reinterpret_cast<const BYTE*>(buffer.Header.lpData), count);
        } catch (const EInOutError& error) {
            // Later buffers wait behind this one while the device still holds some to fill.
            const bool deviceRunsDry = !Stopping && unwritten_.size() == Buffers.size();
            if (!buffer.FailedOnce && !deviceRunsDry) {
                buffer.FailedOnce = true;
                throw;
            }
            // It cannot be written: the file ends at the last buffer written in order.
            discardRest_ = true;
            if (Stopping)
                throw;
            StopAutomatically({error.Message(), kWriteStoppedText});
            break;
        }
        unwritten_.pop_front();
        buffer.FailedOnce = false;
        TotalBytes += count;
        ShowSize(TotalBytes);
        // The next full buffer would not fit in what a WAVE header can describe.
        if (MaxTotalBytes - TotalBytes < BufferSize)
            StopAutomatically({Stopped(kSizeLimitText)});
        QueueAgain(buffer);
    }
    if (discardRest_)
        unwritten_.clear();
}

void TForm1::QueueAgain(TCaptureBuffer& buffer)
{
    if (Stopping)
        return;
    if (const MMRESULT result = device_.AddBuffer(WaveIn, &buffer.Header))
        PostMessageW(handle_, kDeviceFailedMessage, result, 0);
}

void TForm1::StopAutomatically(std::vector<std::wstring> why)
{
    if (!deviceOpen_ || Stopping)
        return;
    // As if Stop were clicked: everything written so far is kept and the file is completed. The
    // report waits until the handler has finished, so no box opens with the fields half updated.
    BitBtn2Click();
    stopReports_.insert(stopReports_.end(), why.begin(), why.end());
}

void TForm1::ReportAutomaticStop()
{
    std::vector<std::wstring> reports;
    reports.swap(stopReports_);
    // One at a time, through the frame's report, like any other error.
    for (const std::wstring& text : reports) {
        if (Application)
            Application->ShowErrorText(text);
        else
            DeviceErrorBox(text);
    }
}

void TForm1::WimClose(HWAVEIN device)
{
    if (!deviceOpen_ || device != WaveIn || awaitingOpen_)
        return;
    CompleteRecording(true);
}

void TForm1::CompleteRecording(bool deviceClosed)
{
    deviceOpen_ = false;
    KillTimer(handle_, kSilenceTimerId);
    // A buffer still waiting behind a failed append gets its last try; whatever happens, the file is
    // completed with what was written.
    std::exception_ptr failure;
    try {
        WriteHandedBack();
    } catch (...) {
        failure = std::current_exception();
    }
    unwritten_.clear();
    const bool held = !deviceClosed || std::any_of(Buffers.begin(), Buffers.end(),
                                                    [](const TCaptureBuffer& b) { return b.Prepared; });
    if (held)
        abandonedBuffers_.push_back(std::move(Buffers));
    Buffers.clear();
    WriteWaveHeader(TotalBytes);
    CloseWaveFile();
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::RetryClose()
{
    if (!deviceOpen_)
        return;
    if (device_.Close(WaveIn) != MMSYSERR_NOERROR)
        CompleteRecording(false);
}

DWORD TForm1::SilenceLimitMs() const
{
    if (SilenceLimitOverrideMs)
        return SilenceLimitOverrideMs;
    // The whole ring's worth of audio: a device handing back after a stall of the window's thread
    // takes that long at most. Plus the margin for a device that pauses and comes back.
    const DWORD bytesPerSecond = std::max<DWORD>(WaveFormat.nAvgBytesPerSec, 1);
    const DWORD queued = static_cast<DWORD>(uint64_t{kCaptureBufferCount} * static_cast<DWORD>(BufferSize) * 1000 /
                                            bytesPerSecond);
    return queued + kSilenceMarginMs + (dataSeen_ ? 0 : kStartLatencyMs);
}

void TForm1::CheckForSilence()
{
    if (!deviceOpen_ || Stopping)
        return;
    if (GetTickCount() - lastDataTick_ > SilenceLimitMs())
        StopAutomatically({Stopped(kDeviceSilentText)});
}

void TForm1::DeviceFailed(MMRESULT result)
{
    StopAutomatically({Stopped(DeviceErrorText(result))});
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
        CompleteRecording(false);
}

void TForm1::FinishRecordingBeforeClose()
{
    if (!deviceOpen_)
        return;
    StopRecording();
    WaitForPreviousRecording();
}
