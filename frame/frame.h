#pragma once
// What the main window asks of the application frame: the owner of its dialogs, the three kinds of
// box, the end of the program and hints. The frame hands itself to the window as this interface.

#include <windows.h>

#include <string>

// Resource id of the application icon (app/recorder.rc), the icon of the frame's and the main window.
inline constexpr int kApplicationIconId = 1;

class IFrame {
public:
    virtual ~IFrame() = default;

    // The hidden application window: owner of the main window, the frame's boxes and the save dialog.
    virtual HWND Handle() const = 0;
    // A modal box with the title as caption, no icon and one "OK" button.
    virtual void ShowMessage(const std::wstring& text) = 0;
    // The error report: an error (stop) box with the title as caption, at most one up at a time.
    virtual void ShowErrorText(const std::wstring& text) = 0;
    // Shows the exception being handled through the error report (call from a catch block).
    virtual void HandleException() noexcept = 0;
    // The "ОШИБКА!" box of a device that failed at the start, owned by `owner`.
    virtual void ShowDeviceError(HWND owner, const std::wstring& text) = 0;
    // Asks the message loop to end once the running handler has returned.
    virtual void Terminate() = 0;
    // `control` shows `text` in a tooltip after the pointer rests on it.
    virtual void AddHint(HWND control, const std::wstring& text) = 0;
};

// Runs a handler inside the error report: whatever escapes it is shown and the program goes on.
template <typename Handler>
void Guarded(IFrame& frame, Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        frame.HandleException();
    }
}
