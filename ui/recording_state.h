#pragma once
// Where a recording is. Every handler of the engine asks this before it acts.

enum class TRecordingState {
    Idle,        // no recording: before the first, and once the device's close has been handled
    Recording,   // the device fills the ring; each buffer handed back is written and queued again
    Draining,    // stopped: the device hands back what it holds, which is written; nothing is queued
    Discarding,  // stopped after a buffer could not be written: what follows it is dropped, so the
                 // file never skips audio
    StartFailed, // the start raised an error before the device was opened
    WaitingForDevice, // the device went away: its file is complete, and the same device is looked
                      // for until it is back (the recording goes on into the next file) or Stop
};
