#pragma once
// The capture ring: half-second buffers kept queued at the device.

#include <windows.h>
#include <mmsystem.h>

#include <memory>

// The window's thread writes the file and queues buffers again; while it is held up (a slow disk,
// a scanner, a network share) the device fills what it holds. Eight ride out a stall of 3 s: at
// least seven are waiting when it begins.
inline constexpr int kCaptureBufferCount = 8;

// One capture buffer and its header, which points into it. Neither may move or be freed while the
// device may still use them.
struct TCaptureBuffer {
    std::unique_ptr<BYTE[]> Data;
    WAVEHDR Header{};
    bool Prepared = false;
    bool FailedOnce = false; // its append failed once; it is tried again before any later buffer
};
