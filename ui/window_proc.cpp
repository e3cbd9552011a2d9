// The dispatch of the main window's messages to TForm1's handlers.
#include "ui/unit_main.h"

#include <dbt.h>

#include "platform/dpi.h"
#include "ui/control_ids.h"
#include "ui/window_messages.h"

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TForm1* form;
    if (message == WM_NCCREATE) {
        form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->handle_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->HandleMessage(message, wParam, lParam);
}

template <typename Handler>
LRESULT TForm1::HandleAndReport(Handler&& handler)
{
    Guarded(frame_, handler);
    // A recording that stopped by itself says why once the handler is done with the fields.
    Guarded(frame_, [this] { ShowReports(); });
    return 0;
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == kComboBox1Id && code == CBN_SELCHANGE)
            Guarded(frame_, [this] { ComboBox1Change(); });
        else if (id == kBitBtn1Id && code == BN_CLICKED)
            HandleAndReport([this] { BitBtn1Click(); }); // a recording may have something to say at once
        else if (id == kBitBtn2Id && code == BN_CLICKED)
            Guarded(frame_, [this] { BitBtn2Click(); });
        return 0;
    }
    case MM_WIM_OPEN:
        Guarded(frame_, [&] { WimOpen(reinterpret_cast<HWAVEIN>(wParam)); });
        return 0;
    case MM_WIM_DATA:
        return HandleAndReport([&] { WimData(reinterpret_cast<HWAVEIN>(wParam), reinterpret_cast<WAVEHDR*>(lParam)); });
    case MM_WIM_CLOSE:
        return HandleAndReport([&] { WimClose(reinterpret_cast<HWAVEIN>(wParam)); });
    case kDeviceFailedMessage:
        return HandleAndReport([&] { DeviceFailed(static_cast<MMRESULT>(wParam)); });
    case kCloseRetryMessage:
        return HandleAndReport([this] { RetryClose(); });
    case WM_TIMER:
        if (wParam == kSilenceTimerId)
            return HandleAndReport([this] { CheckForSilence(); });
        if (wParam == kDeviceWaitTimerId)
            return HandleAndReport([this] { LookForDevice(); });
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == Label1) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case kGetDpiScaledSizeMessage: {
        // Asked before a move to a monitor of another density: the client area scales exactly,
        // whatever the caption and borders do.
        *reinterpret_cast<SIZE*>(lParam) = FrameSizeAt(static_cast<UINT>(wParam));
        return TRUE;
    }
    case WM_DPICHANGED:
        Guarded(frame_, [&] { DensityChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); });
        return 0;
    case WM_SYSCOMMAND:
        // The application window carries the taskbar button: minimising goes through it, so the
        // owned main window does not shrink to a bar on the desktop.
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            ShowWindow(frame_.Handle(), SW_MINIMIZE);
            return 0;
        }
        break;
    case WM_POWERBROADCAST:
        Guarded(frame_, [&] { PowerChanged(wParam); });
        return TRUE;
    case WM_QUERYENDSESSION:
        return QueryEndSession(lParam);
    case WM_ENDSESSION:
        Guarded(frame_, [&] { EndSession(wParam != FALSE); });
        return 0;
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)
            HandleAndReport([this] { DevicesChanged(); });
        return TRUE;
    case WM_CLOSE:
        // Closing mid-recording completes the file first, so no audio and no header is lost.
        Guarded(frame_, [this] { FinishRecordingBeforeClose(); });
        DestroyWindow(handle_);
        return 0;
    case WM_DESTROY:
        frame_.Terminate();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

