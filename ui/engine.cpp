// The recording engine: a ring of half-second buffers cycling through the device, each written to
// the file in the order the device hands them back, driven by the device's notifications on the
// window's thread.
#include "ui/unit_main.h"

#include <algorithm>
#include <new>

#include "platform/disk_space.h"
#include "platform/power.h"
#include "ui/disk_room.h"
#include "ui/recording_files.h"
#include "ui/stop_reports.h"
#include "ui/window_messages.h"

namespace {

// How often the free space of the file's disk is read while recording.
constexpr uint64_t kRoomCheckMs = 5000;

std::vector<TCaptureBuffer> AllocateBuffers(int32_t size, int count)
{
    std::vector<TCaptureBuffer> buffers(count);
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

    // Until the device is open, an error raised here leaves a start that failed.
    state_ = TRecordingState::StartFailed;
    recording_ = TRecording{};
    TotalBytes = 0;

    WaveFormat = PcmWaveFormat(Channels, SampleRate, BitsPerSample);

    // The device before the file: a device that refuses (held by another program, refused by the
    // privacy settings, gone) leaves an earlier recording of the chosen name as it was.
    if (const MMRESULT result = OpenDevice(static_cast<UINT>(DeviceId))) {
        state_ = TRecordingState::Idle;
        return result;
    }
    // Kept to find the same device again if it goes away mid-recording.
    recording_.DeviceIdentity = device_.EndpointId(static_cast<UINT>(DeviceId));
    try {
        CreateWaveFile(fileName);
    } catch (...) {
        CloseUnusedDevice();
        throw;
    }
    recording_.Files = {fileName};
    if (const MMRESULT result = QueueAndStart())
        return result;
    // An unattended recording must not be cut by the idle timer, nor by a logoff without a word.
    const size_t slash = fileName.find_last_of(L"\\/");
    session_.Hold(handle_, L"Идёт запись в " + fileName.substr(slash == std::wstring::npos ? 0 : slash + 1));
    CheckRoom();
    return MMSYSERR_NOERROR;
}

MMRESULT TForm1::OpenDevice(UINT deviceId)
{
    // Fresh buffers: the previous device's were released when it closed, or are kept aside because
    // it never did. A ring left here no device took (its open failed): it goes first, so the heap
    // never holds two rings while a device that went away is looked for every second.
    Buffers.clear();
    Buffers = AllocateBuffers(BufferSize, CaptureBufferCount(BufferSize, WaveFormat.nAvgBytesPerSec));
    HWAVEIN opened = nullptr;
    if (const MMRESULT result = device_.Open(&opened, deviceId, &WaveFormat, handle_))
        return result;
    awaitingOpen_ = opened == WaveIn;
    WaveIn = opened;
    return MMSYSERR_NOERROR;
}

MMRESULT TForm1::QueueAndStart()
{
    state_ = TRecordingState::Recording;
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
    RestartSilenceAllowance();
    SetTimer(handle_, kSilenceTimerId, kSilenceCheckMs, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TForm1::StopRecording()
{
    switch (state_) {
    case TRecordingState::WaitingForDevice:
        EndWaiting();
        return MMSYSERR_NOERROR;
    case TRecordingState::DeviceLeaving:
        // Stopped while the device that went away drains: its close ends the recording instead.
        state_ = TRecordingState::Draining;
        return MMSYSERR_INVALHANDLE;
    default:
        return StopDevice();
    }
}

MMRESULT TForm1::StopDevice()
{
    // After a failed start WaveIn names an earlier, closed device; once stopping, the device has
    // been reset and asked to close already.
    if (state_ != TRecordingState::Recording) {
        if (state_ == TRecordingState::StartFailed)
            state_ = TRecordingState::Idle;
        return MMSYSERR_INVALHANDLE;
    }
    state_ = TRecordingState::Draining;
    const MMRESULT resetResult = device_.Reset(WaveIn);
    // The reset has handed every buffer back: release them while the device is still open. A
    // header the device refuses to let go of stays prepared; its ring is freed only once the device
    // has confirmed its close.
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
    if (DeviceOpen() && device == WaveIn)
        awaitingOpen_ = false;
}

TCaptureBuffer* TForm1::OwnBuffer(HWAVEIN device, const WAVEHDR* header)
{
    // A notification of a completed recording, or of an earlier device that had the same handle,
    // is stale; so is a header that is not one of this recording's.
    if (!DeviceOpen() || device != WaveIn || awaitingOpen_)
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
    if (header->dwBytesRecorded > 0 && header->dwBytesRecorded <= header->dwBufferLength)
        recording_.AudioTick = AwakeMilliseconds();
    recording_.Unwritten.push_back(buffer);
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

void TForm1::ContinueInNextFile()
{
    // Whole buffers on either side of the boundary: no frame is lost or written twice.
    WriteWaveHeader(TotalBytes);
    WaveFile.Flush();
    CloseWaveFile();
    const std::wstring next = NextNumberedFileName(recording_.Files.front());
    CreateWaveFile(next);
    recording_.Files.push_back(next);
    TotalBytes = 0;
    ShowSize(TotalBytes);
}

void TForm1::WriteHandedBack()
{
    // In the order the device handed them back. A buffer whose append failed stays first in line
    // and is tried again when the next one comes: a file never skips audio.
    while (!recording_.Unwritten.empty() && state_ != TRecordingState::Discarding) {
        TCaptureBuffer& buffer = *recording_.Unwritten.front();
        if (buffer.Header.dwBytesRecorded > buffer.Header.dwBufferLength) {
            // A count the buffer cannot hold is a device fault, never a length to read.
            StopByItself({Stopped(kDeviceFaultText)});
            state_ = TRecordingState::Discarding;
            break;
        }
        try {
            // The file goes up to the size limit, and the recording on into the next file.
            if (TotalBytes > 0 && int64_t{TotalBytes} + buffer.Header.dwBytesRecorded > MaxTotalBytes)
                ContinueInNextFile();
        } catch (const EInOutError& error) {
            // No file to go on in: the recording ends with the files completed so far.
            if (EndWriting(error))
                throw;
            break;
        }
        const int32_t count = BytesToKeep(buffer.Header);
        try {
            AppendWaveData(reinterpret_cast<const BYTE*>(buffer.Header.lpData), count);
        } catch (const EInOutError& error) {
            // Later buffers wait behind this one while the device still holds some to fill.
            const bool deviceRunsDry = !Stopping() && recording_.Unwritten.size() == Buffers.size();
            if (!buffer.FailedOnce && !deviceRunsDry) {
                buffer.FailedOnce = true;
                throw;
            }
            // It cannot be written: the file ends at the last buffer written in order.
            if (EndWriting(error))
                throw;
            break;
        }
        recording_.Unwritten.pop_front();
        buffer.FailedOnce = false;
        TotalBytes += count;
        ShowSize(TotalBytes);
        ShowLevel(reinterpret_cast<const BYTE*>(buffer.Header.lpData), count);
        QueueAgain(buffer);
        if (AwakeMilliseconds() - recording_.RoomTick >= kRoomCheckMs)
            CheckRoom();
    }
    if (state_ == TRecordingState::Discarding)
        recording_.Unwritten.clear();
}

void TForm1::CheckRoom()
{
    recording_.RoomTick = AwakeMilliseconds();
    const std::optional<uint64_t> free = FreeBytesBeside(WaveFile.Name());
    LevelMeter1.ShowRoom(free ? RoomText(*free, WaveFormat.nAvgBytesPerSec) : L"");
    if (!free || recording_.RoomTold)
        return;
    // A disk that fills in the night ends the recording there: better said at once than found out
    // in the morning.
    std::wstring low = LowRoomText(*free, WaveFormat.nAvgBytesPerSec);
    if (low.empty())
        return;
    recording_.RoomTold = true;
    recording_.Notices.push_back(std::move(low));
}

bool TForm1::EndWriting(const EInOutError& error)
{
    // Stopped already by the user, nobody else reports it: the caller raises it again.
    const bool reported = StopByItself({error.Message(), kWriteStoppedText});
    state_ = TRecordingState::Discarding; // what follows is dropped: the file never skips audio
    return !reported;
}

void TForm1::QueueAgain(TCaptureBuffer& buffer)
{
    if (Stopping())
        return;
    if (const MMRESULT result = device_.AddBuffer(WaveIn, &buffer.Header))
        PostMessageW(handle_, kDeviceFailedMessage, result, 0);
}

void TForm1::WimClose(HWAVEIN device)
{
    if (!DeviceOpen() || device != WaveIn || awaitingOpen_)
        return;
    CompleteRecording(true);
}
