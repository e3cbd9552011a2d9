#pragma once
// One recording, from Record to the end of its last file: everything that lives exactly as long as
// it. Record replaces it whole, so nothing of the last recording can reach the next by a missed reset.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ui/capture_buffer.h"

struct TRecording {
    std::vector<std::wstring> Files; // its files, the one being written last
    std::wstring DeviceIdentity;     // its device, found by this when it comes back
    bool GoneTold = false;           // that the device went away has been said
    bool RoomTold = false;           // that the disk's room runs low has been said

    // Awake time (AwakeMilliseconds) when the silence allowance began, of the last silence check,
    // of the last audio, and when the disk's free space was last read.
    uint64_t AllowanceTick = 0;
    uint64_t CheckedTick = 0;
    std::optional<uint64_t> AudioTick;
    uint64_t RoomTick = 0;

    std::deque<TCaptureBuffer*> Unwritten; // handed back by the device, not yet written, oldest first

    // Shown once the running handler is done with the fields: why it stopped by itself (through the
    // error report), plain messages it goes on beneath, and the list of its files once it is over.
    std::vector<std::wstring> Errors;
    std::vector<std::wstring> Notices;
    std::wstring FilesReport;
};
