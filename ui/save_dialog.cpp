#include "ui/unit_main.h"

#include <commdlg.h>

#include <vector>

namespace {

// Places the dialog centred across the monitor of the active window, a third of the free height
// from its top.
UINT_PTR CALLBACK PlaceDialog(HWND child, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != CDN_INITDONE)
        return 0;
    const HWND dialog = GetParent(child);
    HWND active = GetActiveWindow();
    if (!active || active == dialog)
        active = GetForegroundWindow();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(active, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return 0;
    RECT box{};
    GetWindowRect(dialog, &box);
    const RECT& area = monitor.rcWork;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 3;
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

} // namespace

bool TSaveDialog::Execute(HWND owner)
{
    // 260 characters: names of at most 259, as the file layer expects.
    std::vector<wchar_t> name(MAX_PATH, L'\0');
    FileName.copy(name.data(), name.size() - 1);

    // The filter's one entry shows "*.wav" and lists the .wav files.
    std::wstring filter = Filter;
    filter.push_back(L'\0');
    filter += Filter;
    filter.push_back(L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = Title.c_str();
    dialog.lpstrDefExt = DefaultExt.c_str();
    // No overwrite prompt and no existence checks: an existing file is replaced without a question.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR | OFN_ENABLEHOOK;
    dialog.lpfnHook = PlaceDialog;

    if (!GetSaveFileNameW(&dialog))
        return false; // cancelled, or the dialog could not be shown: keep the last accepted name
    FileName = name.data();
    return true;
}
