#pragma once
// Answers the recorder's save dialog as a person does: types a name into its name box and presses
// Save, or presses Cancel. Works from another thread of the recorder's process (the thread that
// shows the dialog is busy running it) and from another process.
#include <windows.h>

#include <string>
#include <thread>

namespace save_dialog {

const wchar_t* const kTitle = L"Сохранить звукозапись как...";

// The old Explorer-style dialog names its box 0x47C (a combo box), the item dialog 0x480 (an edit).
constexpr int kClassicNameBox = 0x47C;
constexpr int kItemNameBox = 0x480;

inline HWND NameBox(HWND dialog)
{
    const HWND combo = GetDlgItem(dialog, kClassicNameBox);
    return combo ? combo : GetDlgItem(dialog, kItemNameBox);
}

// Process `processId`'s dialog once it is shown (tests run side by side), or nullptr after
// `timeoutMs`. Wine takes a while to destroy a dialog, so the last recording's may still be there,
// hidden.
inline HWND WaitFor(DWORD timeoutMs, DWORD processId = GetCurrentProcessId())
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start <= timeoutMs; Sleep(10))
        for (HWND dialog = nullptr; (dialog = FindWindowExW(nullptr, dialog, L"#32770", kTitle)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(dialog, &owner);
            if (owner == processId && IsWindowVisible(dialog))
                return dialog;
        }
    return nullptr;
}

// Types `fileName` and presses Save, or presses Cancel when it is null; true once the dialog has
// gone within `timeoutMs` (it stays when it refuses the name, as it does for a folder's).
inline bool Answer(HWND dialog, const std::wstring* fileName, DWORD timeoutMs)
{
    if (fileName)
        SendMessageW(NameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileName->c_str()));
    PostMessageW(dialog, WM_COMMAND, fileName ? IDOK : IDCANCEL, 0);
    for (const DWORD start = GetTickCount(); GetTickCount() - start <= timeoutMs; Sleep(10))
        if (!IsWindow(dialog) || !IsWindowVisible(dialog))
            return true;
    return false;
}

// Answers with `fileName` the next dialog, from a thread of its own.
inline std::thread AnswerNext(std::wstring fileName)
{
    return std::thread([fileName] {
        if (const HWND dialog = WaitFor(10000))
            Answer(dialog, &fileName, 10000);
    });
}

} // namespace save_dialog
