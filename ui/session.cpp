// The session around a recording: the system going to sleep and waking, logoff and shutdown.
#include "ui/unit_main.h"

void TForm1::PowerChanged(WPARAM event)
{
    if (!DeviceOpen())
        return;
    switch (event) {
    case PBT_APMSUSPEND: {
        // A couple of seconds before the system sleeps: everything the device has handed back goes
        // into the file, and the file onto the disk, so a recording that never wakes is complete.
        MSG message;
        while (NextDeviceMessage(message, 0))
            DispatchMessageW(&message);
        if (WaveFile.IsOpen())
            WaveFile.Flush();
        RestartSilenceAllowance();
        break;
    }
    case PBT_APMRESUMEAUTOMATIC:
    case PBT_APMRESUMESUSPEND:
        // The device may take as long to deliver again as it did at the start.
        RestartSilenceAllowance();
        break;
    default:
        break;
    }
}

bool TForm1::QueryEndSession(LPARAM reason) const
{
    // Asked to wait, the system lists the shutdown block reason and lets the user decide. A critical
    // end does not wait, and an installer closing the program asks it to go.
    return !GoesOn(state_) || (reason & (ENDSESSION_CRITICAL | ENDSESSION_CLOSEAPP)) != 0;
}

void TForm1::EndSession(bool ending)
{
    // The process may be ended as soon as this returns: the file is complete before it does.
    if (ending)
        FinishRecordingBeforeClose();
}
