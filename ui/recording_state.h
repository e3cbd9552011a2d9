#pragma once
// Where a recording is. Every handler of the engine asks this before it acts.

enum class TRecordingState {
    Idle,             // no recording: before the first, and once its device's close has been handled
    StartFailed,      // Record raised an error before the device was open
    Recording,        // the device fills the ring; each buffer handed back is written and queued again
    Draining,         // stopped: the device hands back what it holds, which is written; nothing is queued
    Discarding,       // stopped after a buffer could not be written: what follows it is dropped, so the
                      // file never skips audio
    DeviceLeaving,    // the device went away: it is drained as when stopped, then waited for
    WaitingForDevice, // the files so far are complete; the same device is looked for until it is
                      // back (the recording goes on into the next file) or Stop
};

// Not over, whatever its device does: the user's Stop, or an end by itself, is still to come.
inline bool GoesOn(TRecordingState state)
{
    return state == TRecordingState::Recording || state == TRecordingState::DeviceLeaving ||
           state == TRecordingState::WaitingForDevice;
}

// Every way a recording moves, and the function that moves it:
//   any -> StartFailed -> Recording       StartRecording, QueueAndStart (StartFailed -> Idle: the
//                                         device refused, or Stop after the error)
//   Recording -> Draining                 StopDevice: Stop, or a stop by itself (StopByItself)
//   Draining -> Discarding                EndWriting, or a device fault in WriteHandedBack
//   Recording -> DeviceLeaving            DeviceGone (DeviceLeaving -> Draining: Stop meanwhile)
//   Draining, Discarding -> Idle          CompleteRecording, once the device has closed
//   DeviceLeaving -> WaitingForDevice     CompleteRecording
//   WaitingForDevice -> Recording         LookForDevice, when it is back (-> DeviceLeaving when it
//                                         will not start)
//   WaitingForDevice -> Idle              StopRecording: Stop
