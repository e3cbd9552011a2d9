// How a recording ends: by Stop, by itself (the size limit, a file that cannot be written, a device
// gone silent or failing), before the next one starts, or as the window closes.
#include "ui/unit_main.h"

#include <utility>

#include "platform/power.h"
#include "ui/recording_files.h"
#include "ui/size_readout.h"
#include "ui/stop_reports.h"
#include "ui/window_messages.h"

namespace {

// Capture can begin a couple of seconds after the start: the first audio gets this much more time.
constexpr DWORD kStartLatencyMs = 10000;
// A device may pause for a few seconds and come back (a headset switching profile, a resume from
// sleep), and hands back a buffer only every half second; silence that short does not end the
// recording.
constexpr DWORD kSilenceMarginMs = 8000;
// How long a new recording waits for the stopped one's last notifications.
constexpr DWORD kDrainTimeoutMs = 5000;
// A silence check this much later than the last one means the program itself did not run.
constexpr uint64_t kNotRunningMs = 2000;

} // namespace

void TForm1::EndRecording()
{
    StopRecording();
    LevelMeter1.Empty();
    EnableWindow(BitBtn1, TRUE);
    EnableWindow(BitBtn2, FALSE);
    ShowSize(FileSizeByName(recording_.Files.empty() ? SaveDialog1.FileName : recording_.Files.back()));
    // A recording that went on into further files says where it is, once it is over.
    recording_.FilesReport = RecordingFilesText(recording_.Files);
    if (deviceListStale_)
        RefreshDeviceList(); // the system's devices changed while recording
}

bool TForm1::StopByItself(std::vector<std::wstring> why)
{
    if (state_ != TRecordingState::Recording && state_ != TRecordingState::DeviceLeaving)
        return false; // stopped already, by the user or by itself
    // As the Stop button does: everything written so far is kept and the file is completed. The
    // report waits until the handler has finished, so no box opens with the fields half updated.
    EndRecording();
    recording_.Errors.insert(recording_.Errors.end(), why.begin(), why.end());
    return true;
}

void TForm1::ShowReports()
{
    std::vector<std::wstring> reports;
    reports.swap(recording_.Errors);
    std::vector<std::wstring> notices;
    notices.swap(recording_.Notices);
    // One at a time, through the frame's report, like any other error.
    for (const std::wstring& text : reports)
        frame_.ShowErrorText(text);
    for (const std::wstring& text : notices)
        frame_.ShowMessage(text);
    if (!recording_.FilesReport.empty())
        frame_.ShowMessage(std::exchange(recording_.FilesReport, {}));
}

void TForm1::CompleteRecording(bool deviceClosed)
{
    KillTimer(handle_, kSilenceTimerId);
    // No file is written until the recording goes on, if it does: then at its first buffer.
    LevelMeter1.ShowRoom(L"");
    recording_.RoomTick = 0;
    // A buffer still waiting behind a failed append gets its last try; whatever happens, the file is
    // completed with what was written.
    std::exception_ptr failure;
    try {
        WriteHandedBack();
    } catch (...) {
        failure = std::current_exception();
    }
    // A device that went away is waited for: the recording is not over.
    const bool waitForDevice = state_ == TRecordingState::DeviceLeaving;
    state_ = TRecordingState::Idle;
    recording_.Unwritten.clear();
    // Only a device that never confirmed its close may still write into its ring. One that closed
    // writes nothing more, even into headers it kept: Wine closes a device whose reset failed (its
    // source gone) with every header still queued, and keeping those rings lost one a device return.
    if (!deviceClosed)
        abandonedBuffers_.push_back(std::move(Buffers));
    Buffers.clear();
    if (waitForDevice)
        StartWaiting();
    else
        session_.Release();
    // Closed already when the next file of the recording could not be created.
    if (WaveFile.IsOpen()) {
        WriteWaveHeader(TotalBytes);
        // On the disk, not only in the system's cache: a power cut after Stop loses nothing.
        WaveFile.Flush();
        CloseWaveFile();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::RetryClose()
{
    if (!DeviceOpen() || state_ == TRecordingState::Recording)
        return;
    if (device_.Close(WaveIn) != MMSYSERR_NOERROR)
        CompleteRecording(false);
}

DWORD TForm1::SilenceLimitMs() const
{
    if (SilenceLimitOverrideMs)
        return SilenceLimitOverrideMs;
    // A stall of the window's thread, however long, does not count: the buffers the device handed
    // back meanwhile wait as posted messages, which come before the timer's next check.
    return kSilenceMarginMs + (recording_.AudioTick ? 0 : kStartLatencyMs);
}

void TForm1::CheckForSilence()
{
    if (state_ != TRecordingState::Recording)
        return;
    // Modern Standby pauses desktop programs while the awake clock runs on, as do a debugger and a
    // paused virtual machine. On waking, the timer that fell due comes at once, and nothing orders
    // it after the power notices, if any come: a gap between two checks is time this program did
    // not run, not the device's silence, so the device gets its allowance again instead.
    const uint64_t now = AwakeMilliseconds();
    if (now - recording_.CheckedTick > kNotRunningMs) {
        RestartSilenceAllowance();
        return;
    }
    recording_.CheckedTick = now;
    if (now - recording_.AudioTick.value_or(recording_.AllowanceTick) > SilenceLimitMs())
        DeviceGone(kDeviceSilentText);
}

void TForm1::RestartSilenceAllowance()
{
    recording_.AllowanceTick = recording_.CheckedTick = AwakeMilliseconds();
    recording_.AudioTick.reset();
}

void TForm1::DeviceFailed(MMRESULT result)
{
    if (state_ != TRecordingState::Recording)
        return; // posted before the device was stopped or went away: nothing to stop any more
    // A buffer the device will not take back because it has gone is the device gone, not a driver
    // missing from the system.
    if (result == MMSYSERR_NODRIVER || result == MMSYSERR_BADDEVICEID)
        DeviceGone(kDeviceGoneText);
    else
        StopByItself({Stopped(DeviceErrorText(result))});
}

bool TForm1::NextDeviceMessage(MSG& message, DWORD waitMs)
{
    const auto peek = [&] {
        return PeekMessageW(&message, handle_, MM_WIM_OPEN, MM_WIM_DATA, PM_REMOVE) ||
               PeekMessageW(&message, handle_, kDeviceFailedMessage, kCloseRetryMessage, PM_REMOVE);
    };
    if (peek())
        return true;
    if (waitMs == 0)
        return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_POSTMESSAGE);
    return peek();
}

void TForm1::CloseUnusedDevice()
{
    if (device_.Close(WaveIn) != MMSYSERR_NOERROR)
        return;
    // Its notifications are handled here, so none is left for a next device that may be given the
    // same handle value.
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kDrainTimeoutMs;) {
        MSG message;
        if (!NextDeviceMessage(message, 20))
            continue;
        const bool closed = message.message == MM_WIM_CLOSE && reinterpret_cast<HWAVEIN>(message.wParam) == WaveIn;
        DispatchMessageW(&message);
        if (closed)
            return;
    }
}

void TForm1::WaitForPreviousRecording()
{
    const DWORD start = GetTickCount();
    const auto draining = [this] {
        return state_ == TRecordingState::Draining || state_ == TRecordingState::Discarding;
    };
    while (draining() && GetTickCount() - start < kDrainTimeoutMs) {
        MSG message;
        if (NextDeviceMessage(message, 20))
            DispatchMessageW(&message);
    }
    if (draining())
        CompleteRecording(false);
}

void TForm1::FinishRecordingBeforeClose()
{
    if (!DeviceOpen() && state_ != TRecordingState::WaitingForDevice)
        return;
    StopRecording();
    WaitForPreviousRecording();
}
