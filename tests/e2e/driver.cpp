// Works the recorder's window from outside, as a person does: picks a device and a format with the
// notifications a click or an arrow key produces, clicks the buttons, fills in or cancels the save
// dialog, answers the message boxes, and reads back the label, the lists and the buttons.
//
//   e2e_driver record EXE DEVICE ROW FILE BUFFERS [--close] [--corner]
//       records from the device named DEVICE in format row ROW into FILE until BUFFERS buffers came
//       back, then clicks Stop (or, with --close, closes the window mid-recording); prints RESULT json;
//       with --corner, the window is moved to the screen's corner once recording (for a screenshot)
//   e2e_driver window EXE DEVICE FILE
//       checks texts, geometry, the buttons and the label through the states of the window
//   e2e_driver device-error EXE DEVICE ROW FILE
//       prints LISTED once the lists are filled, waits for a line on standard input (the caller
//       removes the device meanwhile), then records and answers the error box; prints RESULT json
//
//   e2e_driver level EXE DEVICE ROW FILE SECONDS [TEXT]
//       records for SECONDS after the first buffer; prints LEVEL once the level meter reads TEXT
//       (the caller takes a screenshot); keeps each message box up for 2 s, so the recording is seen
//       to go on beneath it, then answers it; clicks Stop; prints RESULT json with the meter's texts
//       and its bars as they were seen on the screen, and when the meter's timer and the probe's
//       50 ms one beside it ran in the recorder
//
//   e2e_driver show EXE LABEL_LOG
//       prints SHOWN and the window's rectangle once its lists are filled and the first format is
//       chosen, waits for a line on standard input (the caller takes a screenshot), closes the window
//
//   e2e_driver fault ...     the fault scenarios of faults.cpp (see there)
//
// Paths are Windows paths. The label's and the level meter's texts are logged in order by
// label_probe.dll.
#include <algorithm>

#include "platform/guards.h"
#include "window_driver.h"

namespace {

using namespace e2e;

// ---- scenarios --------------------------------------------------------------------------------

int Record(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, int buffers,
           bool closeWindow, bool corner)
{
    Recorder recorder(exe, fileName + L".labels");
    JsonObject result;
    recorder.Choose(device, row);
    result.Add("buttons_shown", Buttons(recorder).Str());

    recorder.StartRecording(fileName);
    const DWORD accepted = GetTickCount();
    result.Add("buttons_recording", Buttons(recorder).Str());

    const DWORD origin = recorder.LabelLog().back().tick; // the probe's own check entry
    recorder.WaitForBuffers(1);
    if (corner)
        recorder.MoveToCorner();
    RECT window{};
    GetWindowRect(recorder.Form(), &window);
    Say("RECORDING " + JsonRect(window));
    recorder.WaitForBuffers(buffers);
    Sleep(200); // the last buffer then holds a part only
    result.Add("buttons_before_stop", Buttons(recorder).Str());

    const DWORD stopped = GetTickCount();
    if (closeWindow) {
        result.Add("exit_code", static_cast<long long>(recorder.CloseWindow()));
    } else {
        recorder.Click(recorder.StopButton());
        if (!WaitFor([&] { return FileCompleted(fileName); }, 10000))
            Fail("the file was not completed within 10 s of Stop");
        const DWORD completed = GetTickCount();
        Sleep(300); // any text set after the close notification shows up in the log
        result.Add("buttons_stopped", Buttons(recorder).Str());
        result.AddText("label_final", TextOf(recorder.Label()));
        // An error report or a device error box would have come up by now.
        const HWND box = FindTopWindow(recorder.Pid(), L"#32770", nullptr);
        result.AddText("box_up", box ? BoxText(box) : L"");
        result.Add("completed_ms", static_cast<long long>(completed - stopped));
        result.Add("exit_code", static_cast<long long>(recorder.CloseWindow()));
    }
    result.Add("labels", JsonLabelLog(recorder.LabelLog(), origin));
    result.Add("accepted_ms", static_cast<long long>(static_cast<long>(accepted - origin)));
    result.Add("stop_ms", static_cast<long long>(static_cast<long>(stopped - origin)));
    Say("RESULT " + result.Str());
    return 0;
}

// How far each of the level meter's bars is filled, in pixels, as the screen shows it: the pixels
// of the highlight colour (or the full-scale red) across a row a quarter and three quarters down.
std::pair<int, int> ScreenBars(HWND meter)
{
    RECT r{};
    GetWindowRect(meter, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const WindowDc screen(nullptr);
    const MemoryDc memory(CreateCompatibleDC(screen.Get()));
    const GdiObject<HBITMAP> bitmap(CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap)
        Fail("cannot make a bitmap for the meter's pixels");
    const SelectedObject selected(memory.Get(), bitmap.Get());
    BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), r.left, r.top, SRCCOPY);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    auto filled = [&](int y) {
        int n = 0;
        for (int x = 0; x < width; ++x) {
            const DWORD p = static_cast<const DWORD*>(bits)[y * width + x]; // 0x00RRGGBB
            const COLORREF c = RGB(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
            n += c == highlight || c == RGB(255, 0, 0);
        }
        return n;
    };
    return {filled(height / 4), filled(height * 3 / 4)};
}

int Level(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, int seconds,
          const std::wstring& awaited)
{
    const std::wstring meterLog = fileName + L".meter";
    DeleteFileW(meterLog.c_str());
    SetEnvironmentVariableW(L"RECORDER_E2E_METER_LOG", meterLog.c_str()); // inherited by the recorder
    const std::wstring timerLog = fileName + L".timer";
    DeleteFileW(timerLog.c_str());
    SetEnvironmentVariableW(L"RECORDER_E2E_TIMER_LOG", timerLog.c_str());
    Recorder recorder(exe, fileName + L".labels");
    const HWND meter = recorder.Control(kLevelMeter1Id);
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    const DWORD origin = recorder.LabelLog().back().tick;
    recorder.WaitForBuffers(1);
    recorder.MoveToCorner(); // its pixels are read off the screen
    RECT window{};
    GetWindowRect(recorder.Form(), &window);
    Say("RECORDING " + JsonRect(window));

    std::string boxes = "[";
    std::string bars = "[";
    std::pair<int, int> seen{-1, -1};
    bool announced = awaited.empty();
    for (const DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(seconds) * 1000;) {
        // Every 5 ms, so each drawing is seen; the text, read through the recorder's own thread, less often.
        for (int i = 0; i < 4; ++i, Sleep(5))
            if (const auto now = ScreenBars(meter); now != seen) {
                seen = now;
                bars += (bars.size() > 1 ? ", [" : "[") + std::to_string(GetTickCount() - origin) + ", " +
                        std::to_string(now.first) + ", " + std::to_string(now.second) + "]";
            }
        if (!announced && TextOf(meter) == awaited) {
            announced = true;
            Say("LEVEL " + JsonRect(window));
        }
        if (const HWND box = FindTopWindow(recorder.Pid(), L"#32770", kAppTitle)) {
            JsonObject entry;
            entry.Add("ms", static_cast<long long>(GetTickCount() - origin))
                .AddText("text", BoxText(box))
                .AddText("meter", TextOf(meter))
                .Add("buffers_shown", recorder.BuffersBack());
            Sleep(2000);
            entry.Add("buffers_2s_later", recorder.BuffersBack());
            boxes += (boxes.size() > 1 ? ", " : "") + entry.Str();
            recorder.CloseBox(box);
        }
    }
    if (!announced)
        Fail("the level meter never read " + Utf8(awaited) + ", last " + Utf8(TextOf(meter)));
    // Stopped while minimized, where the meter does not tick, it is empty once restored.
    ShowWindow(recorder.Form(), SW_MINIMIZE);
    recorder.WaitForBuffers(2, recorder.BuffersBack());
    recorder.Click(recorder.StopButton());
    if (!WaitFor([&] { return FileCompleted(fileName); }, 10000))
        Fail("the file was not completed within 10 s of Stop");
    ShowWindow(recorder.Form(), SW_RESTORE);
    Sleep(300);
    const auto finalBars = ScreenBars(meter);
    RECT client{};
    GetClientRect(meter, &client);
    JsonObject result;
    result.Add("boxes", boxes + "]")
        .AddText("meter_final", TextOf(meter))
        .Add("meter_width", static_cast<long long>(client.right))
        .Add("bars_final", std::to_string(finalBars.first + finalBars.second))
        .Add("meter", JsonLabelLog(ReadTextLog(meterLog), origin))
        .Add("bars", bars + "]")
        .Add("timer", JsonLabelLog(ReadTextLog(timerLog), origin))
        .Add("labels", JsonLabelLog(recorder.LabelLog(), origin))
        .Add("exit_code", static_cast<long long>(recorder.CloseWindow()));
    Say("RESULT " + result.Str());
    return 0;
}

int DeviceError(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    Say("LISTED");
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        Fail("no go-ahead on standard input");

    JsonObject result;
    recorder.Click(recorder.RecordButton());
    recorder.AnswerSaveDialog(recorder.WaitForSaveDialog(), &fileName);
    const HWND box = recorder.WaitForBox(L"ОШИБКА!", 15000);
    result.AddText("box_text", BoxText(box));
    result.Add("buttons_box_up", Buttons(recorder).Str());
    result.AddBool("form_enabled_box_up", IsWindowEnabled(recorder.Form()) != FALSE);
    // The texts the platform gives for each result code, to name the one shown.
    std::string known = "{";
    for (UINT code = 1; code < 64; ++code) {
        wchar_t text[256]{};
        if (waveInGetErrorTextW(code, text, 256) == MMSYSERR_NOERROR && text[0])
            known += (known.size() > 1 ? ", \"" : "\"") + std::to_string(code) + "\": " + Json(text);
    }
    result.Add("error_texts", known + "}");
    recorder.CloseBox(box);
    result.Add("exit_code", static_cast<long long>(recorder.WaitForExit(15000)));
    Say("RESULT " + result.Str());
    return 0;
}

int Show(const std::wstring& exe, const std::wstring& labelLog)
{
    Recorder recorder(exe, labelLog);
    SendMessageW(recorder.List(), LB_SETCURSEL, 0, 0);
    RECT window{};
    GetWindowRect(recorder.Form(), &window);
    Say("SHOWN " + JsonRect(window));
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        Fail("no go-ahead on standard input");
    Say("RESULT " + JsonObject().Add("exit_code", static_cast<long long>(recorder.CloseWindow())).Str());
    return 0;
}

// ---- window checks ----------------------------------------------------------------------------

class Checks {
public:
    void Expect(bool ok, const std::string& what, const std::string& detail = {})
    {
        Say((ok ? "ok   " : "FAIL ") + what + (detail.empty() ? "" : "  (" + detail + ")"));
        failures_ += ok ? 0 : 1;
    }
    void Equal(const std::wstring& found, const std::wstring& expected, const std::string& what)
    {
        Expect(found == expected, what, "found " + Json(found) + ", expected " + Json(expected));
    }
    void Equal(long long found, long long expected, const std::string& what)
    {
        Expect(found == expected, what, "found " + std::to_string(found) + ", expected " + std::to_string(expected));
    }
    int Failures() const { return failures_; }

private:
    int failures_ = 0;
};

RECT RectInClient(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND GroupBox(HWND form, const wchar_t* caption)
{
    for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Button" && (GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX &&
            TextOf(child) == caption)
            return child;
    return nullptr;
}

// A value in the recorder's memory, for the messages whose lParam points at one: they are not
// carried between processes.
template <typename Value>
class RemoteValue {
public:
    RemoteValue(HANDLE process, const Value& value)
        : process_(process), address_(VirtualAllocEx(process, nullptr, sizeof(Value), MEM_COMMIT, PAGE_READWRITE))
    {
        if (!address_ || !WriteProcessMemory(process, address_, &value, sizeof(Value), nullptr))
            Fail("cannot place a value in the recorder's memory, error " + std::to_string(GetLastError()));
    }
    ~RemoteValue() { VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }
    RemoteValue(const RemoteValue&) = delete;
    RemoteValue& operator=(const RemoteValue&) = delete;
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    Value Read() const
    {
        Value value{};
        if (!ReadProcessMemory(process_, address_, &value, sizeof(Value), nullptr))
            Fail("cannot read the recorder's memory");
        return value;
    }

private:
    HANDLE process_;
    void* address_;
};

int Window(const std::wstring& exe, const std::wstring& device, const std::wstring& fileName)
{
    Checks check;
    Recorder recorder(exe, fileName + L".labels");
    const HWND form = recorder.Form();

    // Texts, look and geometry at 96 pixels per inch.
    const HDC screen = GetDC(nullptr);
    check.Equal(GetDeviceCaps(screen, LOGPIXELSY), 96, "the screen has 96 pixels per inch");
    ReleaseDC(nullptr, screen);
    check.Equal(TextOf(form), kFormCaption, "window caption");
    RECT client{};
    GetClientRect(form, &client);
    check.Equal(client.right, 193, "client width");
    check.Equal(client.bottom, 241, "client height");
    const LONG style = GetWindowLongW(form, GWL_STYLE);
    check.Expect((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME),
                 "system menu and minimise box, no maximise box, not resizable");
    RECT frame{};
    GetWindowRect(form, &frame);
    const int dx = (frame.left + frame.right) - GetSystemMetrics(SM_CXSCREEN);
    const int dy = (frame.top + frame.bottom) - GetSystemMetrics(SM_CYSCREEN);
    check.Expect(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, "centred on the screen", JsonRect(frame));

    struct Expected {
        HWND control;
        const wchar_t* text;
        RECT box; // left, top, width, height; width 0: not checked
        const char* name;
    };
    const HWND group1 = GroupBox(form, L"Устройства аудиоввода");
    const HWND group2 = GroupBox(form, L"Атрибуты звука");
    check.Expect(group1 && group2, "both group boxes with their captions");
    const Expected controls[] = {
        {group1, L"Устройства аудиоввода", {8, 8, 177, 49}, "GroupBox1"},
        {recorder.Combo(), nullptr, {16, 24, 161, 21}, "ComboBox1"},
        {group2, L"Атрибуты звука", {8, 64, 177, 121}, "GroupBox2"},
        {recorder.List(), nullptr, {16, 80, 161, 97}, "ListBox1"},
        {recorder.RecordButton(), L"Запись", {8, 192, 75, 25}, "BitBtn1"},
        {recorder.StopButton(), L"Стоп", {112, 192, 75, 25}, "BitBtn2"},
        {recorder.Label(), L"0 байт", {8, 221, 0, 0}, "Label1"},
        {recorder.Control(kLevelMeter1Id), L"", {112, 221, 75, 16}, "LevelMeter1"},
    };
    // At `dpi` each place and size is in proportion to pixels per inch over 96.
    const auto laidOut = [&](int dpi, const std::string& when) {
        for (const Expected& c : controls) {
            if (!c.control)
                continue;
            const RECT r = RectInClient(c.control);
            const RECT found{r.left, r.top, c.box.right ? r.right - r.left : 0, c.box.bottom ? r.bottom - r.top : 0};
            const RECT scaled{MulDiv(c.box.left, dpi, 96), MulDiv(c.box.top, dpi, 96), MulDiv(c.box.right, dpi, 96),
                              MulDiv(c.box.bottom, dpi, 96)};
            check.Expect(EqualRect(&found, &scaled), std::string(c.name) + " geometry" + when, "found " + JsonRect(r));
        }
        check.Equal(SendMessageW(recorder.List(), LB_GETITEMHEIGHT, 0, 0), MulDiv(13, dpi, 96),
                    "ListBox1 item height" + when);
    };
    for (const Expected& c : controls)
        if (c.control && c.text)
            check.Equal(TextOf(c.control), c.text, std::string(c.name) + " text");
    laidOut(96, "");
    const LONG comboStyle = GetWindowLongW(recorder.Combo(), GWL_STYLE);
    check.Expect((comboStyle & 3) == CBS_DROPDOWNLIST && !(comboStyle & CBS_SORT), "ComboBox1: drop-down list, unsorted");
    const LONG listStyle = GetWindowLongW(recorder.List(), GWL_STYLE);
    check.Expect(!(listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL)), "ListBox1: single selection, unsorted");
    // ComboBox1's list item height is not checked: Wine keeps the font's for a combo that is not
    // owner-drawn, whatever the program asks.

    // Moved to a monitor of 144 ppi and back, as the system tells a per-monitor window: it asks the
    // size for an exactly scaled client area, takes the suggested rectangle and lays out again.
    const auto adjust = reinterpret_cast<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT wanted{0, 0, 290, 362};
    check.Expect(adjust && adjust(&wanted, style, FALSE, GetWindowLongW(form, GWL_EXSTYLE), 144), "frame at 144 ppi");
    const RemoteValue<SIZE> asked(recorder.Process(), SIZE{});
    SendMessageW(form, 0x02E4 /* WM_GETDPISCALEDSIZE */, 144, asked.Address());
    check.Expect(asked.Read().cx == wanted.right - wanted.left && asked.Read().cy == wanted.bottom - wanted.top,
                 "asked for its size at 144 ppi: a client area of 290 x 362",
                 std::to_string(asked.Read().cx) + " x " + std::to_string(asked.Read().cy));
    const RECT label96 = RectInClient(recorder.Label());
    const auto moveTo = [&](int dpi, const RECT& suggested, const std::string& when) {
        const RemoteValue<RECT> rect(recorder.Process(), suggested);
        SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), rect.Address());
        RECT now{};
        GetWindowRect(form, &now);
        check.Expect(EqualRect(&now, &suggested), "the suggested rectangle taken" + when, "found " + JsonRect(now));
        laidOut(dpi, when);
        return RectInClient(recorder.Label());
    };
    const RECT label144 = moveTo(144, {frame.left + 20, frame.top + 10, frame.left + 20 + asked.Read().cx,
                                       frame.top + 10 + asked.Read().cy}, " at 144 ppi");
    // Label1 fits its text in its font, so its size shows that font was made for the density.
    const double grown = double(label144.bottom - label144.top) / (label96.bottom - label96.top);
    check.Expect(grown >= 1.3 && grown <= 1.7, "Label1's font made again at 144 ppi", "height x" + std::to_string(grown));
    const RECT labelBack = moveTo(96, frame, " back at 96 ppi");
    GetClientRect(form, &client);
    check.Expect(client.right == 193 && client.bottom == 241 && EqualRect(&labelBack, &label96),
                 "back at 96 ppi: client area and Label1 as at start", JsonRect(client) + " " + JsonRect(labelBack));

    // The lists as created: the first device selected, its formats listed, none selected.
    const std::vector<std::wstring> devices = ListItems(recorder.Combo(), true);
    Say("devices " + JsonList(devices));
    check.Expect(devices.size() >= 2, "at least two devices listed");
    check.Expect(std::find(devices.begin(), devices.end(), device) != devices.end(),
                 "the microphone is listed under its whole name", Utf8(device));
    check.Equal(SendMessageW(recorder.Combo(), CB_GETCURSEL, 0, 0), 0, "first device selected at start");
    const std::vector<std::wstring> formats = ListItems(recorder.List(), false);
    check.Equal(static_cast<long long>(formats.size()), 12, "formats of a device that supports all");
    for (size_t i = 0; i < formats.size() && i < 12; ++i)
        check.Equal(formats[i], RecordingFormats[i].Name, "format " + std::to_string(i) + " in table order");
    check.Equal(SendMessageW(recorder.List(), LB_GETCURSEL, 0, 0), LB_ERR, "no format selected at start");

    // label: the expected text, or nullptr where the recording decides it.
    auto states = [&](bool record, bool stop, const wchar_t* label, const std::string& situation) {
        check.Expect(Buttons(recorder).record == record && Buttons(recorder).stop == stop,
                     situation + ": Record " + (record ? "enabled" : "disabled") + ", Stop " + (stop ? "enabled" : "disabled"),
                     "found " + Buttons(recorder).Str());
        if (label)
            check.Equal(TextOf(recorder.Label()), label, situation + ": label");
    };
    states(true, false, L"0 байт", "window shown");

    // Record with no format chosen: the plain message, nothing else changes.
    recorder.Click(recorder.RecordButton());
    HWND box = recorder.WaitForBox(kAppTitle);
    check.Equal(BoxText(box), L"Сначало укажите атрибуты звука !", "message without a format");
    check.Expect(ChildTexts(box, L"Button") == std::vector<std::wstring>{L"OK"}, "the message has one button, OK");
    recorder.CloseBox(box);
    states(true, false, L"0 байт", "Record clicked, no format selected");

    // A format chosen, then another device by arrow key: the format choice is cleared.
    recorder.SelectFormat(5);
    check.Equal(SendMessageW(recorder.List(), LB_GETCURSEL, 0, 0), 5, "format selected by a click");
    PostMessageW(recorder.Combo(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(recorder.Combo(), WM_KEYUP, VK_DOWN, 0xC0000001);
    check.Expect(WaitFor([&] { return SendMessageW(recorder.Combo(), CB_GETCURSEL, 0, 0) == 1; }, 3000),
                 "arrow down selects the second device");
    check.Expect(WaitFor([&] { return SendMessageW(recorder.List(), LB_GETCURSEL, 0, 0) == LB_ERR; }, 3000),
                 "changing the device by arrow key clears the format choice");
    check.Equal(static_cast<long long>(ListItems(recorder.List(), false).size()), 12, "the new device's formats listed");
    recorder.Click(recorder.RecordButton());
    box = recorder.WaitForBox(kAppTitle);
    check.Equal(BoxText(box), L"Сначало укажите атрибуты звука !", "message after the device changed");
    recorder.CloseBox(box);

    // The same by a click in the drop-down list.
    recorder.SelectFormat(2);
    recorder.SelectDevice(device);
    check.Equal(SendMessageW(recorder.List(), LB_GETCURSEL, 0, 0), LB_ERR, "changing the device by click clears the format choice");

    // Cancelling the dialog changes nothing, and no file is made.
    recorder.SelectFormat(0);
    recorder.Click(recorder.RecordButton());
    const HWND dialog = recorder.WaitForSaveDialog();
    const LONG_PTR dialogStyle = GetWindowLongPtrW(dialog, GWL_STYLE);
    check.Expect((dialogStyle & WS_THICKFRAME) != 0, "the save dialog can be resized");
    check.Expect(ClassOf(GetDlgItem(dialog, save_dialog::kItemNameBox)) == L"Edit" &&
                     !GetDlgItem(dialog, save_dialog::kClassicNameBox),
                 "the save dialog is the item dialog");
    check.Equal(ClassOf(GetWindow(dialog, GW_OWNER)), L"TApplication", "the save dialog's owner");
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT placed{};
    GetWindowRect(dialog, &placed);
    const RECT& area = monitor.rcWork;
    const LONG freeWidth = (area.right - area.left) - (placed.right - placed.left);
    const LONG freeHeight = (area.bottom - area.top) - (placed.bottom - placed.top);
    check.Expect(std::abs(placed.left - area.left - freeWidth / 2) <= 1 && std::abs(placed.top - area.top - freeHeight / 3) <= 1,
                 "the save dialog is centred across the monitor, a third of the free height from its top",
                 "found " + JsonRect(placed) + " in " + JsonRect(area));
    check.Equal(TextOf(save_dialog::NameBox(dialog)), L"", "the name box starts empty the first time");
    check.Expect(!IsWindowEnabled(form), "the window is disabled while the dialog is up");
    recorder.AnswerSaveDialog(dialog, nullptr);
    Sleep(200);
    states(true, false, L"0 байт", "dialog cancelled");
    check.Expect(GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES, "no file after a cancel");
    check.Equal(SendMessageW(recorder.List(), LB_GETCURSEL, 0, 0), 0, "the format stays chosen after a cancel");

    // Record, Stop: the buttons swap and swap back; the label counts.
    recorder.Click(recorder.RecordButton());
    recorder.AnswerSaveDialog(recorder.WaitForSaveDialog(), &fileName);
    check.Expect(WaitFor([&] { return !Buttons(recorder).record && Buttons(recorder).stop; }, 5000),
                 "file accepted: Record disabled, Stop enabled");
    check.Expect(WaitFor([&] { return TextOf(recorder.Label()) != L"0 байт"; }, 8000), "recording: the label counts");
    states(false, true, nullptr, "recording");
    recorder.Click(recorder.StopButton());
    check.Expect(WaitFor([&] { return FileCompleted(fileName); }, 10000), "Stop completes the file");
    states(true, false, nullptr, "after Stop");

    // The name box offers the last accepted name; a cancel keeps it.
    recorder.Click(recorder.RecordButton());
    HWND again = recorder.WaitForSaveDialog();
    const std::wstring offered = TextOf(save_dialog::NameBox(again));
    const std::wstring baseName = fileName.substr(fileName.find_last_of(L"\\/") + 1);
    check.Expect(offered == fileName || offered == baseName, "the name box starts with the last accepted name",
                 "found " + Json(offered));
    recorder.AnswerSaveDialog(again, nullptr);
    check.Expect(Buttons(recorder).record && !Buttons(recorder).stop, "second cancel: Record enabled, Stop disabled");

    check.Equal(recorder.CloseWindow(), 0, "closing the window ends the program with code 0");
    Say(std::to_string(check.Failures()) + " failed");
    return check.Failures() ? 1 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    try {
        if (args.size() >= 5 && args[0] == L"record")
            return Record(args[1], args[2], std::stoi(args[3]), args[4], args.size() >= 6 ? std::stoi(args[5]) : 4,
                          std::find(args.begin(), args.end(), L"--close") != args.end(),
                          std::find(args.begin(), args.end(), L"--corner") != args.end());
        if (args.size() == 4 && args[0] == L"window")
            return Window(args[1], args[2], args[3]);
        if ((args.size() == 6 || args.size() == 7) && args[0] == L"level")
            return Level(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]),
                         args.size() == 7 ? args[6] : L"");
        if (args.size() == 5 && args[0] == L"device-error")
            return DeviceError(args[1], args[2], std::stoi(args[3]), args[4]);
        if (args.size() == 3 && args[0] == L"show")
            return Show(args[1], args[2]);
        if (args.size() >= 2 && args[0] == L"fault")
            return Fault(std::vector<std::wstring>(args.begin() + 1, args.end()));
    } catch (const Failure& failure) {
        Say("FAIL " + failure.what);
        return 1;
    }
    Say("usage: e2e_driver record|window|level|device-error|show|fault ... (see the source)");
    return 2;
}
