#pragma once
// What a long recording asks of the session around it: no idle sleep, a reason shown if the user
// logs off or shuts down, and a clock that leaves time asleep out.

#include <windows.h>

#include <cstdint>
#include <string>

// Milliseconds of time awake since the system started: time spent asleep or hibernating does not
// count, so a silence measured across a sleep is only the silence while awake.
uint64_t AwakeMilliseconds();

// Held while a recording runs: the idle timer does not put the system to sleep, and the logoff and
// shutdown screen lists `reason` for `window`. Closing the lid or choosing Sleep still sleeps.
class TSessionHold {
public:
    TSessionHold() = default;
    ~TSessionHold() { Release(); }
    TSessionHold(const TSessionHold&) = delete;
    TSessionHold& operator=(const TSessionHold&) = delete;

    void Hold(HWND window, const std::wstring& reason);
    void Release();

private:
    HWND window_ = nullptr;
    bool held_ = false;
};
