#include "platform/dpi.h"

#include "platform/guards.h"
#include "platform/system_dll.h"

namespace {

using GetDpiForWindowFunction = UINT WINAPI(HWND);
using GetSystemMetricsForDpiFunction = int WINAPI(int, UINT);
using AdjustWindowRectExForDpiFunction = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);

// user32 is imported, so it is loaded already: looking it up loads nothing.
template <typename Function>
Function* User32Function(const char* name)
{
    return DllFunction<Function>(GetModuleHandleW(L"user32.dll"), name);
}

} // namespace

UINT SystemDpi()
{
    const WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND window)
{
    if (const auto dpiOf = User32Function<GetDpiForWindowFunction>("GetDpiForWindow"))
        if (const UINT dpi = dpiOf(window))
            return dpi;
    return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi)
{
    if (const auto metric = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi"))
        return metric(index, dpi);
    // Older systems measure at the system's density.
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

SIZE FrameSizeForDpi(SIZE client, DWORD style, DWORD exStyle, UINT dpi)
{
    RECT frame{0, 0, client.cx, client.cy};
    const auto adjust = User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&frame, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}
