#pragma once
// Screen density. A window of a per-monitor aware program has the density of the monitor it is on,
// which can differ from the system's and change as it moves. The per-monitor functions are looked
// up rather than imported: Windows before 10 (1607) lacks them, and the program still runs there.

#include <windows.h>

// The message a per-monitor (v2) window is asked, before WM_DPICHANGED, for its size at a new
// density (Windows 10 1703 and later); defined here as the target is older.
inline constexpr UINT kGetDpiScaledSizeMessage = 0x02E4; // WM_GETDPISCALEDSIZE

// The system's pixels per inch (the primary monitor's at logon); 96 when it cannot be read.
UINT SystemDpi();

// The pixels per inch `window` is shown at; the system's where the platform does not say.
UINT WindowDpi(HWND window);

// GetSystemMetrics(index) at `dpi`.
int SystemMetricForDpi(int index, UINT dpi);

// The size of a window of `style` and `exStyle` (no menu) whose client area is `client`, at `dpi`.
SIZE FrameSizeForDpi(SIZE client, DWORD style, DWORD exStyle, UINT dpi);
