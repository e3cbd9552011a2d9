// The capture benchmark's part inside Wine: records through the window while the recorder's window
// thread is suspended for STALL_MS and then left to run for a second, over and over, and reads the
// recorder's CPU time and memory.
//
//   bench_driver bench EXE DEVICE ROW FILE SECONDS STALL_MS [minimized]
//       prints STARTED once the buttons swapped (and the window was minimized, if asked),
//       CAPTURING once the first buffer came back, SAMPLE json at a third of SECONDS and at the end,
//       STOPPED when Stop was clicked (on the window restored), then RESULT json once the file is
//       complete; stalls begin within SECONDS of CAPTURING, and each is followed by a full second of
//       running
//
// The label probe is left out: its hook would cost the recorder's thread on every message. The
// first buffer shows as the file growing past its header.
//
// The window thread is found with GetWindowThreadProcessId and stalled with SuspendThread, which
// is what a busy or descheduled handler looks like to the device: it goes on filling the buffers
// it holds, and gets nothing back until the thread runs again. It is suspended only where it holds
// no lock of the platform's (thread_stall.h); BENCH_SUSPEND=anywhere suspends it wherever it is,
// BENCH_SUSPEND=busy only where it is not at rest.
#include "tests/e2e/thread_stall.h"
#include "tests/e2e/window_driver.h"

#include <psapi.h>

#include <algorithm>

namespace e2e {
namespace {

// After each stall the thread runs this long, time to catch up with what the device handed back.
constexpr DWORD kRunAfterStallMs = 1000;
// The thread is busy for a few milliseconds per buffer; this long without a resting place is a hang.
constexpr DWORD kFindRestMs = 5000;

// BENCH_SUSPEND: "anywhere" or "busy" instead of at rest (thread_stall.h).
std::wstring SuspendWhere()
{
    wchar_t value[16]{};
    GetEnvironmentVariableW(L"BENCH_SUSPEND", value, 16);
    return *value ? value : L"at-rest";
}

ThreadStaller::Where Where(const std::wstring& name)
{
    if (name == L"at-rest")
        return ThreadStaller::Where::AtRest;
    if (name == L"anywhere")
        return ThreadStaller::Where::Anywhere;
    if (name == L"busy")
        return ThreadStaller::Where::Busy;
    Fail("BENCH_SUSPEND must be at-rest, anywhere or busy, not " + Utf8(name));
}

// CPU time and memory as Windows reports them for the recorder's process.
std::string Sample(const Recorder& recorder, const char* when, DWORD sinceStart)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool times = GetProcessTimes(recorder.Process(), &created, &exited, &kernel, &user) != FALSE;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    const bool counters = GetProcessMemoryInfo(recorder.Process(), &memory, sizeof memory) != FALSE;
    JsonObject sample;
    sample.AddText("when", Wide(when))
        .Add("ms", static_cast<long long>(sinceStart))
        .Add("cpu_ms", times ? Milliseconds(kernel) + Milliseconds(user) : -1)
        .Add("peak_working_set", counters ? static_cast<long long>(memory.PeakWorkingSetSize) : -1)
        .Add("working_set", counters ? static_cast<long long>(memory.WorkingSetSize) : -1)
        .Add("peak_pagefile", counters ? static_cast<long long>(memory.PeakPagefileUsage) : -1);
    return sample.Str();
}

// The bytes of `fileName` past its 44-byte header.
long long DataBytes(const std::wstring& fileName)
{
    return std::max<long long>(0, FileBytes(fileName) - 44);
}

} // namespace

int BenchRecord(const std::wstring& exe, const std::wstring& device, int row, const std::wstring& fileName,
                int seconds, int stallMs, bool minimized)
{
    Recorder recorder(exe, L"");
    recorder.Choose(device, row);
    ThreadStaller thread(recorder.Process(), GetWindowThreadProcessId(recorder.Form(), nullptr), Where(SuspendWhere()));

    recorder.StartRecording(fileName);
    if (minimized)
        if (!MinimizeWindow(recorder, true))
            Fail("the window was not minimized");
    // The buttons swap just before the device is started: the peers begin here, the stalls only
    // once the first buffer came back, or a stall would merely start the recording late.
    const DWORD start = GetTickCount();
    Say("STARTED " + Sample(recorder, "start", 0));
    if (!WaitFor([&] { return DataBytes(fileName) > 0; }, 15000))
        Fail("no buffer came back within 15 s of the start");
    const DWORD capturing = GetTickCount();
    Say("CAPTURING " + std::to_string(capturing - start));

    JsonObject result;
    std::string stallStarts = "[";
    std::string suspensions = "[";
    int stalls = 0;
    int stallsVerified = 0;
    long long stalledMs = 0;
    bool sampledThird = false;
    const DWORD total = static_cast<DWORD>(seconds) * 1000;
    while (GetTickCount() - capturing < total) {
        DWORD cycle = GetTickCount();
        if (stallMs > 0) {
            const Suspension held = thread.Suspend(kFindRestMs);
            cycle = GetTickCount();
            suspensions += (stalls ? ", " : "") + JsonObject()
                                                      .Add("tries", held.tries)
                                                      .Add("waited_ms", static_cast<long long>(held.waitedMs))
                                                      .Add("tried_ms", static_cast<long long>(held.triedMs))
                                                      .AddText("first", Wide(held.first))
                                                      .AddText("held", Wide(held.held))
                                                      .Str();
            stallStarts += (stalls ? ", " : "") + std::to_string(cycle - capturing);
            ++stalls;
            // The check's own wait is part of the stall.
            if (stallMs >= 100 && WindowThreadStalled(recorder.Form()))
                ++stallsVerified;
            const DWORD elapsed = GetTickCount() - cycle;
            if (elapsed < static_cast<DWORD>(stallMs))
                Sleep(stallMs - elapsed);
            thread.Resume();
            stalledMs += GetTickCount() - cycle;
        }
        if (!sampledThird && GetTickCount() - capturing >= total / 3) {
            sampledThird = true;
            Say("SAMPLE " + Sample(recorder, "third", GetTickCount() - start));
        }
        // Without stalls the loop only paces the samples: it ends at SECONDS exactly.
        const DWORD left = total - std::min(total, GetTickCount() - capturing);
        Sleep(stallMs > 0 ? kRunAfterStallMs : std::min(kRunAfterStallMs, left));
    }
    if (!sampledThird) // a run shorter than one cycle
        Say("SAMPLE " + Sample(recorder, "third", GetTickCount() - start));
    const std::string last = Sample(recorder, "end", GetTickCount() - start);
    Say("SAMPLE " + last);
    if (minimized)
        if (!MinimizeWindow(recorder, false))
            Fail("the window was not restored");
    const DWORD stopped = GetTickCount();
    recorder.Click(recorder.StopButton());
    Say("STOPPED " + std::to_string(stopped - start));
    if (!WaitFor([&] { return FileCompleted(fileName); }, 10000))
        Fail("the file was not completed within 10 s of Stop");
    const DWORD completed = GetTickCount();
    const long long bufferSize = FormatBufferSize(RecordingFormats[row]);
    result.Add("wall_ms", static_cast<long long>(stopped - start))
        .Add("completed_ms", static_cast<long long>(completed - stopped))
        .Add("capturing_ms", static_cast<long long>(capturing - start))
        .Add("stalls", stalls)
        .Add("stalls_verified", stallsVerified)
        .Add("stalled_ms", stalledMs)
        .Add("buffers", (DataBytes(fileName) + bufferSize - 1) / bufferSize)
        .Add("end", last)
        .Add("stall_starts_ms", stallStarts + "]")
        .Add("suspensions", suspensions + "]")
        .AddText("suspended", SuspendWhere())
        .AddBool("minimized", minimized);
    result.Add("exit_code", static_cast<long long>(recorder.CloseWindow()));
    Say("RESULT " + result.Str());
    return 0;
}

// The soak's recording (soak_driver.cpp).
int Soak(const std::vector<std::wstring>& args);

} // namespace e2e

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    try {
        if ((args.size() == 7 || (args.size() == 8 && args[7] == L"minimized")) && args[0] == L"bench")
            return e2e::BenchRecord(args[1], args[2], std::stoi(args[3]), args[4], std::stoi(args[5]),
                                    std::stoi(args[6]), args.size() == 8);
        if (args.size() >= 6 && args[0] == L"soak")
            return e2e::Soak(std::vector<std::wstring>(args.begin() + 1, args.end()));
    } catch (const e2e::Failure& failure) {
        e2e::Say("FAIL " + failure.what);
        return 1;
    }
    e2e::Say("usage: bench_driver bench EXE DEVICE ROW FILE SECONDS STALL_MS [minimized] | soak EXE DEVICE FOLDER "
             "CYCLE_S ROW...");
    return 2;
}
