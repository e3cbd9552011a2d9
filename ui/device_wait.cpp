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
    if (recording_.DeviceIdentity.empty()) {
        StopByItself({Stopped(why)});
        return;
    }
    StopDevice();
    state_ = TRecordingState::DeviceLeaving; // its close notification completes the file and starts the wait
    // Once a recording: a device that comes and goes does not pile up boxes over the window.
    if (!recording_.GoneTold)
        recording_.Errors.push_back(why + L"\n" + kWaitingText);
    recording_.GoneTold = true;
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
    const std::optional<UINT> id = FindDeviceById(device_, recording_.DeviceIdentity);
    if (!id)
        return;
    recording_.Unwritten.clear();
    const std::wstring next = NextNumberedFileName(recording_.Files.front());
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
        recording_.Errors.insert(recording_.Errors.end(), {error.Message(), kWriteStoppedText});
        return;
    }
    DeviceId = static_cast<int32_t>(*id);
    KillTimer(handle_, kDeviceWaitTimerId);
    LevelMeter1.ShowWaiting(false);
    recording_.Files.push_back(next);
    TotalBytes = 0;
    ShowSize(TotalBytes);
    if (QueueAndStart() != MMSYSERR_NOERROR)
        state_ = TRecordingState::DeviceLeaving; // it refused to start: drain back into the wait
}
