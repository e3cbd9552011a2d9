// Loaded into the recorder by a window hook: writes every text Label1 is given to the file named by
// RECORDER_E2E_LABEL_LOG, one "milliseconds<TAB>text" line each, in the order the window sets them,
// and the level meter's to RECORDER_E2E_METER_LOG when that is set.
// With RECORDER_E2E_TIMER_LOG set, each of the level meter's timer ticks is logged as "meter", and
// those of a 50 ms timer of the probe's own as "reference": what twenty a second comes to in the
// recorder under the machine's present load. That timer runs on a thread of its own, so that how
// busy the recorder keeps its window's thread does not count as the machine's doing.
// Polling the label from outside could miss a text that lasts only until the next message.
// The driver's "RecorderE2EProbe" message, which no window handles, is logged as "<probe>" to show
// that the probe is in place. A message box is marked with the system icon it shows (its IDI_*
// number, in the window property "RecorderE2EIcon"), since an icon's handle means nothing to
// another process.
#include <windows.h>

#include <string>

namespace {

constexpr int kLabel1Id = 105;
constexpr int kLevelMeter1Id = 106;

void Append(const wchar_t* text, const wchar_t* log = L"RECORDER_E2E_LABEL_LOG")
{
    // A recording's name may be long, and so the log's beside it.
    wchar_t path[1024]{};
    const DWORD length = GetEnvironmentVariableW(log, path, 1024);
    if (!length || length >= 1024)
        return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string line = std::to_string(GetTickCount()) + "\t";
    const size_t start = line.size();
    line.resize(start + size);
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &line[start], size, nullptr, nullptr);
    line.back() = '\n'; // replaces the terminating zero
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void MarkIcon(HWND iconControl, HICON icon)
{
    for (const LPCWSTR id : {IDI_HAND, IDI_EXCLAMATION, IDI_ASTERISK, IDI_QUESTION})
        if (icon && icon == LoadIconW(nullptr, id))
            SetPropW(GetParent(iconControl), L"RecorderE2EIcon", const_cast<wchar_t*>(id));
}

void CALLBACK ReferenceTick(HWND, UINT, UINT_PTR, DWORD)
{
    Append(L"reference", L"RECORDER_E2E_TIMER_LOG");
}

// Timer messages are posted, so the window hook that sees the labels' texts never sees them.
LRESULT CALLBACK TimerWatch(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_TIMER && message->hwnd &&
        GetDlgCtrlID(message->hwnd) == kLevelMeter1Id)
        Append(L"meter", L"RECORDER_E2E_TIMER_LOG");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI Reference(void*)
{
    SetTimer(nullptr, 0, 50, ReferenceTick);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

bool WatchTimers()
{
    // Pinned: the hook and the thread outlive the driver's hook, whose removal may unload the probe.
    HMODULE self = nullptr;
    HANDLE thread = nullptr;
    const bool watched =
        GetEnvironmentVariableW(L"RECORDER_E2E_TIMER_LOG", nullptr, 0) &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&Reference), &self) &&
        SetWindowsHookExW(WH_GETMESSAGE, TimerWatch, nullptr, GetCurrentThreadId()) &&
        (thread = CreateThread(nullptr, 0, Reference, nullptr, 0, nullptr)) != nullptr;
    if (thread)
        CloseHandle(thread);
    return watched;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK LabelProbe(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        static const UINT probeMessage = RegisterWindowMessageW(L"RecorderE2EProbe");
        if (message->message == probeMessage) {
            Append(L"<probe>");
            static const bool watched = WatchTimers(); // once, from the recorder's window thread
            (void)watched;
        } else if (message->message == WM_SETTEXT && GetDlgCtrlID(message->hwnd) == kLabel1Id && message->lParam)
            Append(reinterpret_cast<const wchar_t*>(message->lParam));
        else if (message->message == WM_SETTEXT && GetDlgCtrlID(message->hwnd) == kLevelMeter1Id && message->lParam)
            Append(reinterpret_cast<const wchar_t*>(message->lParam), L"RECORDER_E2E_METER_LOG");
        else if (message->message == STM_SETICON)
            MarkIcon(message->hwnd, reinterpret_cast<HICON>(message->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
