#include "frame/application.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "frame/modal_scope.h"
#include "platform/error.h"
#include "platform/system_dll.h"

namespace {

constexpr wchar_t kWindowClass[] = L"TApplication";
constexpr wchar_t kDeviceErrorCaption[] = L"ОШИБКА!";

constexpr UINT kHintInitialMs = 500;
constexpr UINT kHintReshowMs = 0;
constexpr UINT kHintAutoPopMs = 2500;

std::wstring ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2); // truncated: try a larger buffer
    }
}

HICON LoadApplicationIcon(HINSTANCE instance, int size)
{
    HICON icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

// Themed tooltips ignore the colour messages; a hint box is drawn in the classic tooltip colours.
void UseClassicLook(HWND window)
{
    if (const auto setTheme = DllFunction<decltype(SetWindowTheme)>(LoadSystemDll(L"uxtheme.dll"), "SetWindowTheme"))
        setTheme(window, L"", L"");
    // uxtheme stays loaded: the window's theme data refers to it.
}

} // namespace

std::wstring ApplicationTitleFromPath(const std::wstring& exePath)
{
    const size_t slash = exePath.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? exePath : exePath.substr(slash + 1);
    const size_t dot = name.find(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    if (name.size() > 1)
        CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return name;
}

LRESULT CALLBACK TApplication::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* application = reinterpret_cast<TApplication*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_ACTIVATE:
        // The zero-sized window carries the taskbar button; when it is activated from there, hand
        // activation on to the window the user sees.
        if (LOWORD(wParam) != WA_INACTIVE) {
            HWND popup = GetLastActivePopup(window);
            if (popup && popup != window && IsWindowEnabled(popup) && IsWindowVisible(popup)) {
                SetActiveWindow(popup);
                return 0;
            }
        }
        break;
    case WM_CLOSE:
        // "Close window" on the taskbar button closes the main window, which ends the program.
        if (application && application->mainWindow_) {
            PostMessageW(application->mainWindow_, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TApplication::TApplication() : title_(ApplicationTitleFromPath(ExecutablePath())) {}

TApplication::~TApplication()
{
    if (tooltip_ && IsWindow(tooltip_))
        DestroyWindow(tooltip_);
    if (handle_ && IsWindow(handle_))
        DestroyWindow(handle_);
}

void TApplication::Initialize(HINSTANCE instance)
{
    com_.emplace();

    // Bound here rather than imported: comctl32 loads further DLLs as it starts, and only now is
    // the search restricted to the system folder. The manifest still selects version 6.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    if (const auto initControls =
            DllFunction<decltype(InitCommonControlsEx)>(LoadSystemDll(L"comctl32.dll"), "InitCommonControlsEx"))
        initControls(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadApplicationIcon(instance, GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = LoadApplicationIcon(instance, GetSystemMetrics(SM_CXSMICON));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EAppError(L"Cannot register the application window class");

    // Zero-sized but visible, in the middle of the screen: it carries the taskbar button and owns
    // the main window, which therefore has no button of its own.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExW(0, kWindowClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                              nullptr, nullptr, instance, this);
    if (!handle_)
        throw EAppError(L"Cannot create the application window");
    ShowWindow(handle_, SW_SHOWNOACTIVATE);

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                               instance, nullptr);
    if (tooltip_) {
        UseClassicLook(tooltip_);
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(kHintInitialMs, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(kHintReshowMs, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kHintAutoPopMs, 0));
        SendMessageW(tooltip_, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
        SendMessageW(tooltip_, TTM_SETTIPTEXTCOLOR, GetSysColor(COLOR_INFOTEXT), 0);
    }
}

int TApplication::Start(const std::function<void()>& startUp)
{
    try {
        startUp();
    } catch (...) {
        HandleException();
        return kStartUpFailedCode;
    }
    return Run();
}

int TApplication::Run()
{
    MSG message;
    // GetMessage gives 0 for WM_QUIT and -1 only for a bad argument, which cannot happen here.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move between the main window's controls.
        if (mainWindow_ && IsWindow(mainWindow_) && IsDialogMessageW(mainWindow_, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    terminated_ = true;
    return 0;
}

void TApplication::Terminate()
{
    terminated_ = true;
    PostQuitMessage(0);
}

void TApplication::ShowMessage(const std::wstring& text)
{
    ModalScope modal(handle_);
    boxes_->Show(TBoxKind::Message, handle_, title_, text);
}

void TApplication::HandleException() noexcept
{
    try {
        ShowErrorText(CurrentExceptionText());
    } catch (...) {
        // Building the report failed (no memory, or a test's box threw): a bare box still says
        // that something went wrong rather than dropping it.
        MessageBoxW(nullptr, L"Unknown error", nullptr, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
}

void TApplication::ShowErrorText(const std::wstring& text)
{
    report_.Show(text);
}

void TApplication::ShowErrorBox(const std::wstring& text)
{
    ModalScope modal(handle_);
    boxes_->Show(TBoxKind::Error, handle_, title_, text);
}

void TApplication::ShowDeviceError(HWND owner, const std::wstring& text)
{
    boxes_->Show(TBoxKind::DeviceError, owner, kDeviceErrorCaption, text);
}

void TApplication::AddHint(HWND control, const std::wstring& text)
{
    if (!tooltip_ || !control)
        return;
    TTTOOLINFOW tool{};
    // The pre-v6 size: accepted by every comctl32, with or without the manifest.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<LPWSTR>(text.c_str()); // copied by the tooltip
    // A hint that cannot be added only costs the hint; it is not worth an error box.
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}
