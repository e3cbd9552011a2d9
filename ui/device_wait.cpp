// A device that goes away mid-recording is waited for: its file is completed, the same device
// (by its endpoint identity) is looked for again, and the recording goes on into the next file.
#include "ui/unit_main.h"

#include "ui/device_list.h"
#include "ui/recording_files.h"
#include "ui/stop_reports.h"
#include "ui/window_messages.h"

void TForm1::DeviceGone(const std::wstring& why)
{
    if (state_ != TRecordingState::Recording)
        return;
    // Without an identity another device could be taken for it: the recording ends instead.
    if (deviceIdentity_.empty()) {
        StopByItself({Stopped(why)});
        return;
    }
    StopDevice();
    goesOn_ = true; // its close notification completes the file and starts the wait
    // Once a recording: a device that comes and goes does not pile up boxes over the window.
    if (!goneReported_)
        stopReports_.push_back(why + L"\n" + kWaitingText);
    goneReported_ = true;
}

void TForm1::StartWaiting()
{
    state_ = TRecordingState::WaitingForDevice;
    SetTimer(handle_, kDeviceWaitTimerId, kDeviceWaitMs, nullptr);
    LevelMeter1.ShowWaiting(true);
}

void TForm1::EndWaiting()
{
    KillTimer(handle_, kDeviceWaitTimerId);
    LevelMeter1.ShowWaiting(false);
    state_ = TRecordingState::Idle;
    session_.Release();
}

void TForm1::LookForDevice()
{
    if (state_ != TRecordingState::WaitingForDevice)
        return;
    const std::optional<UINT> id = FindDeviceById(device_, deviceIdentity_);
    if (!id)
        return;
    unwritten_.clear();
    const std::wstring next = NextNumberedFileName(files_.front());
    try {
        if (OpenDevice(*id) != MMSYSERR_NOERROR)
            return; // back in the list but not ready yet: the next look tries again
        // Notifications are posted: none is handled before the file is there.
        try {
            CreateWaveFile(next);
        } catch (...) {
            CloseUnusedDevice();
            throw;
        }
    } catch (const EAppError& error) {
        // Not a box a second: the recording ends with what it has.
        EndRecording();
        stopReports_.insert(stopReports_.end(), {error.Message(), kWriteStoppedText});
        return;
    }
    DeviceId = static_cast<int32_t>(*id);
    KillTimer(handle_, kDeviceWaitTimerId);
    LevelMeter1.ShowWaiting(false);
    files_.push_back(next);
    TotalBytes = 0;
    ShowSize(TotalBytes);
    if (QueueAndStart() != MMSYSERR_NOERROR)
        goesOn_ = true; // it refused to start: drain back into the wait
}
