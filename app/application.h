#pragma once
// The application frame: the title, the hidden application window that owns the main window and
// carries the taskbar button, the one message loop, plain messages and the error report.

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// The executable's file name without directory, cut at the first "." and, past the first
// character, in lower case: "my.rec.tool.exe" -> "my", "LOUD.EXE" -> "Loud".
std::wstring ApplicationTitleFromPath(const std::wstring& exePath);

// An error text as the report shows it: "." appended when the last character sorts after ".".
std::wstring WithFullStop(const std::wstring& text);

// Resource id of the application icon (app/recorder.rc); the main window uses it too.
inline constexpr int kApplicationIconId = 1;

// Adds `text` to a list box or combo box; a list that refuses it raises "Unable to insert a line".
void AddListItem(HWND list, bool comboBox, const std::wstring& text);

// While a modal box or dialog of ours is up, the program's other top-level windows are disabled
// (the box itself disables only its owner) and the window that was active gets activation back
// afterwards.
class ModalScope {
public:
    explicit ModalScope(HWND boxOwner);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    static BOOL CALLBACK Disable(HWND window, LPARAM self);

    HWND boxOwner_;
    HWND previous_;
    std::vector<HWND> disabled_;
};

class TApplication {
public:
    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Registers the window classes and creates the hidden application window.
    void Initialize(HINSTANCE instance);

    const std::wstring& Title() const noexcept { return title_; }
    HWND Handle() const noexcept { return handle_; }
    HINSTANCE Instance() const noexcept { return instance_; }
    // The main window: activated when the application window is, closed when it is asked to close.
    void SetMainWindow(HWND window) noexcept { mainWindow_ = window; }
    HWND MainWindow() const noexcept { return mainWindow_; }

    // Runs `startUp` (initialising, creating and showing the windows), then the message loop. A
    // failure in `startUp` is shown in a box, as no window may be up to show it otherwise, and the
    // program ends with kStartUpFailedCode instead of running the loop.
    int Start(const std::function<void()>& startUp);
    static constexpr int kStartUpFailedCode = 1;
    // Runs the message loop until a quit request; returns the process exit code.
    int Run();
    // Asks the message loop to end once the running handler has returned.
    void Terminate();
    bool Terminated() const noexcept { return terminated_; }

    // A modal box with the title as caption, no icon and one "OK" button (default and cancel),
    // centred on the screen, text wrapped at half the screen's width.
    void ShowMessage(const std::wstring& text);

    // Shows the exception being handled (call from a catch block). At most one report is up at a
    // time: errors raised while one is up are counted and reported once it has closed.
    void HandleException() noexcept;
    void ShowErrorText(const std::wstring& text);

    // Tests replace the system boxes to see what would have been shown.
    std::function<void(const std::wstring& text)> ErrorBoxHook;
    std::function<void(const std::wstring& text)> MessageBoxHook;

    // Hints: `control` shows `text` in a tooltip after the pointer rests on it.
    void AddHint(HWND control, const std::wstring& text);

private:
    void ShowErrorBox(const std::wstring& text);

    std::wstring title_;
    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND mainWindow_ = nullptr;
    bool terminated_ = false;
    bool comInitialized_ = false;
    bool reporting_ = false;
    struct PendingError {
        std::wstring text;
        int count;
    };
    std::vector<PendingError> pending_;
    int overflow_ = 0; // errors that came when pending_ was full
};

// The one application object of the program.
extern TApplication* Application;

// Runs a handler inside the error report: whatever escapes it is shown and the program goes on.
template <typename Handler>
void Guarded(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        if (Application)
            Application->HandleException();
        else
            MessageBoxW(nullptr, L"Unknown error", nullptr, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
}
