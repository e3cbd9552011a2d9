#include "platform/power.h"

#include <realtimeapiset.h>

uint64_t AwakeMilliseconds()
{
    ULONGLONG hundredNs = 0;
    if (QueryUnbiasedInterruptTime(&hundredNs))
        return hundredNs / 10000;
    return GetTickCount64(); // counts sleep too; only where the platform has no unbiased clock
}

void TSessionHold::Hold(HWND window, const std::wstring& reason)
{
    Release();
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    // A reason that cannot be set only costs the text on the shutdown screen (Wine has none).
    if (window)
        ShutdownBlockReasonCreate(window, reason.c_str());
    window_ = window;
    held_ = true;
}

void TSessionHold::Release()
{
    if (!held_)
        return;
    SetThreadExecutionState(ES_CONTINUOUS);
    if (window_ && IsWindow(window_))
        ShutdownBlockReasonDestroy(window_);
    window_ = nullptr;
    held_ = false;
}
