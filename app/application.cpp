#include "app/application.h"

#include <commctrl.h>
#include <objbase.h>
#include <uxtheme.h>

#include <algorithm>
#include <cwchar>
#include <exception>

#include "platform/error.h"
#include "platform/system_dll.h"

TApplication* Application = nullptr;

namespace {

constexpr wchar_t kWindowClass[] = L"TApplication";
constexpr wchar_t kUnknownErrorText[] = L"Unknown error";
// Errors that pile up behind an open report are kept up to this many distinct texts; the rest are
// only counted, so a device failing on every notification cannot eat the memory.
constexpr size_t kMaxPendingErrors = 16;

constexpr UINT kHintInitialMs = 500;
constexpr UINT kHintReshowMs = 0;
constexpr UINT kHintAutoPopMs = 2500;

constexpr int kMessageTextId = 100;

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

std::wstring Widen(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    // what() texts are mostly ASCII; take UTF-8 when it is valid, the ANSI code page otherwise.
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length == 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    }
    if (length <= 1)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::wstring CurrentExceptionText()
{
    if (!std::current_exception())
        return kUnknownErrorText;
    try {
        throw;
    } catch (const EAppError& error) {
        return error.Message();
    } catch (const std::exception& error) {
        std::wstring text = Widen(error.what());
        return text.empty() ? std::wstring(kUnknownErrorText) : text;
    } catch (...) {
        return kUnknownErrorText;
    }
}

std::wstring RepeatedText(const std::wstring& text, int count)
{
    std::wstring shown = WithFullStop(text);
    if (count > 1)
        shown += L" (" + std::to_wstring(count) + L" times)";
    return shown;
}

// ---- The plain message: an in-memory dialog laid out when it opens ------------------------------

struct MessageDialogData {
    const std::wstring* text;
};

void AppendWord(std::vector<WORD>& out, WORD value) { out.push_back(value); }

void AppendString(std::vector<WORD>& out, const wchar_t* text)
{
    for (; *text; ++text)
        out.push_back(static_cast<WORD>(*text));
    out.push_back(0);
}

void AlignDword(std::vector<WORD>& out)
{
    if (out.size() % 2)
        out.push_back(0);
}

void AppendItem(std::vector<WORD>& out, DWORD style, WORD id, WORD classAtom, const wchar_t* text)
{
    AlignDword(out);
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.id = id;
    // Positions are set in WM_INITDIALOG, once the text has been measured.
    const WORD* raw = reinterpret_cast<const WORD*>(&item);
    out.insert(out.end(), raw, raw + sizeof(item) / sizeof(WORD));
    AppendWord(out, 0xFFFF);
    AppendWord(out, classAtom);
    AppendString(out, text);
    AppendWord(out, 0); // no creation data
}

std::vector<WORD> MessageDialogTemplate(const std::wstring& title)
{
    std::vector<WORD> out;
    DLGTEMPLATE dialog{};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
    dialog.cdit = 2;
    const WORD* raw = reinterpret_cast<const WORD*>(&dialog);
    out.insert(out.end(), raw, raw + sizeof(dialog) / sizeof(WORD));
    AppendWord(out, 0); // no menu
    AppendWord(out, 0); // the standard dialog class
    AppendString(out, title.c_str());
    AppendWord(out, 8);
    AppendString(out, L"MS Shell Dlg");
    // SS_EDITCONTROL breaks words longer than a line instead of clipping them.
    AppendItem(out, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kMessageTextId, 0x0082, L"");
    AppendItem(out, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 0x0080, L"OK");
    return out;
}

void LayoutMessageDialog(HWND dialog, const std::wstring& text)
{
    HWND label = GetDlgItem(dialog, kMessageTextId);
    HWND button = GetDlgItem(dialog, IDOK);
    SetWindowTextW(label, text.c_str());

    RECT units{7, 7, 50, 14}; // margin, margin, button width, button height
    MapDialogRect(dialog, &units);
    const int margin = units.left;
    const int buttonWidth = units.right;
    const int buttonHeight = units.bottom;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    RECT textRect{0, 0, std::max(screenWidth / 2, 1), 0};
    if (HDC dc = GetDC(label)) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
    }
    const int textWidth = std::min<int>(textRect.right - textRect.left, screenWidth / 2);
    const int textHeight = textRect.bottom - textRect.top;

    const int clientWidth = std::max(textWidth, buttonWidth) + 2 * margin;
    const int clientHeight = margin + textHeight + margin + buttonHeight + margin;
    MoveWindow(label, margin, margin, textWidth, textHeight, FALSE);
    MoveWindow(button, (clientWidth - buttonWidth) / 2, margin + textHeight + margin, buttonWidth, buttonHeight,
               FALSE);

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        LayoutMessageDialog(dialog, *reinterpret_cast<MessageDialogData*>(lParam)->text);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE; // focus set here
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
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
        if (Application && Application->Handle() == window && Application->MainWindow()) {
            PostMessageW(Application->MainWindow(), WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
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

std::wstring WithFullStop(const std::wstring& text)
{
    if (!text.empty() && text.back() > L'.')
        return text + L'.';
    return text;
}

void AddListItem(HWND list, bool comboBox, const std::wstring& text)
{
    const LRESULT index = SendMessageW(list, comboBox ? CB_ADDSTRING : LB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(text.c_str()));
    // CB_ERR/LB_ERR (-1) and CB_ERRSPACE/LB_ERRSPACE (-2).
    if (index < 0)
        throw EAppError(L"Unable to insert a line");
}

ModalScope::ModalScope(HWND boxOwner) : boxOwner_(boxOwner), previous_(GetActiveWindow())
{
    EnumThreadWindows(GetCurrentThreadId(), &ModalScope::Disable, reinterpret_cast<LPARAM>(this));
}

ModalScope::~ModalScope()
{
    for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
        if (IsWindow(*it))
            EnableWindow(*it, TRUE);
    if (previous_ && IsWindow(previous_))
        SetActiveWindow(previous_);
}

BOOL CALLBACK ModalScope::Disable(HWND window, LPARAM self)
{
    // Hidden windows (the tooltip, message-only helpers) are left alone; the box's owner is
    // disabled by the box itself.
    auto* scope = reinterpret_cast<ModalScope*>(self);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && window != scope->boxOwner_) {
        EnableWindow(window, FALSE);
        scope->disabled_.push_back(window);
    }
    return TRUE;
}

TApplication::TApplication() : title_(ApplicationTitleFromPath(ExecutablePath())) {}

TApplication::~TApplication()
{
    if (tooltip_ && IsWindow(tooltip_))
        DestroyWindow(tooltip_);
    if (handle_ && IsWindow(handle_))
        DestroyWindow(handle_);
    if (comInitialized_)
        CoUninitialize();
}

void TApplication::Initialize(HINSTANCE instance)
{
    instance_ = instance;
    // The save dialog is a COM object and needs a single-threaded apartment on the window's thread.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));

    // Bound here rather than imported: comctl32 loads further DLLs as it starts, and only now is
    // the search restricted to the system folder. The manifest still selects version 6.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    if (const auto initControls =
            DllFunction<decltype(InitCommonControlsEx)>(LoadSystemDll(L"comctl32.dll"), "InitCommonControlsEx"))
        initControls(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ApplicationWindowProc;
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
                              nullptr, nullptr, instance, nullptr);
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
    if (MessageBoxHook) {
        MessageBoxHook(text);
        return;
    }
    const std::vector<WORD> dialog = MessageDialogTemplate(title_);
    MessageDialogData data{&text};
    const INT_PTR result =
        DialogBoxIndirectParamW(instance_ ? instance_ : GetModuleHandleW(nullptr),
                                reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), handle_, MessageDialogProc,
                                reinterpret_cast<LPARAM>(&data));
    if (result == -1)
        throw EAppError(L"Cannot show the message: " + text);
}

void TApplication::HandleException() noexcept
{
    try {
        ShowErrorText(CurrentExceptionText());
    } catch (...) {
        // Building the report failed (no memory, or a test hook threw): a bare box still says
        // that something went wrong rather than dropping it.
        MessageBoxW(nullptr, kUnknownErrorText, nullptr, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
}

void TApplication::ShowErrorText(const std::wstring& text)
{
    // A report box runs its own message loop, and device notifications handled in it can fail again.
    // Opening a box per failure would stack them without limit; they wait here instead.
    if (reporting_) {
        if (!pending_.empty() && pending_.back().text == text)
            ++pending_.back().count;
        else if (pending_.size() < kMaxPendingErrors)
            pending_.push_back({text, 1});
        else
            ++overflow_;
        return;
    }

    struct Reporting {
        bool& flag;
        explicit Reporting(bool& f) : flag(f) { flag = true; }
        ~Reporting() { flag = false; }
    } reporting(reporting_);

    ShowErrorBox(WithFullStop(text));
    while (!pending_.empty() || overflow_ > 0) {
        if (!pending_.empty()) {
            const PendingError next = pending_.front();
            pending_.erase(pending_.begin());
            ShowErrorBox(RepeatedText(next.text, next.count));
        } else {
            const int count = overflow_;
            overflow_ = 0;
            ShowErrorBox(std::to_wstring(count) + (count == 1 ? L" further error was" : L" further errors were") +
                         L" not shown.");
        }
    }
}

void TApplication::ShowErrorBox(const std::wstring& text)
{
    ModalScope modal(handle_);
    if (ErrorBoxHook) {
        ErrorBoxHook(text);
        return;
    }
    MessageBoxW(handle_, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
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
