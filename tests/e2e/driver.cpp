// Works the recorder's window from outside, as a person does: picks a device and a format with the
// notifications a click or an arrow key produces, clicks the buttons, fills in or cancels the save
// dialog, answers the message boxes, and reads back the label, the lists and the buttons.
//
//   e2e_driver record EXE DEVICE ROW FILE BUFFERS [--close]
//       records from the device named DEVICE in format row ROW into FILE until BUFFERS buffers came
//       back, then clicks Stop (or, with --close, closes the window mid-recording); prints RESULT json
//   e2e_driver window EXE DEVICE FILE
//       checks texts, geometry, the buttons and the label through the states of the window
//   e2e_driver device-error EXE DEVICE ROW FILE
//       prints LISTED once the lists are filled, waits for a line on standard input (the caller
//       removes the device meanwhile), then records and answers the error box; prints RESULT json
//
// Paths are Windows paths. The label's texts are logged in order by label_probe.dll.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kComboBox1Id = 101;
constexpr int kListBox1Id = 102;
constexpr int kBitBtn1Id = 103;
constexpr int kBitBtn2Id = 104;
constexpr int kLabel1Id = 105;
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

const wchar_t* const kSaveDialogTitle = L"Сохранить звукозапись как...";
const wchar_t* const kFormCaption = L"Запись звука";
const wchar_t* const kAppTitle = L"Recorder";

// The twelve format names in table order: the row number is the index.
const wchar_t* const kFormatNames[12] = {
    L"11.025 кГц, моно, 8-бит",  L"11.025 кГц, моно, 16-бит", L"11.025 кГц, стерео, 8-бит",
    L"11.025 кГц, стерео, 16-бит", L"22.05 кГц, моно, 8-бит",   L"22.05 кГц, моно, 16-бит",
    L"22.05 кГц, стерео, 8-бит", L"22.05 кГц, стерео, 16-бит", L"44.1 кГц, моно, 8-бит",
    L"44.1 кГц, моно, 16-бит",   L"44.1 кГц, стерео, 8-бит",  L"44.1 кГц, стерео, 16-бит",
};

// ---- output -----------------------------------------------------------------------------------

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

void Say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string Json(const std::wstring& text)
{
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// A JSON object built field by field; values are already JSON.
class JsonObject {
public:
    JsonObject& Add(const char* key, const std::string& value)
    {
        text_ += (text_.empty() ? "{\"" : ", \"") + std::string(key) + "\": " + value;
        return *this;
    }
    JsonObject& Add(const char* key, long long value) { return Add(key, std::to_string(value)); }
    JsonObject& AddText(const char* key, const std::wstring& value) { return Add(key, Json(value)); }
    JsonObject& AddBool(const char* key, bool value) { return Add(key, std::string(value ? "true" : "false")); }
    std::string Str() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

struct Failure {
    std::string what;
};

[[noreturn]] void Fail(const std::string& what)
{
    throw Failure{what};
}

// ---- windows ----------------------------------------------------------------------------------

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        Fail("the window does not answer WM_GETTEXTLENGTH");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text.resize(copied);
    return text;
}

// A visible top-level window of the process, by class and (if given) caption.
HWND FindTopWindow(DWORD processId, const std::wstring& className, const wchar_t* caption)
{
    struct Search {
        DWORD processId;
        const std::wstring* className;
        const wchar_t* caption;
        HWND found;
    } search{processId, &className, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid != s.processId || !IsWindowVisible(window) || ClassOf(window) != *s.className)
                return TRUE;
            if (s.caption && TextOf(window) != s.caption)
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> ChildTexts(HWND parent, const wchar_t* className)
{
    struct Collect {
        const wchar_t* className;
        std::vector<std::wstring> texts;
    } collect{className, {}};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto& c = *reinterpret_cast<Collect*>(data);
            if (lstrcmpiW(ClassOf(child).c_str(), c.className) == 0)
                c.texts.push_back(TextOf(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&collect));
    return collect.texts;
}

// The text of a message box: its static controls, the icon's (empty) one left out.
std::wstring BoxText(HWND box)
{
    std::wstring text;
    for (const std::wstring& part : ChildTexts(box, L"Static"))
        if (!part.empty())
            text += (text.empty() ? L"" : L"\n") + part;
    return text;
}

std::vector<std::wstring> ListItems(HWND list, bool comboBox)
{
    const UINT countMessage = comboBox ? CB_GETCOUNT : LB_GETCOUNT;
    const UINT lengthMessage = comboBox ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT textMessage = comboBox ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(list, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, lengthMessage, i, 0);
        std::wstring text(length > 0 ? length + 1 : 1, L'\0');
        const LRESULT copied = SendMessageW(list, textMessage, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(copied > 0 ? copied : 0);
        items.push_back(text);
    }
    return items;
}

std::string JsonList(const std::vector<std::wstring>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + Json(items[i]);
    return out + "]";
}

std::string JsonRect(const RECT& r)
{
    return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right - r.left) +
           ", " + std::to_string(r.bottom - r.top) + "]";
}

// ---- the recorder under test ------------------------------------------------------------------

struct LabelEntry {
    DWORD tick;
    std::wstring text;
};

class Recorder {
public:
    Recorder(const std::wstring& exe, const std::wstring& labelLog) : labelLog_(labelLog)
    {
        DeleteFileW(labelLog.c_str());
        // The probe reads the log's name from the environment the recorder inherits.
        SetEnvironmentVariableW(L"RECORDER_E2E_LABEL_LOG", labelLog.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + exe + L"\"";
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process_))
            Fail("cannot start " + Utf8(exe) + ", error " + std::to_string(GetLastError()));
        if (!WaitFor([&] { return (form_ = FindTopWindow(Pid(), L"TForm1", nullptr)) != nullptr; }, 20000))
            Fail("the main window did not appear");
        InstallProbe();
        combo_ = Control(kComboBox1Id);
        list_ = Control(kListBox1Id);
        record_ = Control(kBitBtn1Id);
        stop_ = Control(kBitBtn2Id);
        label_ = Control(kLabel1Id);
    }

    ~Recorder()
    {
        if (hook_)
            UnhookWindowsHookEx(hook_);
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }

    DWORD Pid() const { return process_.dwProcessId; }
    HWND Form() const { return form_; }
    HWND Combo() const { return combo_; }
    HWND List() const { return list_; }
    HWND RecordButton() const { return record_; }
    HWND StopButton() const { return stop_; }
    HWND Label() const { return label_; }

    HWND Control(int id) const
    {
        const HWND control = GetDlgItem(form_, id);
        if (!control)
            Fail("no control with id " + std::to_string(id));
        return control;
    }

    // A click in the drop-down list: the selection changes and the parent hears CBN_SELCHANGE.
    void SelectDevice(const std::wstring& name)
    {
        const std::vector<std::wstring> devices = ListItems(combo_, true);
        for (size_t i = 0; i < devices.size(); ++i) {
            if (devices[i] == name) {
                SendMessageW(combo_, CB_SETCURSEL, i, 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(kComboBox1Id, CBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(combo_));
                return;
            }
        }
        Fail("no device " + Utf8(name) + " in " + Utf8(L"") + JsonList(devices));
    }

    void SelectFormat(int row)
    {
        const std::vector<std::wstring> formats = ListItems(list_, false);
        for (size_t i = 0; i < formats.size(); ++i) {
            if (formats[i] == kFormatNames[row]) {
                SendMessageW(list_, LB_SETCURSEL, i, 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(kListBox1Id, LBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(list_));
                return;
            }
        }
        Fail("format row " + std::to_string(row) + " not listed: " + JsonList(formats));
    }

    // Posted, since the click's handler runs a modal dialog or box before it returns.
    void Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

    HWND WaitForSaveDialog() const
    {
        HWND dialog = nullptr;
        if (!WaitFor([&] { return (dialog = FindTopWindow(Pid(), L"#32770", kSaveDialogTitle)) != nullptr; }, 10000))
            Fail("the save dialog did not appear");
        return dialog;
    }

    void AnswerSaveDialog(HWND dialog, const std::wstring* fileName) const
    {
        if (fileName) {
            HWND box = GetDlgItem(dialog, kFileNameCombo);
            if (!box)
                box = GetDlgItem(dialog, kFileNameEdit);
            if (!box)
                Fail("the save dialog has no file name box");
            SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileName->c_str()));
        }
        PostMessageW(dialog, WM_COMMAND, fileName ? IDOK : IDCANCEL, 0);
        if (!WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000))
            Fail("the save dialog did not close");
    }

    HWND WaitForBox(const wchar_t* caption, DWORD timeoutMs = 10000) const
    {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = FindTopWindow(Pid(), L"#32770", caption)) != nullptr; }, timeoutMs))
            Fail("no box captioned " + Utf8(caption) + " appeared");
        return box;
    }

    void CloseBox(HWND box) const
    {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        if (!WaitFor([&] { return !IsWindow(box); }, 10000))
            Fail("the box did not close");
    }

    std::vector<LabelEntry> LabelLog() const
    {
        std::vector<LabelEntry> entries;
        const HANDLE file = CreateFileW(labelLog_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return entries;
        std::string content;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
            content.append(chunk, got);
        CloseHandle(file);
        size_t start = 0;
        for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = content.substr(start, end - start);
            const size_t tab = line.find('\t');
            if (tab != std::string::npos)
                entries.push_back({static_cast<DWORD>(std::strtoul(line.c_str(), nullptr, 10)), Wide(line.substr(tab + 1))});
        }
        return entries;
    }

    // Waits for the process to end by itself; its exit code.
    DWORD WaitForExit(DWORD timeoutMs) const
    {
        if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
            Fail("the recorder did not end");
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    void InstallProbe()
    {
        const HMODULE probe = LoadLibraryW(L"label_probe.dll");
        const auto proc = probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "LabelProbe")))
                                : nullptr;
        if (!proc)
            Fail("cannot load label_probe.dll");
        const DWORD thread = GetWindowThreadProcessId(form_, nullptr);
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, proc, probe, thread);
        if (!hook_)
            Fail("cannot hook the recorder's window thread, error " + std::to_string(GetLastError()));
        // Any message through the thread loads the probe there; the log proves it is in place.
        SendMessageW(GetDlgItem(form_, kLabel1Id), RegisterWindowMessageW(L"RecorderE2EProbe"), 0, 0);
        if (!WaitFor([&] { return !LabelLog().empty(); }, 5000))
            Fail("the label probe logs nothing");
    }

    std::wstring labelLog_;
    PROCESS_INFORMATION process_{};
    HHOOK hook_ = nullptr;
    HWND form_ = nullptr, combo_ = nullptr, list_ = nullptr, record_ = nullptr, stop_ = nullptr, label_ = nullptr;
};

std::string JsonLabelLog(const std::vector<LabelEntry>& entries, DWORD origin)
{
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i)
        out += (i ? ", [" : "[") + std::to_string(static_cast<long>(entries[i].tick - origin)) + ", " +
               Json(entries[i].text) + "]";
    return out + "]";
}

struct ButtonStates {
    bool record, stop;
    std::string Str() const { return std::string("[") + (record ? "true" : "false") + ", " + (stop ? "true" : "false") + "]"; }
};

ButtonStates Buttons(const Recorder& r)
{
    return {IsWindowEnabled(r.RecordButton()) != FALSE, IsWindowEnabled(r.StopButton()) != FALSE};
}

// Completed: the recorder has closed the file (it keeps it open, shared, while recording, so an
// exclusive open succeeds only afterwards) and its header's data length matches the file's length.
bool FileCompleted(const std::wstring& fileName)
{
    const HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    unsigned char header[44]{};
    DWORD got = 0;
    LARGE_INTEGER size{};
    const bool read = ReadFile(file, header, 44, &got, nullptr) && got == 44 && GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (!read || std::string(reinterpret_cast<char*>(header), 4) != "RIFF")
        return false;
    const unsigned long dataLength = header[40] | header[41] << 8 | header[42] << 16 | static_cast<unsigned long>(header[43]) << 24;
    return dataLength + 44 == static_cast<unsigned long long>(size.QuadPart);
}

// ---- scenarios --------------------------------------------------------------------------------

int Record(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, int buffers,
           bool closeWindow)
{
    Recorder recorder(exe, fileName + L".labels");
    JsonObject result;
    recorder.SelectDevice(device);
    recorder.SelectFormat(row);
    result.Add("buttons_shown", Buttons(recorder).Str());

    recorder.Click(recorder.RecordButton());
    recorder.AnswerSaveDialog(recorder.WaitForSaveDialog(), &fileName);
    const DWORD accepted = GetTickCount();
    // The handler disables Record and then enables Stop: wait for both before reading them.
    if (!WaitFor([&] { return !Buttons(recorder).record && Buttons(recorder).stop; }, 5000))
        Fail("the buttons did not swap after the file was accepted: " + Buttons(recorder).Str());
    result.Add("buttons_recording", Buttons(recorder).Str());

    const DWORD origin = recorder.LabelLog().back().tick; // the probe's own check entry
    auto buffersBack = [&] { return static_cast<int>(recorder.LabelLog().size()) - 1; };
    // Capture starts late under some sound servers: allow for it before the first buffer.
    if (!WaitFor([&] { return buffersBack() >= 1; }, 15000))
        Fail("no buffer came back within 15 s of the start");
    RECT window{};
    GetWindowRect(recorder.Form(), &window);
    Say("RECORDING " + JsonRect(window));
    if (!WaitFor([&] { return buffersBack() >= buffers; }, 2000u * buffers + 4000))
        Fail("fewer than " + std::to_string(buffers) + " buffers came back");
    Sleep(200); // the last buffer then holds a part only
    result.Add("buttons_before_stop", Buttons(recorder).Str());

    const DWORD stopped = GetTickCount();
    if (closeWindow) {
        // The close button of the caption.
        PostMessageW(recorder.Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
        result.Add("exit_code", static_cast<long long>(recorder.WaitForExit(15000)));
    } else {
        recorder.Click(recorder.StopButton());
        if (!WaitFor([&] { return FileCompleted(fileName); }, 10000))
            Fail("the file was not completed within 10 s of Stop");
        const DWORD completed = GetTickCount();
        Sleep(300); // any text set after the close notification shows up in the log
        result.Add("buttons_stopped", Buttons(recorder).Str());
        result.AddText("label_final", TextOf(recorder.Label()));
        result.Add("completed_ms", static_cast<long long>(completed - stopped));
        PostMessageW(recorder.Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
        result.Add("exit_code", static_cast<long long>(recorder.WaitForExit(15000)));
    }
    result.Add("labels", JsonLabelLog(recorder.LabelLog(), origin));
    result.Add("accepted_ms", static_cast<long long>(static_cast<long>(accepted - origin)));
    result.Add("stop_ms", static_cast<long long>(static_cast<long>(stopped - origin)));
    Say("RESULT " + result.Str());
    return 0;
}

int DeviceError(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.SelectDevice(device);
    recorder.SelectFormat(row);
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
    };
    for (const Expected& c : controls) {
        if (!c.control)
            continue;
        if (c.text)
            check.Equal(TextOf(c.control), c.text, std::string(c.name) + " text");
        const RECT r = RectInClient(c.control);
        const RECT found{r.left, r.top, c.box.right ? r.right - r.left : 0, c.box.bottom ? r.bottom - r.top : 0};
        check.Expect(found.left == c.box.left && found.top == c.box.top && found.right == c.box.right &&
                         found.bottom == c.box.bottom,
                     std::string(c.name) + " geometry", "found " + JsonRect(r));
    }
    const LONG comboStyle = GetWindowLongW(recorder.Combo(), GWL_STYLE);
    check.Expect((comboStyle & 3) == CBS_DROPDOWNLIST && !(comboStyle & CBS_SORT), "ComboBox1: drop-down list, unsorted");
    const LONG listStyle = GetWindowLongW(recorder.List(), GWL_STYLE);
    check.Expect(!(listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL)), "ListBox1: single selection, unsorted");
    // ComboBox1's list item height is not checked: Wine keeps the font's for a combo that is not
    // owner-drawn, whatever the program asks.
    check.Equal(SendMessageW(recorder.List(), LB_GETITEMHEIGHT, 0, 0), 13, "ListBox1 item height");

    // The lists as created: the first device selected, its formats listed, none selected.
    const std::vector<std::wstring> devices = ListItems(recorder.Combo(), true);
    Say("devices " + JsonList(devices));
    check.Expect(devices.size() >= 2, "at least two devices listed");
    check.Equal(SendMessageW(recorder.Combo(), CB_GETCURSEL, 0, 0), 0, "first device selected at start");
    const std::vector<std::wstring> formats = ListItems(recorder.List(), false);
    check.Equal(static_cast<long long>(formats.size()), 12, "formats of a device that supports all");
    for (size_t i = 0; i < formats.size() && i < 12; ++i)
        check.Equal(formats[i], kFormatNames[i], "format " + std::to_string(i) + " in table order");
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
    check.Equal(TextOf(GetDlgItem(dialog, kFileNameCombo) ? GetDlgItem(dialog, kFileNameCombo) : GetDlgItem(dialog, kFileNameEdit)),
                L"", "the name box starts empty the first time");
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
    const HWND nameBox = GetDlgItem(again, kFileNameCombo) ? GetDlgItem(again, kFileNameCombo) : GetDlgItem(again, kFileNameEdit);
    const std::wstring offered = TextOf(nameBox);
    const std::wstring baseName = fileName.substr(fileName.find_last_of(L"\\/") + 1);
    check.Expect(offered == fileName || offered == baseName, "the name box starts with the last accepted name",
                 "found " + Json(offered));
    recorder.AnswerSaveDialog(again, nullptr);
    check.Expect(Buttons(recorder).record && !Buttons(recorder).stop, "second cancel: Record enabled, Stop disabled");

    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    check.Equal(recorder.WaitForExit(15000), 0, "closing the window ends the program with code 0");
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
                          args.size() >= 7 && args[6] == L"--close");
        if (args.size() == 4 && args[0] == L"window")
            return Window(args[1], args[2], args[3]);
        if (args.size() == 5 && args[0] == L"device-error")
            return DeviceError(args[1], args[2], std::stoi(args[3]), args[4]);
    } catch (const Failure& failure) {
        Say("FAIL " + failure.what);
        return 1;
    }
    Say("usage: e2e_driver record|window|device-error ... (see the source)");
    return 2;
}
