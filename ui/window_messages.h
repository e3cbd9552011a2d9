#pragma once
// The main window's own messages and timers, between the engine and the window's dispatch.

#include <windows.h>

inline constexpr UINT kDeviceFailedMessage = WM_APP + 1; // wParam: the device's result code
inline constexpr UINT kCloseRetryMessage = WM_APP + 2;
inline constexpr UINT_PTR kSilenceTimerId = 1;
inline constexpr UINT kSilenceCheckMs = 250;
inline constexpr UINT_PTR kDeviceWaitTimerId = 2;
inline constexpr UINT kDeviceWaitMs = 1000; // how often a device that went away is looked for
