#pragma once
// The application frame: the title, the hidden application window that owns the main window and
// carries the taskbar button, the one message loop, plain messages, the error report and hints.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "frame/boxes.h"
#include "frame/error_report.h"
#include "frame/frame.h"
#include "platform/guards.h"

// The executable's file name without directory, cut at the first "." and, past the first
// character, in lower case: "my.rec.tool.exe" -> "my", "LOUD.EXE" -> "Loud".
std::wstring ApplicationTitleFromPath(const std::wstring& exePath);

class TApplication final : public IFrame {
public:
    TApplication();
    ~TApplication() override;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Enters COM, registers the window classes and creates the hidden application window.
    void Initialize(HINSTANCE instance);

    const std::wstring& Title() const noexcept { return title_; }
    HWND Handle() const noexcept override { return handle_; }
    // The main window: activated when the application window is, closed when it is asked to close.
    void SetMainWindow(HWND window) noexcept { mainWindow_ = window; }

    // Runs `startUp` (initialising, creating and showing the windows), then the message loop. A
    // failure in `startUp` is shown in a box, as no window may be up to show it otherwise, and the
    // program ends with kStartUpFailedCode instead of running the loop.
    int Start(const std::function<void()>& startUp);
    static constexpr int kStartUpFailedCode = 1;
    // Runs the message loop until a quit request; returns the process exit code.
    int Run();
    void Terminate() override;
    bool Terminated() const noexcept { return terminated_; }

    // Centred on the screen, text wrapped at half the screen's width; Enter and Esc close it.
    void ShowMessage(const std::wstring& text) override;
    void ShowErrorText(const std::wstring& text) override;
    void HandleException() noexcept override;
    void ShowDeviceError(HWND owner, const std::wstring& text) override;
    void AddHint(HWND control, const std::wstring& text) override;

    // Where the boxes are shown: the system's, or a test's.
    void SetBoxes(IBoxes& boxes) noexcept { boxes_ = &boxes; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowErrorBox(const std::wstring& text);

    std::wstring title_;
    // The save dialog is a COM object and needs a single-threaded apartment on the window's thread.
    std::optional<ComApartment> com_;
    HWND handle_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND mainWindow_ = nullptr;
    bool terminated_ = false;
    IBoxes* boxes_ = &SystemBoxes();
    TErrorReport report_{[this](const std::wstring& text) { ShowErrorBox(text); }};
};
