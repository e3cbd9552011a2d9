// The application frame: title, "." rule, error report (one box at a time), message loop, plain
// message, hints and list insertion.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/application.h"
#include "platform/error.h"
#include "tests/test_support.h"
#include "ui/device_list.h"
#include "ui/unit_main.h"

namespace {

TEST(ApplicationTitle, ComesFromTheExecutableName)
{
    const struct {
        const wchar_t* path;
        const wchar_t* title;
    } cases[] = {
        {L"C:\\Program Files\\Recorder\\Recorder.exe", L"Recorder"},
        {L"Recorder.exe", L"Recorder"},
        {L"D:\\tools\\my.rec.tool.exe", L"my"}, // the first character keeps its case
        {L"C:\\LOUD.EXE", L"Loud"},
        {L"C:\\bin\\recorder", L"recorder"},
        {L"C:\\bin\\MixedCase.Exe", L"Mixedcase"},
        {L"C:\\dotted.dir\\NoDot", L"Nodot"},
        {L"/opt/app/ЗАПИСЬ.exe", L"Запись"},
        {L"x.exe", L"x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ApplicationTitleFromPath(c.path), c.title) << "path " << testing::PrintToString(std::wstring(c.path));
}

TEST(ErrorText, FullStopIsAddedOnlyAfterCharactersSortingAfterIt)
{
    const struct {
        const wchar_t* text;
        const wchar_t* shown;
    } cases[] = {
        {L"Disk full", L"Disk full."},
        {L"I/O error 32", L"I/O error 32."},
        {L"Already a sentence.", L"Already a sentence."},
        {L"ends in a space ", L"ends in a space "},
        {L"Stop!", L"Stop!"},
        {L"dash-", L"dash-"},   // 0x2D sorts before "."
        {L"slash/", L"slash/."}, // 0x2F sorts after it
        {L"Ошибка", L"Ошибка."},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithFullStop(c.text), c.shown) << testing::PrintToString(std::wstring(c.text));
}

// One application object for the suite. It lives until the process ends: under the bench's X
// server every hidden or destroyed visible window costs two seconds, and ctest runs every test in a
// process of its own.
TApplication& SuiteApplication()
{
    static TApplication* application = [] {
        auto* made = new TApplication;
        made->Initialize(GetModuleHandleW(nullptr));
        return made;
    }();
    return *application;
}

// The running application object with the system boxes replaced by recorders.
class Frame : public testing::Test {
protected:
    void SetUp() override
    {
        app_.SetBoxes(boxes_);
        boxes_.onShow = [this](TBoxKind, const std::wstring& text) { shown_.push_back(text); };
    }
    void TearDown() override
    {
        // Drop a quit request a test may have left, so it cannot end the next test's loop.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        app_.SetBoxes(SystemBoxes());
    }

    template <typename Throw>
    void FailInHandler(Throw thrower)
    {
        Guarded(app_, [&] { thrower(); });
    }

    TApplication& app_ = SuiteApplication();
    test_support::TestBoxes boxes_;
    std::vector<std::wstring> shown_;
};

TEST_F(Frame, ApplicationWindowCarriesTheTitleAndHasNoSize)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(app_.Title(), ApplicationTitleFromPath(path));

    const HWND window = app_.Handle();
    ASSERT_TRUE(IsWindow(window));
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    EXPECT_EQ(app_.Title(), text);
    EXPECT_TRUE(IsWindowVisible(window)) << "the taskbar button needs a visible window";
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
}

TEST_F(Frame, EscapedErrorsAreShownWithTheirText)
{
    FailInHandler([] { throw EInOutError(kIoDiskFull); });
    FailInHandler([] { throw EInOutError(32); });
    FailInHandler([] { throw EAppError(L"Unable to insert a line"); });
    FailInHandler([] { throw std::runtime_error("bad thing happened!"); });
    FailInHandler([] { throw std::bad_alloc(); });
    FailInHandler([] { throw 42; });
    const std::vector<std::wstring> expected = {
        L"Disk full.", L"I/O error 32.", L"Unable to insert a line.", L"bad thing happened!",
        WithFullStop(L"std::bad_alloc"), L"Unknown error.",
    };
    EXPECT_EQ(shown_, expected);
}

TEST_F(Frame, OtherWindowsAreDisabledWhileTheReportIsUpAndActivationComesBack)
{
    const HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                      app_.Handle(), nullptr, nullptr, nullptr);
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 10, 200,
                                       100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main && other);
    SetActiveWindow(main);
    ASSERT_EQ(GetActiveWindow(), main);

    bool mainEnabled = true, otherEnabled = true;
    boxes_.onShow = [&](TBoxKind, const std::wstring&) {
        mainEnabled = IsWindowEnabled(main);
        otherEnabled = IsWindowEnabled(other);
        EnableWindow(app_.Handle(), TRUE);
        SetActiveWindow(app_.Handle()); // as a real box would take activation
    };
    FailInHandler([] { throw EInOutError(kIoDiskFull); });

    EXPECT_FALSE(mainEnabled);
    EXPECT_FALSE(otherEnabled);
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_EQ(GetActiveWindow(), main);
    DestroyWindow(other);
    DestroyWindow(main);
}

TEST_F(Frame, ErrorsDuringAReportWaitAndAreMergedInsteadOfNesting)
{
    int depth = 0, deepest = 0;
    std::vector<std::wstring> shown;
    boxes_.onShow = [&](TBoxKind, const std::wstring& text) {
        ++depth;
        deepest = std::max(deepest, depth);
        shown.push_back(text);
        if (text == L"First.") {
            // The box's own loop delivers notifications that fail again.
            for (int i = 0; i < 3; ++i)
                FailInHandler([] { throw EInOutError(kIoDiskFull); });
            FailInHandler([] { throw EAppError(L"File access denied"); });
            FailInHandler([] { throw EInOutError(kIoDiskFull); });
        } else if (shown.size() == 2 && text != L"Again.") {
            // A failure while a waiting error is shown waits too.
            FailInHandler([] { throw EAppError(L"Late"); });
        }
        --depth;
    };
    FailInHandler([] { throw EAppError(L"First"); });

    EXPECT_EQ(deepest, 1) << "a report box opened on top of another";
    const std::vector<std::wstring> expected = {
        L"First.", L"Disk full. (3 times)", L"File access denied.", L"Disk full.", L"Late.",
    };
    EXPECT_EQ(shown, expected);

    // The next failure opens a box of its own again.
    shown.clear();
    FailInHandler([] { throw EAppError(L"Again"); });
    EXPECT_EQ(shown, std::vector<std::wstring>{L"Again."});
}

TEST_F(Frame, WaitingErrorsAreBoundedButCounted)
{
    std::vector<std::wstring> shown;
    boxes_.onShow = [&](TBoxKind, const std::wstring& text) {
        shown.push_back(text);
        if (shown.size() == 1)
            for (int i = 0; i < 1000; ++i)
                FailInHandler([i] { throw EInOutError(1000 + i); });
    };
    FailInHandler([] { throw EAppError(L"First"); });

    ASSERT_GE(shown.size(), 3u);
    EXPECT_LE(shown.size(), 40u) << "one box per waiting error would not be bounded";
    EXPECT_EQ(shown[1], L"I/O error 1000.");
    const int waitingShown = static_cast<int>(shown.size()) - 2;
    EXPECT_EQ(shown.back(), std::to_wstring(1000 - waitingShown) + L" further errors were not shown.");
}

LRESULT CALLBACK ThrowingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* log = reinterpret_cast<std::vector<std::wstring>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_APP) {
        Guarded(SuiteApplication(), [&] {
            log->push_back(L"before");
            throw EInOutError(kIoDiskFull);
            log->push_back(L"after"); // NOLINT: skipped by the error
        });
        return 0;
    }
    if (message == WM_APP + 1) {
        Guarded(SuiteApplication(), [&] { throw 7; });
        return 0;
    }
    if (message == WM_APP + 2) {
        Guarded(SuiteApplication(), [&] {
            log->push_back(L"went on");
            SuiteApplication().Terminate();
            log->push_back(L"handler finished");
        });
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Frame, LoopGoesOnAfterAHandlerFailsAndEndsOnTerminate)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ThrowingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FrameTestThrowing";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, app_.Handle(),
                                        nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    std::vector<std::wstring> log;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));

    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP + 1, 0, 0);
    PostMessageW(window, WM_APP + 2, 0, 0);
    // Should the loop not end, this stops the test rather than hanging it, and fails it.
    static bool timedOut;
    timedOut = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR, DWORD) {
        timedOut = true;
        PostQuitMessage(99);
    });

    const int code = app_.Run();
    KillTimer(nullptr, timer);
    EXPECT_FALSE(timedOut) << "Terminate did not end the loop";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(app_.Terminated());
    EXPECT_EQ(log, (std::vector<std::wstring>{L"before", L"went on", L"handler finished"}));
    EXPECT_EQ(shown_, (std::vector<std::wstring>{L"Disk full.", L"Unknown error."}));
    DestroyWindow(window);
}

TEST_F(Frame, TerminateBeforeRunEndsTheLoopAtOnce)
{
    app_.Terminate();
    const DWORD start = GetTickCount();
    EXPECT_EQ(app_.Run(), 0);
    EXPECT_LT(GetTickCount() - start, 2000u);
}

// Looks at the plain message while it is up, then closes it with a key.
struct MessageProbe {
    WORD key = VK_ESCAPE;
    int ticks = 0;
    bool seen = false;
    std::wstring caption, buttonText, labelText;
    int buttons = 0, icons = 0;
    LRESULT defaultId = 0;
    RECT window{}, label{};
};
MessageProbe* probe = nullptr;

BOOL CALLBACK CountChild(HWND child, LPARAM)
{
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (lstrcmpiW(className, L"Button") == 0) {
        ++probe->buttons;
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        probe->buttonText = text;
    } else if (lstrcmpiW(className, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON)
            ++probe->icons;
        else {
            std::wstring text(4096, L'\0');
            text.resize(GetWindowTextW(child, text.data(), 4096));
            probe->labelText = text;
            GetWindowRect(child, &probe->label);
        }
    }
    return TRUE;
}

void CALLBACK InspectMessage(HWND, UINT, UINT_PTR, DWORD)
{
    if (++probe->ticks > 100) { // give up after ~5 s: close whatever is up
        if (HWND box = GetActiveWindow())
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box || probe->seen)
        return;
    probe->seen = true;
    wchar_t caption[256] = {};
    GetWindowTextW(box, caption, 256);
    probe->caption = caption;
    GetWindowRect(box, &probe->window);
    probe->defaultId = LOWORD(SendMessageW(box, DM_GETDEFID, 0, 0));
    EnumChildWindows(box, CountChild, 0);
    // The key goes to the focused button, through the dialog's own key handling.
    HWND focus = GetFocus();
    PostMessageW(focus ? focus : box, WM_KEYDOWN, probe->key, 0);
    PostMessageW(focus ? focus : box, WM_KEYUP, probe->key, 0xC0000000);
}

TEST_F(Frame, PlainMessageIsCentredWrappedWithOneDefaultAndCancelButton)
{
    std::wstring text;
    for (int i = 0; i < 60; ++i)
        text += L"Сначало укажите атрибуты звука ! ";
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    app_.SetBoxes(SystemBoxes());

    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        MessageProbe seen;
        seen.key = key;
        probe = &seen;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, InspectMessage);
        app_.ShowMessage(text);
        KillTimer(nullptr, timer);
        probe = nullptr;

        SCOPED_TRACE(key == VK_ESCAPE ? "closed with Esc" : "closed with Enter");
        ASSERT_TRUE(seen.seen) << "no dialog came up";
        EXPECT_LE(seen.ticks, 100) << "the key did not close the dialog";
        EXPECT_EQ(seen.caption, app_.Title());
        EXPECT_EQ(seen.buttons, 1);
        EXPECT_EQ(seen.buttonText, L"OK");
        EXPECT_EQ(seen.defaultId, IDOK);
        EXPECT_EQ(seen.icons, 0);
        EXPECT_EQ(seen.labelText, text);
        const int labelWidth = seen.label.right - seen.label.left;
        EXPECT_LE(labelWidth, screenWidth / 2);
        EXPECT_GT(labelWidth, screenWidth / 4) << "long text should fill the wrap width";
        EXPECT_GT(seen.label.bottom - seen.label.top, 60) << "long text should wrap onto several lines";
        EXPECT_NEAR((seen.window.left + seen.window.right) / 2, screenWidth / 2, 1);
        EXPECT_NEAR((seen.window.top + seen.window.bottom) / 2, screenHeight / 2, 1);
    }
}

// Watches the system's error boxes while they are up, then closes them.
struct ErrorBoxProbe {
    struct Box {
        std::wstring caption, text;
        HWND owner;
        int icons;
        HICON icon;
    };
    std::vector<Box> boxes;
    std::vector<HWND> handles;
    int ticks = 0;
};
ErrorBoxProbe* errorProbe = nullptr;

void CALLBACK WatchErrorBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    std::vector<HWND> up;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0)
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&up));
    if (++errorProbe->ticks > 200) { // ~10 s: close whatever is up so the test ends
        for (HWND box : up)
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
    }
    for (HWND box : up) {
        if (std::find(errorProbe->handles.begin(), errorProbe->handles.end(), box) != errorProbe->handles.end())
            continue;
        errorProbe->handles.push_back(box);
        ErrorBoxProbe::Box seen{};
        wchar_t text[256] = {};
        GetWindowTextW(box, text, 256);
        seen.caption = text;
        seen.owner = GetWindow(box, GW_OWNER);
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t className[16] = {};
            GetClassNameW(child, className, 16);
            if (lstrcmpiW(className, L"Static") != 0)
                continue;
            if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                if ((seen.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0))))
                    ++seen.icons;
            } else if (GetWindowTextW(child, text, 256) > 0) {
                seen.text = text;
            }
        }
        errorProbe->boxes.push_back(seen);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

TEST_F(Frame, SystemErrorBoxIsOwnedByTheApplicationWindowWithTheStopIcon)
{
    app_.SetBoxes(SystemBoxes());
    ErrorBoxProbe probe;
    errorProbe = &probe;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, WatchErrorBoxes);
    Guarded(app_, [] { throw EAppError(L"File access denied"); });
    KillTimer(nullptr, timer);
    errorProbe = nullptr;

    EXPECT_LE(probe.ticks, 200) << "the box did not close";
    ASSERT_EQ(probe.boxes.size(), 1u);
    const auto& box = probe.boxes[0];
    EXPECT_EQ(box.text, L"File access denied.");
    EXPECT_EQ(box.caption, app_.Title());
    EXPECT_EQ(box.owner, app_.Handle());
    EXPECT_EQ(box.icons, 1);
    EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_HAND)) << "not the stop icon";
}

TEST_F(Frame, PlainMessageHookSeesTheTextWithOtherWindowsDisabled)
{
    const HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                      app_.Handle(), nullptr, nullptr, nullptr);
    std::wstring seen;
    bool enabledDuring = true;
    boxes_.onShow = [&](TBoxKind, const std::wstring& text) {
        seen = text;
        enabledDuring = IsWindowEnabled(main);
    };
    app_.ShowMessage(L"Сначало укажите атрибуты звука !");
    EXPECT_EQ(seen, L"Сначало укажите атрибуты звука !");
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(IsWindowEnabled(main));
    DestroyWindow(main);
}

TEST_F(Frame, HintsUseTheTimingsAndTheTooltipColours)
{
    const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, app_.Handle(),
                                        nullptr, nullptr, nullptr);
    const HWND label = CreateWindowExW(0, L"STATIC", L"0 байт", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 8, 8, 48, 16,
                                       parent, nullptr, nullptr, nullptr);
    app_.AddHint(label, L"Размер записанных аудиоданных");

    HWND tooltip = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (lstrcmpiW(className, TOOLTIPS_CLASSW) == 0)
                *reinterpret_cast<HWND*>(found) = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tooltip));
    ASSERT_TRUE(tooltip);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETDELAYTIME, TTDT_RESHOW, 0), 0);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 2500);
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tooltip, TTM_GETTIPBKCOLOR, 0, 0)), GetSysColor(COLOR_INFOBK));
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tooltip, TTM_GETTIPTEXTCOLOR, 0, 0)),
              GetSysColor(COLOR_INFOTEXT));

    wchar_t text[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    tool.lpszText = text;
    ASSERT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    ASSERT_TRUE(SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS));
    SendMessageW(tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, L"Размер записанных аудиоданных");
    DestroyWindow(parent);
}

// A list that refuses every item, as one out of memory does.
WNDPROC listProc = nullptr;
LRESULT CALLBACK RefusingList(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING)
        return LB_ERRSPACE;
    if (message == CB_ADDSTRING)
        return CB_ERR;
    return CallWindowProcW(listProc, window, message, wParam, lParam);
}

TEST_F(Frame, AListThatRefusesAnItemRaisesUnableToInsertALine)
{
    const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr,
                                        nullptr);
    for (const bool comboBox : {false, true}) {
        SCOPED_TRACE(comboBox ? "combo box" : "list box");
        const HWND list = CreateWindowExW(0, comboBox ? WC_COMBOBOXW : WC_LISTBOXW, L"",
                                          WS_CHILD | (comboBox ? CBS_DROPDOWNLIST : 0), 0, 0, 100, 100, parent,
                                          nullptr, nullptr, nullptr);
        ASSERT_TRUE(list);
        AddListItem(list, comboBox, L"11.025 кГц, моно, 8-бит");
        AddListItem(list, comboBox, L"Rec Mic Ж");
        EXPECT_EQ(SendMessageW(list, comboBox ? CB_GETCOUNT : LB_GETCOUNT, 0, 0), 2);

        listProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefusingList)));
        try {
            AddListItem(list, comboBox, L"one too many");
            ADD_FAILURE() << "no error raised";
        } catch (const EAppError& error) {
            EXPECT_EQ(error.Message(), L"Unable to insert a line");
        }
        DestroyWindow(list);
    }
    DestroyWindow(parent);
}

// A failure before the message loop is shown, and the program ends with a non-zero code instead
// of running the loop. Here the main window cannot be created: a class of its name refuses it.
TEST_F(Frame, StartUpFailureIsShownAndEndsWithANonZeroCode)
{
    WNDCLASSW refusing{};
    refusing.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wParam, lParam);
    };
    refusing.hInstance = GetModuleHandleW(nullptr);
    refusing.lpszClassName = L"TForm1";
    ASSERT_TRUE(RegisterClassW(&refusing));
    TForm1 form(app_);
    bool shown = false;
    const int code = app_.Start([&] {
        form.Create();
        form.Show();
        shown = true;
    });
    EXPECT_NE(code, 0);
    EXPECT_FALSE(shown);
    EXPECT_EQ(shown_, std::vector<std::wstring>{L"Cannot create the main window."});
}

} // namespace
