// Fault scenarios: the driver works the window while something goes wrong around the recorder, and
// reports what the window showed; faults.py makes the faults and checks the files.
//
//   e2e_driver fault kill EXE DEVICE ROW FILE BUFFERS
//       records until BUFFERS buffers came back, then terminates the recorder mid-buffer
//   e2e_driver fault server|device-back EXE DEVICE ROW FILE BUFFERS
//       records until BUFFERS buffers came back, prints DEVICE-GONE and waits for a line on
//       standard input (the caller kills the sound server, or unloads the microphone, meanwhile);
//       waits for the box that says so and for the window to wait; for device-back prints
//       DEVICE-BACK, waits for its line (the microphone is loaded again) and for the recording to go
//       on into FILE's "(2)"; then closes the box, clicks Stop and closes the window
//   e2e_driver fault disk-full EXE DEVICE ROW FILE ROOM_TEXT
//       records onto a tiny file system and answers the boxes (ROOM_TEXT: the warning about the
//       disk's room) until the recording has stopped by itself
//   e2e_driver fault rapid EXE DEVICE ROW DIR COUNT
//       Record and Stop COUNT times in a row, each Stop once the recording's first buffer came
//       back, each Record as soon as the window takes it again, into DIR\rapid-NN.wav
//   e2e_driver fault targets EXE DEVICE ROW LABEL_LOG TARGET...
//       one recording attempt per target; "held:" before a target makes the driver hold that file
//       open without sharing during the attempt
//   e2e_driver fault session EXE DEVICE ROW FILE BUFFERS
//       records until BUFFERS buffers came back; then, each time with the window thread hung in a
//       write for 1.5 s (FREEZE and THAW, as for stall) so that buffers wait in its queue, sends
//       WM_QUERYENDSESSION (logoff) and WM_ENDSESSION(TRUE) from another thread, as the system does,
//       and terminates the recorder as soon as the latter returns
//   e2e_driver fault sleep EXE DEVICE ROW FILE SLEEP_MS LATE_MS
//       records until 3 buffers came back; sends the suspend notice, prints SLEEP and waits for its
//       line (the caller stops the source), suspends the window thread at rest for SLEEP_MS, prints
//       WAKE and waits for its line (the source delivers again), resumes the thread and posts the
//       resume notices LATE_MS later; waits for 4 more buffers or a box, clicks Stop, closes the window
//   e2e_driver fault stall EXE DEVICE ROW FILE HANG_MS
//       records until a buffer came back, prints FREEZE and waits for its line (the caller freezes
//       the file's file system: the next write hangs), waits HANG_MS, prints THAW and waits for its
//       line (the caller thaws it), lets the recording run a second, clicks Stop, closes the window
//
// Each prints RESULT json at the end.
#include <memory>
#include <thread>

#include "thread_stall.h"
#include "window_driver.h"

namespace e2e {
namespace {

// The process's top-level windows, for a failure's report.
std::string WindowsOf(DWORD processId)
{
    std::vector<std::wstring> found;
    for (const HWND window : TopWindows(processId))
        found.push_back(ClassOf(window) + L" " + TextOf(window) + (IsWindowVisible(window) ? L" visible" : L" hidden") +
                        (IsWindowEnabled(window) ? L"" : L" disabled"));
    return JsonList(found);
}

// The window's thread answers a message within five seconds (Wine takes seconds to tear down a
// file dialog): the program has not hung.
bool Responsive(HWND form)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &ignored) != 0;
}

void CloseAndReport(Recorder& recorder, JsonObject& result)
{
    result.AddBool("responsive", Responsive(recorder.Form()));
    result.Add("buttons", Buttons(recorder).Str());
    result.Add("exit_code", static_cast<long long>(recorder.CloseWindow()));
}

std::wstring LastLabel(const Recorder& recorder)
{
    const std::vector<LabelEntry> log = recorder.LabelLog();
    return log.size() > 1 ? log.back().text : L"";
}

int Kill(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, int buffers)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    recorder.WaitForBuffers(buffers);
    Sleep(250); // half-way through the next buffer
    JsonObject result;
    result.Add("buffers_before", recorder.BuffersBack()).AddText("label_before", LastLabel(recorder));
    if (!TerminateProcess(recorder.Process(), 9))
        Fail("TerminateProcess failed, error " + std::to_string(GetLastError()));
    result.Add("exit_code", static_cast<long long>(recorder.WaitForExit(10000)));
    result.Add("buffers_after", recorder.BuffersBack()).AddText("label_after", LastLabel(recorder));
    Say("RESULT " + result.Str());
    return 0;
}

// The device goes away mid-recording, and nobody clicks Stop: the recorder must notice by itself,
// complete the file, say so once and wait for the device. With `comesBack` it is then loaded again
// under its name while the box is still up, and the recording must go on into "NAME (2)".
int DeviceGoes(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName,
               int buffers, bool comesBack)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    recorder.WaitForBuffers(buffers);
    JsonObject result;
    result.Add("buffers_before", recorder.BuffersBack()).AddText("label_before", LastLabel(recorder));
    result.Add("pid", static_cast<long long>(recorder.Pid())); // whose calls a relay trace shows
    Prompt("DEVICE-GONE");
    const DWORD gone = GetTickCount();

    bool respondedThroughout = true;
    Box box;
    while (!(box = FindBox(recorder.Pid())).window && GetTickCount() - gone < 30000) {
        if (!recorder.Running())
            Fail("the recorder ended by itself");
        respondedThroughout = respondedThroughout && Responsive(recorder.Form());
        Sleep(50);
    }
    if (!box.window)
        Fail("no box came within 30 s of the device going away");
    result.Add("box", JsonBox(box, GetTickCount() - gone));
    // It waits: Stop stays the way out, and the file is complete meanwhile.
    result.AddBool("waiting", WaitFor([&] {
                       return !Buttons(recorder).record && Buttons(recorder).stop && FileCompleted(fileName);
                   }, 5000));
    result.AddText("meter_waiting", TextOf(recorder.Control(kLevelMeter1Id)));
    if (comesBack) {
        const int before = recorder.BuffersBack();
        Prompt("DEVICE-BACK");
        const DWORD back = GetTickCount();
        // With the box still up, the capture goes on beneath it.
        if (!WaitFor([&] { return test_support::ReadAll(NumberedFile(fileName, 2)).size() > 44; }, 30000))
            Fail("the recording did not go on into the next file within 30 s of the device's return");
        result.Add("next_file_ms", static_cast<long long>(GetTickCount() - back));
        recorder.WaitForBuffers(3, before);
        result.AddBool("box_still_up", IsWindow(box.window) != FALSE);
        result.AddBool("further_box", FindBox(recorder.Pid(), box.window).window != nullptr);
    }
    recorder.CloseBox(box.window);
    result.AddBool("responsive_throughout", respondedThroughout);
    recorder.Click(recorder.StopButton());
    if (!WaitFor([&] { return Buttons(recorder).record && !Buttons(recorder).stop; }, 8000))
        Fail("Stop did not end the recording");
    if (comesBack) {
        const HWND files = recorder.WaitForBox(L"Recorder");
        result.AddText("files_message", BoxText(files));
        recorder.CloseBox(files);
    }
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

int DiskFull(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName,
             const std::wstring& roomText)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    const DWORD start = GetTickCount();
    JsonObject result;
    std::string boxes = "[";
    int boxCount = 0;
    int beforeError = -1;
    DWORD quietSince = GetTickCount();
    // Nobody clicks Stop: a disk that stays full stops the recording by itself.
    const auto stoppedByItself = [&] {
        const auto buttons = Buttons(recorder);
        return IsWindowEnabled(recorder.Form()) && buttons.record && !buttons.stop;
    };
    // Until the recording has stopped, the file is complete and no box has come for a second and a half.
    while (!(stoppedByItself() && FileCompleted(fileName) && GetTickCount() - quietSince > 1500)) {
        if (GetTickCount() - start > 45000)
            Fail("after " + std::to_string(boxCount) + " boxes " + boxes + "], the recording did not stop by itself");
        const Box box = FindBox(recorder.Pid());
        if (box.window) {
            // The warning about the disk's room comes at Record; the buffers before the first error count.
            if (box.text != roomText && beforeError < 0)
                beforeError = recorder.BuffersBack();
            boxes += (boxCount++ ? ", " : "") + JsonBox(box, GetTickCount() - start);
            recorder.CloseBox(box.window);
            quietSince = GetTickCount();
            continue;
        }
        Sleep(5);
    }
    result.Add("boxes", boxes + "]").Add("buffers_before_error", beforeError);
    result.AddText("label_final", TextOf(recorder.Label()));
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

int Rapid(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& folder, int count)
{
    Recorder recorder(exe, folder + L"\\rapid.labels");
    recorder.Choose(device, row);
    std::string cycles = "[";
    std::wstring fileName;
    const DWORD start = GetTickCount();
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\rapid-%02d.wav", i);
        fileName = folder + name;
        const DWORD begun = GetTickCount();
        recorder.StartRecording(fileName);
        const DWORD recording = GetTickCount();
        // Stop as soon as the recording holds audio, every other time half-way through the next
        // buffer, so that each file holds a stretch of the signal of its own.
        recorder.WaitForBuffers(1, recorder.BuffersBack());
        const DWORD firstBuffer = GetTickCount();
        const DWORD hold = (i % 2 == 1) ? 250 : 0;
        Sleep(hold);
        recorder.Click(recorder.StopButton());
        if (!WaitFor([&] { return Buttons(recorder).record && !Buttons(recorder).stop; }, 8000))
            Fail("the buttons did not swap back after Stop " + std::to_string(i));
        if (FindBox(recorder.Pid()).window)
            Fail("a box appeared in cycle " + std::to_string(i) + ": " + Utf8(FindBox(recorder.Pid()).text));
        cycles += (i ? ", " : "") + JsonObject()
                                        .AddText("file", fileName)
                                        .Add("hold_ms", static_cast<long long>(hold))
                                        .Add("start_ms", static_cast<long long>(recording - begun))
                                        .Add("first_buffer_ms", static_cast<long long>(firstBuffer - recording))
                                        .Add("cycle_ms", static_cast<long long>(GetTickCount() - begun))
                                        .Str();
    }
    JsonObject result;
    result.Add("cycles", cycles + "]").Add("total_ms", static_cast<long long>(GetTickCount() - start));
    result.AddBool("last_completed", WaitFor([&] { return FileCompleted(fileName); }, 10000));
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

// Holds a file open for writing without sharing, as another program may.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& name)
        : handle_(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            Fail("cannot hold " + Utf8(name) + " open, error " + std::to_string(GetLastError()));
        const char text[] = "held by another program";
        DWORD written = 0;
        WriteFile(handle_, text, sizeof text - 1, &written, nullptr);
    }
    ~HeldFile() { CloseHandle(handle_); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    HANDLE handle_;
};

// One attempt: the dialog refuses the name, or the recorder shows an error, or it records.
std::string TryTarget(Recorder& recorder, std::wstring target)
{
    std::unique_ptr<HeldFile> held;
    if (target.rfind(L"held:", 0) == 0) {
        target = target.substr(5);
        held = std::make_unique<HeldFile>(target);
    }
    JsonObject outcome;
    outcome.AddText("target", target);
    const int before = recorder.BuffersBack();
    recorder.Click(recorder.RecordButton());
    const HWND dialog = recorder.WaitForSaveDialog();
    if (!save_dialog::Answer(dialog, &target, 3000)) {
        // The dialog kept the name for itself (a folder is opened, not chosen); it may say why.
        const Box box = FindBox(recorder.Pid(), dialog);
        if (box.window)
            recorder.CloseBox(box.window);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (!WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 5000))
            Fail("the save dialog did not close on Cancel");
        outcome.AddText("outcome", L"dialog").AddText("text", box.text);
    } else {
        // The dialog takes a while to go away under Wine; then comes a box, or the first buffer.
        Box box;
        if (!WaitFor([&] { return (box = FindBox(recorder.Pid())).window || recorder.BuffersBack() > before; }, 20000))
            Fail("neither an error nor a recording for " + Utf8(target) + ": windows " + WindowsOf(recorder.Pid()) +
                 ", buttons " + Buttons(recorder).Str() + ", label " + Utf8(TextOf(recorder.Label())));
        if (box.window) {
            outcome.AddText("outcome", L"error").AddText("caption", box.caption).AddText("text", box.text);
            recorder.CloseBox(box.window);
            outcome.Add("buttons_after_error", Buttons(recorder).Str());
            if (Buttons(recorder).stop)
                recorder.Click(recorder.StopButton());
        } else {
            recorder.WaitForBuffers(2, before);
            recorder.Click(recorder.StopButton());
            outcome.AddText("outcome", L"recorded")
                .AddBool("completed", WaitFor([&] { return FileCompleted(target); }, 10000));
        }
    }
    outcome.AddBool("buttons_reset",
                    WaitFor([&] { return Buttons(recorder).record && !Buttons(recorder).stop; }, 8000));
    outcome.AddBool("responsive", Responsive(recorder.Form()));
    const Box late = FindBox(recorder.Pid());
    outcome.AddText("late_box", late.text);
    if (late.window)
        recorder.CloseBox(late.window);
    return outcome.Str();
}

int Targets(const std::wstring& exe, const std::wstring& device, int row, const std::vector<std::wstring>& targets,
            const std::wstring& labelLog)
{
    Recorder recorder(exe, labelLog);
    recorder.Choose(device, row);
    std::string outcomes = "[";
    for (const std::wstring& target : targets) {
        const std::string outcome = TryTarget(recorder, target);
        Say("TARGET " + outcome);
        outcomes += (outcomes.size() > 1 ? ", " : "") + outcome;
    }
    JsonObject result;
    result.Add("targets", outcomes + "]");
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

// The window's thread hangs in a write while the caller holds the file's disk (FREEZE ... THAW):
// inside the system, where it holds no lock of the platform's, so the device goes on filling the
// buffers queued with it, as it does while a network share reconnects or a disk wakes. Returns
// whether the thread hung, and how long.
struct Hang {
    bool held = false;
    DWORD ms = 0;
};

Hang HangInWrite(const Recorder& recorder, DWORD hangMs, const std::function<void()>& meanwhile = {})
{
    Prompt("FREEZE");
    // Its next buffer comes within half a second, and its write hangs.
    Hang hang;
    hang.held = WaitFor([&] { return WindowThreadStalled(recorder.Form()); }, 5000);
    const DWORD start = GetTickCount();
    if (meanwhile)
        meanwhile();
    Sleep(hangMs);
    hang.held = hang.held && WindowThreadStalled(recorder.Form());
    Prompt("THAW");
    hang.ms = GetTickCount() - start;
    return hang;
}

// Sends `message` from a thread of its own while the window's thread hangs in a write for `hangMs`:
// sent messages are handled before posted ones, so it comes ahead of the buffers handed back
// meanwhile, as the system's does when it gets there first. Returns the window's answer.
LRESULT SendDuringHang(const Recorder& recorder, UINT message, WPARAM wParam, LPARAM lParam, DWORD hangMs)
{
    DWORD_PTR answer = 0;
    bool answered = false;
    std::thread sender;
    const Hang hang = HangInWrite(recorder, hangMs, [&] {
        sender = std::thread([&] {
            answered =
                SendMessageTimeoutW(recorder.Form(), message, wParam, lParam, SMTO_NORMAL, 20000, &answer) != 0;
        });
    });
    sender.join();
    if (!hang.held)
        Fail("the window's thread did not hang in its write");
    if (!answered)
        Fail("the window did not answer message " + std::to_string(message));
    return static_cast<LRESULT>(answer);
}

int Session(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, int buffers)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    recorder.WaitForBuffers(buffers);
    JsonObject result;
    result.Add("query_logoff",
               static_cast<long long>(SendDuringHang(recorder, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, 1500)));
    result.Add("buffers_before_end", recorder.BuffersBack());
    SendDuringHang(recorder, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, 1500);
    // After its end-of-session message the process may be ended at any moment.
    if (!TerminateProcess(recorder.Process(), 9))
        Fail("TerminateProcess failed, error " + std::to_string(GetLastError()));
    result.Add("exit_code", static_cast<long long>(recorder.WaitForExit(10000)));
    Say("RESULT " + result.Str());
    return 0;
}

// A write that hangs for `hangMs` once the recording holds a buffer, then a second of running
// before Stop.
int Stall(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, DWORD hangMs)
{
    Recorder recorder(exe, L"");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    const DWORD start = GetTickCount();
    if (!WaitFor([&] { return FileBytes(fileName) > 44; }, 15000))
        Fail("no buffer came back within 15 s of the start");
    const Hang hang = HangInWrite(recorder, hangMs);
    Sleep(1000);
    recorder.Click(recorder.StopButton());
    JsonObject result;
    result.Add("wall_ms", static_cast<long long>(GetTickCount() - start))
        .AddBool("held", hang.held)
        .Add("hung_ms", static_cast<long long>(hang.ms))
        .AddBool("completed", WaitFor([&] { return FileCompleted(fileName); }, 20000));
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

// Asleep while the clock runs on (Modern Standby, a paused machine): the system says it suspends,
// the source delivers nothing and the window's thread does not run; on waking the timers that fell
// due come first, and the resume notices only `lateMs` after the thread runs again.
int Sleeps(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName, DWORD sleepMs,
           DWORD lateMs)
{
    Recorder recorder(exe, fileName + L".labels");
    recorder.Choose(device, row);
    recorder.StartRecording(fileName);
    recorder.WaitForBuffers(3);
    ThreadStaller thread(recorder.Process(), GetWindowThreadProcessId(recorder.Form(), nullptr),
                         ThreadStaller::Where::AtRest);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(recorder.Form(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0, SMTO_NORMAL, 5000, &ignored);
    Prompt("SLEEP"); // the caller stops the source
    thread.Suspend(5000);
    Sleep(sleepMs);
    Prompt("WAKE"); // the caller lets the source deliver again
    thread.Resume();
    Sleep(lateMs);
    PostMessageW(recorder.Form(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    PostMessageW(recorder.Form(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    const int before = recorder.BuffersBack();
    JsonObject result;
    result.Add("buffers_before_wake", before);
    // The same file goes on, with no box: the time asleep was not the device's silence.
    const bool goesOn = WaitFor([&] { return recorder.BuffersBack() >= before + 4 || FindBox(recorder.Pid()).window; },
                                20000);
    const Box box = FindBox(recorder.Pid());
    result.AddBool("went_on", goesOn && !box.window).AddText("box", box.text);
    if (box.window)
        recorder.CloseBox(box.window);
    recorder.Click(recorder.StopButton());
    result.AddBool("completed", WaitFor([&] { return FileCompleted(fileName); }, 10000));
    // A recording that went on into a next file would say so in a message now.
    Sleep(500);
    const Box files = FindBox(recorder.Pid());
    result.AddText("late_box", files.text);
    if (files.window)
        recorder.CloseBox(files.window);
    CloseAndReport(recorder, result);
    Say("RESULT " + result.Str());
    return 0;
}

} // namespace

int Fault(const std::vector<std::wstring>& args)
{
    const std::wstring& kind = args[0];
    if (kind == L"kill" && args.size() == 6)
        return Kill(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]));
    if ((kind == L"server" || kind == L"device-back") && args.size() == 6)
        return DeviceGoes(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]), kind == L"device-back");
    if (kind == L"disk-full" && args.size() == 6)
        return DiskFull(args[1], args[2], std::stoi(args[3]), args[4], args[5]);
    if (kind == L"rapid" && args.size() == 6)
        return Rapid(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]));
    if (kind == L"targets" && args.size() >= 6)
        return Targets(args[1], args[2], std::stoi(args[3]), std::vector<std::wstring>(args.begin() + 5, args.end()),
                       args[4]);
    if (kind == L"session" && args.size() == 6)
        return Session(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]));
    if (kind == L"sleep" && args.size() == 7)
        return Sleeps(args[1], args[2], std::stoi(args[3]), args[4], std::stoul(args[5]), std::stoul(args[6]));
    if (kind == L"stall" && args.size() == 6)
        return Stall(args[1], args[2], std::stoi(args[3]), args[4], std::stoul(args[5]));
    Fail("usage: fault kill|server|device-back|disk-full|rapid|targets|session|sleep|stall ... (see faults.cpp)");
}

} // namespace e2e
