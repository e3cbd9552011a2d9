#pragma once
// Works the recorder's window from outside, as a person does: picks a device and a format with the
// notifications a click or an arrow key produces, clicks the buttons, fills in or cancels the save
// dialog, answers the message boxes, and reads back the label, the lists and the buttons. Shared by
// the drivers' subcommands (driver.cpp, faults.cpp, and the benchmark's and the soak's in bench/).
//
// Paths are Windows paths. The label's texts are logged in order by label_probe.dll.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/save_dialog_answerer.h"
#include "tests/test_support.h"
#include "ui/size_readout.h"
#include "ui/unit_main.h"

namespace e2e {

constexpr int kComboBox1Id = 101;
constexpr int kListBox1Id = 102;
constexpr int kBitBtn1Id = 103;
constexpr int kBitBtn2Id = 104;
constexpr int kLabel1Id = 105;
constexpr int kLevelMeter1Id = 106;

const wchar_t* const kFormCaption = L"Запись звука";
const wchar_t* const kAppTitle = L"Recorder";

// ---- output -----------------------------------------------------------------------------------

inline std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

inline std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

// Whole lines, also from a sampling thread beside the one driving the window.
inline void Say(const std::string& line)
{
    static std::mutex lines;
    const std::lock_guard<std::mutex> hold(lines);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

inline std::string Json(const std::wstring& text)
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

[[noreturn]] inline void Fail(const std::string& what)
{
    throw Failure{what};
}

// ---- windows ----------------------------------------------------------------------------------

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
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

inline std::wstring ClassOf(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, 64);
    return name;
}

inline std::wstring TextOf(HWND window)
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

// The process's top-level windows, in Z order.
inline std::vector<HWND> TopWindows(DWORD processId)
{
    struct Collect {
        DWORD processId;
        std::vector<HWND> found;
    } collect{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& c = *reinterpret_cast<Collect*>(data);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == c.processId)
                c.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&collect));
    return collect.found;
}

// A visible top-level window of the process, by class and (if given) caption.
inline HWND FindTopWindow(DWORD processId, const std::wstring& className, const wchar_t* caption)
{
    for (const HWND window : TopWindows(processId))
        if (IsWindowVisible(window) && ClassOf(window) == className && (!caption || TextOf(window) == caption))
            return window;
    return nullptr;
}

inline std::vector<std::wstring> ChildTexts(HWND parent, const wchar_t* className)
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
inline std::wstring BoxText(HWND box)
{
    std::wstring text;
    for (const std::wstring& part : ChildTexts(box, L"Static"))
        if (!part.empty())
            text += (text.empty() ? L"" : L"\n") + part;
    return text;
}

inline std::vector<std::wstring> ListItems(HWND list, bool comboBox)
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

inline std::string JsonList(const std::vector<std::wstring>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + Json(items[i]);
    return out + "]";
}

inline std::string JsonRect(const RECT& r)
{
    return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right - r.left) +
           ", " + std::to_string(r.bottom - r.top) + "]";
}

// ---- the recorder under test ------------------------------------------------------------------

struct LabelEntry {
    DWORD tick;
    std::wstring text;
};

// A probe's log: one "milliseconds<TAB>text" line per text, in order.
inline std::vector<LabelEntry> ReadTextLog(const std::wstring& path)
{
    std::vector<LabelEntry> entries;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

class Recorder {
public:
    // With an empty `labelLog` no probe is put in: under Wine each message through a hooked thread
    // may ask the server for the hook chain, a cost that is the probe's, not the recorder's.
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
        if (!labelLog.empty())
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
    HANDLE Process() const { return process_.hProcess; }
    const std::wstring& LabelLogName() const { return labelLog_; }
    HWND Form() const { return form_; }
    // Moves the window to the screen's top left corner, out of the way of the windows of tests
    // running beside, which are centred: for a test that reads the screen.
    void MoveToCorner() const
    {
        SetWindowPos(form_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (!WaitFor([&] { RECT r{}; return GetWindowRect(form_, &r) && r.left == 0 && r.top == 0; }, 5000))
            Fail("the window did not move to the screen's corner");
    }
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
            if (formats[i] == RecordingFormats[row].Name) {
                SendMessageW(list_, LB_SETCURSEL, i, 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(kListBox1Id, LBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(list_));
                return;
            }
        }
        Fail("format row " + std::to_string(row) + " not listed: " + JsonList(formats));
    }

    void Choose(const std::wstring& device, int row)
    {
        SelectDevice(device);
        SelectFormat(row);
    }

    // Posted, since the click's handler runs a modal dialog or box before it returns.
    void Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

    HWND WaitForSaveDialog() const
    {
        const HWND dialog = save_dialog::WaitFor(10000, Pid());
        if (!dialog)
            Fail("the save dialog did not appear");
        return dialog;
    }

    // Types the name and presses Save, or presses Cancel when it is null.
    void AnswerSaveDialog(HWND dialog, const std::wstring* fileName) const
    {
        if (!save_dialog::Answer(dialog, fileName, 10000))
            Fail("the save dialog did not close");
    }

    // Record clicked and the file accepted; returns once the buttons have swapped.
    void StartRecording(const std::wstring& fileName) const
    {
        Click(record_);
        AnswerSaveDialog(WaitForSaveDialog(), &fileName);
        if (!WaitFor([&] { return !IsWindowEnabled(record_) && IsWindowEnabled(stop_); }, 8000))
            Fail("the buttons did not swap after the file was accepted");
    }

    // The texts the label was given, the probe's own left out: one per buffer handed back while
    // recording, and at each Stop the file's size and the total, each when it reads differently.
    int BuffersBack() const { return static_cast<int>(LabelLog().size()) - 1; }

    // Waits for `buffers` more buffers than `already`.
    void WaitForBuffers(int buffers, int already = 0) const
    {
        // Capture starts late under some sound servers: allow for it before the first buffer.
        if (!WaitFor([&] { return BuffersBack() >= already + buffers; }, 15000u + 2000u * buffers))
            Fail("fewer than " + std::to_string(buffers) + " buffers came back");
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

    std::vector<LabelEntry> LabelLog() const { return ReadTextLog(labelLog_); }

    // Waits for the process to end by itself; its exit code.
    DWORD WaitForExit(DWORD timeoutMs) const
    {
        if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
            Fail("the recorder did not end");
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // Closes the window as its caption's close button does; the exit code once the program has ended.
    DWORD CloseWindow() const
    {
        PostMessageW(form_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return WaitForExit(15000);
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

inline std::string JsonLabelLog(const std::vector<LabelEntry>& entries, DWORD origin)
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

inline ButtonStates Buttons(const Recorder& r)
{
    return {IsWindowEnabled(r.RecordButton()) != FALSE, IsWindowEnabled(r.StopButton()) != FALSE};
}

// The length of `fileName` as its directory entry has it; -1 when there is no such file.
inline long long FileBytes(const std::wstring& fileName)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Completed: the recorder has closed the file (it keeps it open, shared, while recording, so an
// exclusive open succeeds only afterwards) and its header's data length matches the file's length.
inline bool FileCompleted(const std::wstring& fileName)
{
    const HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    const std::vector<uint8_t> content = test_support::ReadAll(fileName);
    const TWaveFileHeader header = test_support::HeaderOf(content);
    return std::string(header.RiffTag, 4) == "RIFF" && header.DataLength + 44ull == content.size();
}

// ---- boxes, prompts, the window thread --------------------------------------------------------

struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::wstring icon;
};

// The icon of a message box by its MB_ICON* name, as label_probe.dll marked it.
inline std::wstring BoxIcon(HWND box)
{
    const HANDLE marked = GetPropW(box, L"RecorderE2EIcon");
    const struct {
        LPCWSTR id;
        const wchar_t* name;
    } icons[] = {{IDI_HAND, L"stop"}, {IDI_EXCLAMATION, L"exclamation"}, {IDI_ASTERISK, L"information"},
                 {IDI_QUESTION, L"question"}};
    for (const auto& icon : icons)
        if (marked == icon.id)
            return icon.name;
    return L"none";
}

// A visible dialog-class window of the process other than `except`: a message box.
inline Box FindBox(DWORD processId, HWND except = nullptr)
{
    Box box;
    for (const HWND window : TopWindows(processId)) {
        if (window == except || !IsWindowVisible(window) || ClassOf(window) != L"#32770" ||
            TextOf(window) == save_dialog::kTitle)
            continue;
        box.window = window;
        box.caption = TextOf(window);
        box.text = BoxText(window);
        box.icon = BoxIcon(window);
        break;
    }
    return box;
}

inline std::string JsonBox(const Box& box, DWORD ms)
{
    return JsonObject()
        .AddText("caption", box.caption)
        .AddText("text", box.text)
        .AddText("icon", box.icon)
        .Add("ms", static_cast<long long>(ms))
        .Str();
}

// Says `line` and waits for the caller's go-ahead on standard input (it changes the bench meanwhile).
inline void Prompt(const char* line)
{
    Say(line);
    char answer[64];
    if (!std::fgets(answer, sizeof answer, stdin))
        Fail("no go-ahead on standard input");
}

// "NAME (N).ext" beside `fileName`, as the recorder numbers the files a recording goes on into.
inline std::wstring NumberedFile(const std::wstring& fileName, int number)
{
    const size_t dot = fileName.find_last_of(L'.');
    return fileName.substr(0, dot) + L" (" + std::to_wstring(number) + L")" + fileName.substr(dot);
}

inline long long Milliseconds(const FILETIME& t)
{
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000);
}

// True when the window's thread does not answer a message within 100 ms: the suspension holds.
inline bool WindowThreadStalled(HWND form)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 100, &ignored) == 0;
}

// Minimized as its caption's button does it, which minimizes the application window that owns the
// form and carries the taskbar button (Windows then hides the form; Wine 8 leaves it shown), or
// restored as that taskbar button does; true once it took.
inline bool MinimizeWindow(const Recorder& recorder, bool minimize)
{
    const HWND form = recorder.Form();
    const HWND application = GetWindow(form, GW_OWNER) ? GetWindow(form, GW_OWNER) : form;
    PostMessageW(minimize ? form : application, WM_SYSCOMMAND, minimize ? SC_MINIMIZE : SC_RESTORE, 0);
    return WaitFor([&] { return minimize ? IsIconic(application) != FALSE : !IsIconic(application) && IsWindowVisible(form); },
                   5000);
}

// The fault scenarios (faults.cpp); it takes the arguments after "fault".
int Fault(const std::vector<std::wstring>& args);

} // namespace e2e
