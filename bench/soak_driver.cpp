// The soak's part inside Wine (soak.py): one recorder process records cycle after cycle, each in a
// format of its own, through what a night's recording meets: the window thread stalled, the window
// minimized, the microphone gone and back, a sleep, a logoff asked and refused.
//
//   bench_driver soak EXE DEVICE FOLDER CYCLE_S ROW...
//       one cycle of CYCLE_S seconds per ROW, recorded into FOLDER\soak-NN.wav. Prints STARTED once
//       the window is up, SAMPLE json every 5 s (the recorder's counts as Windows gives them), EVENT
//       json as each event begins and ends, CYCLE json at the end of each cycle and RESULT json at the
//       end. The caller changes the bench at these prompts and answers each with a line:
//       FORMAT ROW (the microphone plays in that row's format), MIC-GONE, MIC-BACK, SLEEP, WAKE.
//
// Stalls are made where the thread rests (thread_stall.h), as the benchmark makes them: suspended in
// a call of the window manager, the platform's capture would stop too, and that is not the recorder's.
#include "tests/e2e/thread_stall.h"
#include "tests/e2e/window_driver.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace e2e {
namespace {

constexpr DWORD kSampleMs = 5000;
constexpr DWORD kFindRestMs = 5000;
// The device-away notice comes after 8 s without audio; a person reads it for a moment.
constexpr DWORD kBoxWithinMs = 20000;
constexpr DWORD kReadBoxMs = 2000;
// Stop comes this long before the cycle's end, time for the files' message and the next Record.
constexpr DWORD kStopBeforeEndMs = 5000;

enum class Kind { Stall, Minimize, MicGone, Sleep, Logoff };

// A cycle's events, by when they begin after its Record; spaced so that each has settled before the next.
const struct Step {
    DWORD atMs;
    Kind kind;
    DWORD lastsMs;
} kSteps[] = {
    {15000, Kind::Stall, 2000},     {35000, Kind::Stall, 5000}, {55000, Kind::Stall, 10000},
    {80000, Kind::Minimize, 30000}, {125000, Kind::MicGone, 12000}, {165000, Kind::Sleep, 20000},
    {205000, Kind::Logoff, 0},
};
constexpr DWORD kLastStepEndsMs = 210000;

int ThreadsOf(DWORD processId)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

// The recorder's counts as Windows reports them to another process; -1 where a call failed.
std::string Sample(const Recorder& recorder, DWORD ms)
{
    const HANDLE process = recorder.Process();
    DWORD handles = 0;
    const bool counted = GetProcessHandleCount(process, &handles) != FALSE;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    const bool measured =
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) != FALSE;
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool timed = GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
    return JsonObject()
        .Add("ms", static_cast<long long>(ms))
        .Add("handles", counted ? static_cast<long long>(handles) : -1)
        .Add("gdi", static_cast<long long>(GetGuiResources(process, GR_GDIOBJECTS)))
        .Add("user", static_cast<long long>(GetGuiResources(process, GR_USEROBJECTS)))
        .Add("private_bytes", measured ? static_cast<long long>(memory.PrivateUsage) : -1)
        .Add("working_set", measured ? static_cast<long long>(memory.WorkingSetSize) : -1)
        .Add("threads", ThreadsOf(recorder.Pid()))
        .Add("cpu_ms", timed ? Milliseconds(kernel) + Milliseconds(user) : -1)
        .Str();
}

class Soaker {
public:
    Soaker(const std::wstring& exe, const std::wstring& device, const std::wstring& folder, DWORD cycleMs)
        : start_(GetTickCount()), recorder_(exe, folder + L"\\soak.labels"), device_(device), folder_(folder),
          cycleMs_(cycleMs),
          thread_(recorder_.Process(), GetWindowThreadProcessId(recorder_.Form(), nullptr),
                  ThreadStaller::Where::AtRest)
    {
        Say("STARTED " + std::to_string(recorder_.Pid()));
        sampler_ = std::thread([this] {
            for (DWORD next = GetTickCount(); !done_; next += kSampleMs) {
                Say("SAMPLE " + Sample(recorder_, GetTickCount() - start_));
                while (!done_ && static_cast<int>(next + kSampleMs - GetTickCount()) > 0)
                    Sleep(50);
            }
        });
    }

    ~Soaker()
    {
        done_ = true;
        sampler_.join();
    }

    void Cycle(int index, int row)
    {
        const std::string format = "FORMAT " + std::to_string(row);
        Prompt(format.c_str());
        wchar_t name[32];
        swprintf(name, 32, L"\\soak-%02d.wav", index);
        file_ = folder_ + name;
        DeleteFileW(file_.c_str());
        DeleteFileW(NumberedFile(file_, 2).c_str());
        DeleteFileW(NumberedFile(file_, 3).c_str());
        cycle_ = JsonObject();
        boxes_ = events_ = "[";
        cycle_.Add("cycle", index).Add("row", row).AddText("file", file_);
        cycleStart_ = GetTickCount();
        Event("record");
        recorder_.Choose(device_, row);
        recorder_.StartRecording(file_);
        for (const Step& step : kSteps) {
            WaitUntil(cycleStart_ + step.atMs, "recording");
            Run(step);
        }
        WaitUntil(cycleStart_ + cycleMs_ - kStopBeforeEndMs, "recording");
        Stop();
        cycle_.Add("start_ms", static_cast<long long>(cycleStart_ - start_))
            .Add("end_ms", static_cast<long long>(GetTickCount() - start_))
            .Add("events", events_ + "]")
            .Add("boxes", boxes_ + "]");
        Say("CYCLE " + cycle_.Str());
    }

    int Close()
    {
        done_ = true;
        return static_cast<int>(recorder_.CloseWindow());
    }

private:
    DWORD Now() const { return GetTickCount() - start_; }

    // Said as it happens, for the picture's marks; kept in the cycle's report with what it found.
    void Event(const std::string& what, JsonObject facts = JsonObject())
    {
        facts.AddText("what", Wide(what)).Add("ms", static_cast<long long>(Now()));
        Say("EVENT " + facts.Str());
        events_ += (events_.size() > 1 ? ", " : "") + facts.Str();
    }

    // Every box that has come is noted and closed, as a user would close it.
    void CloseBoxes(const char* during)
    {
        for (Box box; (box = FindBox(recorder_.Pid())).window;) {
            NoteBox(box, during);
            recorder_.CloseBox(box.window);
        }
    }

    void NoteBox(const Box& box, const char* during)
    {
        boxes_ += (boxes_.size() > 1 ? ", " : "") +
                  JsonObject().Add("box", JsonBox(box, Now())).AddText("during", Wide(during)).Str();
        Event("box", JsonObject().AddText("text", box.text));
    }

    void WaitUntil(DWORD tick, const char* during)
    {
        for (;;) {
            CloseBoxes(during);
            const int left = static_cast<int>(tick - GetTickCount());
            if (left <= 0)
                return;
            Sleep(std::min(left, 200));
        }
    }

    bool Recording() const { return !Buttons(recorder_).record && Buttons(recorder_).stop; }

    void Run(const Step& step)
    {
        switch (step.kind) {
        case Kind::Stall:
            return Stall(step.lastsMs);
        case Kind::Minimize:
            return Minimize(step.lastsMs);
        case Kind::MicGone:
            return MicGone(step.lastsMs);
        case Kind::Sleep:
            return Asleep(step.lastsMs);
        case Kind::Logoff:
            return Logoff();
        }
    }

    void Stall(DWORD ms)
    {
        const Suspension held = thread_.Suspend(kFindRestMs);
        const DWORD began = GetTickCount();
        const bool stalled = WindowThreadStalled(recorder_.Form());
        const DWORD elapsed = GetTickCount() - began;
        if (elapsed < ms)
            Sleep(ms - elapsed);
        thread_.Resume();
        Event("stall", JsonObject()
                           .Add("stall_ms", static_cast<long long>(ms))
                           .AddBool("held", stalled)
                           .Add("tries", held.tries)
                           .Add("began_ms", static_cast<long long>(began - start_)));
    }

    void Minimize(DWORD ms)
    {
        Event("minimized", JsonObject().AddBool("iconic", MinimizeWindow(recorder_, true)));
        WaitUntil(GetTickCount() + ms, "minimized");
        Event("restored", JsonObject().AddBool("restored", MinimizeWindow(recorder_, false)));
    }

    void MicGone(DWORD ms)
    {
        Prompt("MIC-GONE");
        const DWORD gone = GetTickCount();
        Event("mic gone");
        Box box;
        if (WaitFor([&] { return (box = FindBox(recorder_.Pid())).window != nullptr; }, kBoxWithinMs)) {
            cycle_.Add("away_box_ms", static_cast<long long>(GetTickCount() - gone));
            Sleep(kReadBoxMs);
            CloseBoxes("mic gone");
        }
        cycle_.AddBool("waiting", Recording() && FileCompleted(file_));
        WaitUntil(gone + ms, "mic gone");
        Prompt("MIC-BACK");
        const DWORD back = GetTickCount();
        const std::wstring next = NumberedFile(file_, 2);
        DWORD created = 0;
        const bool goesOn = WaitFor(
            [&] {
                const long long bytes = FileBytes(next);
                if (bytes >= 0 && !created)
                    created = GetTickCount();
                return bytes > 44;
            },
            30000);
        cycle_.Add("next_file_created_ms", created ? static_cast<long long>(created - back) : -1)
            .Add("next_file_ms", goesOn ? static_cast<long long>(GetTickCount() - back) : -1);
        Event("mic back");
    }

    // As faults.cpp's Sleeps: the suspend notice, the source and the window thread stopped, the
    // resume notices 1.5 s after the thread runs again.
    void Asleep(DWORD ms)
    {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(recorder_.Form(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0, SMTO_NORMAL, 5000, &ignored);
        // The notice wrote what had come back: the break the sleep leaves lies past these bytes.
        cycle_.Add("sleep_at_bytes", FileBytes(NumberedFile(file_, 2)) - 44);
        Prompt("SLEEP");
        thread_.Suspend(kFindRestMs);
        Event("sleep");
        Sleep(ms);
        Prompt("WAKE");
        thread_.Resume();
        Event("wake");
        Sleep(1500);
        PostMessageW(recorder_.Form(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        PostMessageW(recorder_.Form(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        Event("resume notices");
    }

    void Logoff()
    {
        DWORD_PTR answer = 1;
        const bool answered = SendMessageTimeoutW(recorder_.Form(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                                  SMTO_NORMAL, 5000, &answer) != 0;
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(recorder_.Form(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &ignored);
        Event("logoff refused", JsonObject()
                                    .Add("answer", answered ? static_cast<long long>(answer) : -1)
                                    .AddBool("recording_after", Recording()));
    }

    void Stop()
    {
        recorder_.Click(recorder_.StopButton());
        if (!WaitFor([&] { return Buttons(recorder_).record && !Buttons(recorder_).stop; }, 8000))
            Fail("Stop did not end the recording");
        Event("stop");
        // A recording in more than one file lists them once it is over.
        Box box;
        if (WaitFor([&] { return (box = FindBox(recorder_.Pid())).window != nullptr; }, 5000)) {
            NoteBox(box, "stop");
            cycle_.AddText("files_message", box.text);
            recorder_.CloseBox(box.window);
        }
        const std::wstring files[] = {file_, NumberedFile(file_, 2)};
        cycle_.AddBool("completed", WaitFor([&] { return FileCompleted(files[0]) && FileCompleted(files[1]); }, 10000));
        CloseBoxes("stop");
    }

    const DWORD start_;
    Recorder recorder_;
    std::wstring device_, folder_, file_;
    DWORD cycleMs_;
    ThreadStaller thread_;
    std::atomic<bool> done_{false};
    std::thread sampler_;
    DWORD cycleStart_ = 0;
    JsonObject cycle_;
    std::string boxes_, events_;
};

} // namespace

int Soak(const std::vector<std::wstring>& args)
{
    if (args.size() < 5)
        Fail("usage: soak EXE DEVICE FOLDER CYCLE_S ROW...");
    const DWORD cycleMs = std::stoul(args[3]) * 1000;
    if (cycleMs < kLastStepEndsMs + kStopBeforeEndMs + 10000)
        Fail("a cycle must last " + std::to_string((kLastStepEndsMs + kStopBeforeEndMs + 10000) / 1000) +
             " s at least for its events");
    Soaker soaker(args[0], args[1], args[2], cycleMs);
    for (size_t i = 4; i < args.size(); ++i)
        soaker.Cycle(static_cast<int>(i - 4), std::stoi(args[i]));
    const int exitCode = soaker.Close();
    Say("RESULT " + JsonObject().Add("exit_code", exitCode).Str());
    return 0;
}

} // namespace e2e
