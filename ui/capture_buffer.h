#pragma once
// The capture ring: half-second buffers kept queued at the device.

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>

// The window's thread writes the file and queues buffers again; while it is held up the device
// fills what it holds. A network share that reconnects can hold a write for up to a minute (a
// scanner or a sleeping USB disk for seconds), so the ring holds this much audio: a stall of 60 s,
// and 2 s for the thread to catch up and for the stall to begin with a buffer or two still being
// written.
inline constexpr int32_t kCaptureRingSeconds = 62;

// Buffers of `bufferSize` bytes that hold kCaptureRingSeconds of audio at `bytesPerSecond`, rounded
// up; at least two, so one can be filled while the other is written.
constexpr int CaptureBufferCount(int32_t bufferSize, uint32_t bytesPerSecond)
{
    if (bufferSize <= 0)
        return 2;
    const uint64_t ring = uint64_t{bytesPerSecond} * kCaptureRingSeconds;
    const uint64_t count = (ring + static_cast<uint64_t>(bufferSize) - 1) / static_cast<uint64_t>(bufferSize);
    return count < 2 ? 2 : static_cast<int>(count);
}

// One capture buffer and its header, which points into it. Neither may move or be freed while the
// device may still use them.
struct TCaptureBuffer {
    std::unique_ptr<BYTE[]> Data;
    WAVEHDR Header{};
    bool Prepared = false;
    bool FailedOnce = false; // its append failed once; it is tried again before any later buffer
};
