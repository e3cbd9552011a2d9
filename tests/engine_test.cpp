// The recording engine through the window's real message loop, with a simulated device.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <objbase.h>

#include "frame/application.h"
#include "tests/file_watch.h"
#include "tests/save_dialog_answerer.h"
#include "tests/sim_wave_in.h"
#include "tests/test_support.h"
#include "ui/device_list.h"
#include "ui/size_readout.h"
#include "ui/unit_main.h"

using namespace test_support;

namespace {

constexpr wchar_t kStopped[] = L"\nЗапись остановлена, всё записанное сохранено в файле.";

// One application object for the whole test program: its window classes are registered once.
TApplication& TestApplication()
{
    static TApplication application;
    static bool initialized = false;
    if (!initialized) {
        application.Initialize(GetModuleHandleW(nullptr));
        initialized = true;
    }
    return application;
}

std::vector<BYTE> Stream(uint64_t from, uint64_t count)
{
    std::vector<BYTE> bytes;
    for (uint64_t k = from; k < from + count; ++k)
        bytes.push_back(SimWaveIn::StreamByte(k));
    return bytes;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TApplication& app = TestApplication();
        app.SetBoxes(boxes);
        sim.devices = {{L"Sim Mic", 0xFFF}};
        form = std::make_unique<TForm1>(app, sim);
        form->Create();
        ASSERT_TRUE(scratch.Valid()) << "no scratch folder";
        dir = scratch.Path().wstring();
        UseFormat(5); // 22.05 kHz mono 16-bit: 22050-byte buffers
    }

    void TearDown() override
    {
        form.reset();
        Pump();
        TestApplication().SetBoxes(SystemBoxes());
        // Whatever ended it (Stop, the next numbered file, the session's end, the window closed).
        EXPECT_EQ(files.closedUnflushed, std::vector<std::wstring>{}) << "completed, but left in the system's cache";
    }

    void UseFormat(int row)
    {
        const TRecordingFormat& f = RecordingFormats[row];
        form->Channels = f.Channels;
        form->SampleRate = f.SampleRate;
        form->BitsPerSample = f.BitsPerSample;
        form->BufferSize = FormatBufferSize(f);
        form->DeviceId = 0;
    }

    // Starts a recording as the Record button does once the file is accepted.
    MMRESULT Start(const std::wstring& path)
    {
        form->SaveDialog1.FileName = path;
        EnableWindow(form->BitBtn1, FALSE);
        EnableWindow(form->BitBtn2, TRUE);
        const MMRESULT result = form->StartRecording(path);
        Pump();
        return result;
    }

    // Hands back full buffers one at a time, each handled before the next, as a steady device does.
    void Deliver(int buffers)
    {
        for (int i = 0; i < buffers; ++i) {
            ASSERT_TRUE(sim.Deliver()) << "no buffer queued for delivery " << i;
            Pump();
        }
    }

    // What the meter's tooltip would show now.
    std::wstring MeterTip() const
    {
        wchar_t text[128]{};
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = form->Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(form->LevelMeter1.Handle());
        tool.lpszText = text;
        for (HWND tip = nullptr; !text[0] && (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr));)
            if (GetWindow(tip, GW_OWNER) == form->Handle())
                SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        return text;
    }

    std::wstring LabelText() const
    {
        wchar_t text[64]{};
        GetWindowTextW(form->Label1, text, 64);
        return text;
    }

    // The file holds a complete header for the current format and exactly `data` after it.
    void ExpectWaveFile(const std::wstring& path, const std::vector<BYTE>& data)
    {
        const std::vector<BYTE> bytes = ReadAll(path);
        ASSERT_EQ(bytes.size(), 44 + data.size());
        const TWaveFileHeader header = HeaderOf(bytes);
        EXPECT_EQ(std::string(header.RiffTag, 4), "RIFF");
        EXPECT_EQ(header.RiffLength, 36 + data.size());
        EXPECT_EQ(header.DataLength, data.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 44)) << "audio bytes differ";
    }

    FileWatch files;
    SimWaveIn sim;
    std::unique_ptr<TForm1> form;
    TempDir scratch;
    std::wstring dir;
    TestBoxes boxes;
    std::vector<std::wstring>& errors = boxes.errors;
    std::vector<std::wstring>& messages = boxes.messages;
    std::vector<std::wstring>& deviceErrors = boxes.deviceErrors;
};

TEST_F(EngineTest, StopRightAfterStartWritesAnEmptyWaveFile)
{
    const std::wstring path = dir + L"\\empty.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    form->BitBtn2Click();
    Pump();
    EXPECT_FALSE(form->DeviceOpen());
    EXPECT_EQ(form->TotalBytes, 0);
    ExpectWaveFile(path, {});
    EXPECT_TRUE(errors.empty());
}

TEST_F(EngineTest, EveryBufferQueuedAndWrittenInOrderThroughAStalledWindow)
{
    const std::wstring path = dir + L"\\ring.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    const size_t ring = form->Buffers.size();
    EXPECT_EQ(sim.QueuedCount(), ring) << "the whole ring is at the device from the start";
    Deliver(3);
    // The window's thread is held up (a scanner, a network share reconnecting), longer than the
    // silence limit: the device fills two buffers a second before a notification is handled, still
    // holding a margin, and the stall is not taken for a silent device.
    form->SilenceLimitOverrideMs = 300;
    int stalled = 0;
    for (const int seconds : {10, 60}) {
        SCOPED_TRACE(std::to_string(seconds) + " s stall");
        EXPECT_EQ(sim.DeliverFull(2 * seconds), 2 * seconds) << "the device ran out of buffers";
        EXPECT_GE(sim.QueuedCount(), 2u) << "no margin left";
        Sleep(400);
        Pump();
        EXPECT_EQ(form->State(), TRecordingState::Recording) << "the stall was taken for silence";
        EXPECT_EQ(sim.QueuedCount(), ring) << "each handed-back buffer is queued again";
        stalled += 2 * seconds;
    }
    Deliver(2);
    sim.bytesAtReset = 1001;
    form->BitBtn2Click();
    Pump();
    const uint64_t expected = (5 + stalled) * 22050 + 1001;
    EXPECT_EQ(form->TotalBytes, static_cast<int32_t>(expected));
    ExpectWaveFile(path, Stream(0, expected));

    // Each header: prepared once, queued, and unprepared after the reset handed it back, before the close.
    std::set<const WAVEHDR*> prepared, unprepared;
    bool closed = false;
    for (const SimWaveIn::Call& call : sim.headerCalls) {
        if (call.op == SimWaveIn::Op::PrepareHeader) {
            EXPECT_TRUE(prepared.insert(call.header).second) << "a header prepared twice";
        } else if (call.op == SimWaveIn::Op::UnprepareHeader) {
            EXPECT_TRUE(unprepared.insert(call.header).second && !closed) << "unprepared twice or after the close";
        } else if (call.op == SimWaveIn::Op::AddBuffer) {
            EXPECT_TRUE(prepared.count(call.header) && !unprepared.count(call.header)) << "queued unprepared";
        }
        closed = closed || call.op == SimWaveIn::Op::Close;
    }
    EXPECT_EQ(prepared.size(), ring);
    EXPECT_EQ(unprepared, prepared);
    EXPECT_TRUE(closed);
}

TEST_F(EngineTest, ReadOutGrowsPerBufferShowsFileSizeAtStopThenTheTotal)
{
    UseFormat(0); // 5512-byte buffers
    const std::wstring path = dir + L"\\readout.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    std::vector<std::wstring> seen;
    for (int i = 0; i < 3; ++i) {
        Deliver(1);
        seen.push_back(LabelText());
    }
    sim.bytesAtReset = 100;
    form->BitBtn2Click();
    seen.push_back(LabelText()); // the file on disk at the click: header and three buffers
    Pump();
    seen.push_back(LabelText());
    const std::vector<std::wstring> expected = {FormatSize(5512), FormatSize(11024), FormatSize(16536),
                                                FormatSize(44 + 16536), FormatSize(16636)};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
}

// A muted or blocked microphone delivers exact zeros: said once per recording, counted from the
// samples, and the recording goes on. The meter's tooltip tells the recorded time.
TEST_F(EngineTest, SilentFirstThreeSecondsAreToldOnceAndTheRecordingGoesOn)
{
    const struct {
        int row;
        int fill; // the device's bytes for the first `silentBuffers` half seconds, then its stream
        int silentBuffers;
        size_t messages;
        int fileBuffers = 0; // where the size limit starts the next file; 0: none
    } cases[] = {
        {5, 0, 10, 1},    // 16-bit zeros for 5 s
        {0, 128, 10, 1},  // 8-bit: the zero line is 128
        {0, 0, 10, 0},    // 8-bit 0 is full scale, not silence
        {5, 0, 5, 0},     // sound from 2.5 s on
        {5, 0, 6, 1},     // sound from 3 s on
        {5, 0, 12, 1, 6}, // a second file of 3 s of zeros is the same recording
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(index));
        boxes.messages.clear();
        UseFormat(c.row);
        form->MaxTotalBytes = c.fileBuffers ? c.fileBuffers * form->BufferSize : kMaxWaveDataBytes;
        ASSERT_EQ(Start(dir + L"\\silent" + std::to_wstring(index++) + L".wav"), MMSYSERR_NOERROR);
        sim.constantByte = c.fill;
        Deliver(c.silentBuffers);
        sim.constantByte = -1;
        Deliver(12 - c.silentBuffers);
        ASSERT_EQ(boxes.messages.size(), c.messages);
        EXPECT_EQ(form->State(), TRecordingState::Recording) << "the recording goes on";
        EXPECT_EQ(form->TotalBytes, (c.fileBuffers ? c.fileBuffers : 12) * form->BufferSize);
        // Twelve buffers of 5512 bytes fall just short of 6 s at 11025 bytes a second; below, the
        // time the disk still holds.
        const std::wstring tip = MeterTip();
        EXPECT_EQ(tip.substr(0, tip.find(L'\n')), c.row == 0 ? L"Записано: 0:00:05" : L"Записано: 0:00:06");
        EXPECT_NE(tip.find(L"\nМеста на диске хватит на "), std::wstring::npos) << tip;
        form->BitBtn2Click();
        Pump();
    }
}

TEST_F(EngineTest, SecondRecordingStartsFromZeroWithFreshBuffers)
{
    const std::wstring first = dir + L"\\first.wav";
    const std::wstring second = dir + L"\\second.wav";
    ASSERT_EQ(Start(first), MMSYSERR_NOERROR);
    Deliver(3);
    form->BitBtn2Click();
    Pump();
    EXPECT_TRUE(form->Buffers.empty()) << "buffers are released when the device has closed";

    UseFormat(1); // another format: the first file's header must keep its own
    ASSERT_EQ(Start(second), MMSYSERR_NOERROR);
    EXPECT_EQ(form->TotalBytes, 0);
    ASSERT_EQ(form->Buffers.size(), 125u) << "62 s of 11024-byte buffers at 22050 bytes a second, rounded up";
    EXPECT_EQ(form->Buffers[0].Header.lpData, reinterpret_cast<LPSTR>(form->Buffers[0].Data.get()));
    EXPECT_EQ(form->Buffers[0].Header.dwBufferLength, 11024u) << "whole frames: 11025 bytes would end mid-sample";
    Deliver(2);
    form->BitBtn2Click();
    Pump();
    ExpectWaveFile(second, Stream(3 * 22050, 2 * 11024));
    const std::vector<BYTE> firstBytes = ReadAll(first);
    ASSERT_EQ(firstBytes.size(), 44u + 3 * 22050);
    EXPECT_EQ(HeaderOf(firstBytes).SampleRate, 22050u) << "the first file keeps its own format";
}

// The device is opened before the file is created: one that refuses leaves an earlier recording of
// that name as it was.
TEST_F(EngineTest, FailingStartStepReturnsItsResultUnchangedFirstOneWinning)
{
    using Op = SimWaveIn::Op;
    const struct {
        std::vector<std::pair<Op, MMRESULT>> failures;
        MMRESULT expected;
    } cases[] = {
        {{{Op::Open, MMSYSERR_ALLOCATED}}, MMSYSERR_ALLOCATED},
        {{{Op::Open, WAVERR_BADFORMAT}, {Op::Start, MMSYSERR_NOMEM}}, WAVERR_BADFORMAT},
        {{{Op::PrepareHeader, MMSYSERR_NOMEM}, {Op::Start, MMSYSERR_ERROR}}, MMSYSERR_NOMEM},
        {{{Op::AddBuffer, MMSYSERR_INVALPARAM}, {Op::Start, MMSYSERR_ERROR}}, MMSYSERR_INVALPARAM},
        {{{Op::Start, MMSYSERR_NODRIVER}}, MMSYSERR_NODRIVER},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(index));
        sim.failures.clear();
        for (const auto& [op, result] : c.failures)
            sim.failures[op] = result;
        const size_t opensBefore = sim.openedDevices.size();
        const std::wstring path = dir + L"\\failed" + std::to_wstring(index++) + L".wav";
        const std::vector<BYTE> earlier = Stream(0, 1000);
        ASSERT_TRUE(WriteAll(path, earlier));
        EXPECT_EQ(Start(path), c.expected);
        EXPECT_EQ(sim.openedDevices.size(), opensBefore + 1);
        EXPECT_FALSE(sim.IsOpen()) << "a device opened for a failed start is closed again";
        EXPECT_FALSE(form->DeviceOpen());
        EXPECT_EQ(sim.staleCalls, 0) << "a device call went to a device that was not open";
        if (c.failures.front().first == Op::Open)
            EXPECT_EQ(ReadAll(path), earlier) << "the earlier recording was touched";
        else
            ExpectWaveFile(path, {}); // a valid, empty WAVE file
    }
}

TEST_F(EngineTest, FileThatCannotBeCreatedRaisesIoErrorAndClosesTheDeviceAgain)
{
    const std::wstring first = dir + L"\\first.wav";
    ASSERT_EQ(Start(first), MMSYSERR_NOERROR);
    form->BitBtn2Click();
    Pump();
    const std::wstring path = dir + L"\\missing folder\\x.wav";
    try {
        form->StartRecording(path);
        FAIL() << "StartRecording succeeded on a missing folder";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), 3);
    }
    EXPECT_EQ(sim.openedDevices.size(), 2u);
    EXPECT_FALSE(sim.IsOpen()) << "the device opened for the file is closed again";
    // Stop afterwards only resets the buttons: the closed device is not called.
    const int resets = sim.resetCount;
    form->SaveDialog1.FileName = path;
    form->BitBtn2Click();
    Pump();
    EXPECT_EQ(LabelText(), L"-1 байт");
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_EQ(sim.resetCount, resets);
    EXPECT_EQ(sim.staleCalls, 0);
}

TEST_F(EngineTest, FailureWhileCompletingIsReportedAndTheNextRecordingWorks)
{
    const std::wstring path = dir + L"\\header.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(1);
    form->WaveFile.Close(); // completing the file now fails: it is no longer open
    files.closedUnflushed.clear(); // by the test, not the recorder
    form->BitBtn2Click();
    Pump();
    ASSERT_FALSE(errors.empty()) << "the failed completion is reported";
    for (const std::wstring& error : errors)
        EXPECT_EQ(error, L"I/O error 103.");
    EXPECT_FALSE(form->DeviceOpen());
    EXPECT_TRUE(form->Buffers.empty()) << "the closed device's buffers are released all the same";

    errors.clear();
    const std::wstring next = dir + L"\\next.wav";
    ASSERT_EQ(Start(next), MMSYSERR_NOERROR);
    Deliver(1);
    form->BitBtn2Click();
    Pump();
    EXPECT_TRUE(errors.empty());
    ExpectWaveFile(next, Stream(22050, 22050));
}

TEST_F(EngineTest, StopThenRecordAtOnceCompletesTheFirstFileBeforeTheSecondStarts)
{
    const std::wstring first = dir + L"\\a.wav";
    const std::wstring second = dir + L"\\b.wav";
    SendMessageW(form->ListBox1, LB_SETCURSEL, 5, 0); // 22.05 kHz mono 16-bit
    std::thread dialog = save_dialog::AnswerNext(first);
    form->BitBtn1Click();
    dialog.join();
    ASSERT_TRUE(form->DeviceOpen());
    Deliver(2);
    sim.bytesAtReset = 500;
    const HWAVEIN firstHandle = form->WaveIn;
    const WAVEHDR* firstHeader = &form->Buffers[0].Header;
    form->BitBtn2Click(); // its notifications are still queued when the next recording starts
    // Late copies of the first device's notifications, still queued when the second device opens.
    PostMessageW(form->Handle(), MM_WIM_DATA, reinterpret_cast<WPARAM>(firstHandle),
                 reinterpret_cast<LPARAM>(firstHeader));
    PostMessageW(form->Handle(), MM_WIM_CLOSE, reinterpret_cast<WPARAM>(firstHandle), 0);

    UseFormat(9); // 44.1 kHz mono 16-bit
    form->SaveDialog1.FileName = second;
    ASSERT_EQ(form->StartRecording(second), MMSYSERR_NOERROR);
    ASSERT_TRUE(form->DeviceOpen());
    ASSERT_EQ(form->WaveIn, firstHandle) << "the second device has the first one's handle value";
    ExpectWaveFile(first, Stream(0, 2 * 22050 + 500));
    EXPECT_EQ(HeaderOf(ReadAll(first)).SampleRate, 22050u) << "the first file keeps its own format";

    // The late copies must not touch the second recording, though its handle has the same value.
    Pump();
    EXPECT_TRUE(form->DeviceOpen());
    EXPECT_EQ(form->TotalBytes, 0);
    sim.bytesAtReset = 0;
    Deliver(1);
    form->BitBtn2Click();
    Pump();
    ExpectWaveFile(second, Stream(2 * 22050 + 500, 44100));
}

TEST_F(EngineTest, PastTheSizeLimitTheRecordingGoesOnIntoTheNextFreeNumber)
{
    UseFormat(0); // 5512-byte buffers
    form->MaxTotalBytes = 5512 * 2 + 100;
    const std::wstring path = dir + L"\\limit.wav";
    const std::wstring taken = dir + L"\\limit (2).wav";
    WriteAll(taken, {'k', 'e', 'e', 'p'});
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(5);
    EXPECT_TRUE(form->DeviceOpen()) << "the size limit ended the recording";
    EXPECT_EQ(LabelText(), FormatSize(5512)) << "the label counts the file being written";
    sim.bytesAtReset = 300;
    form->BitBtn2Click();
    Pump();
    // Frame-exact across the boundaries: each file holds whole buffers, continuing the last.
    ExpectWaveFile(path, Stream(0, 2 * 5512));
    EXPECT_EQ(ReadAll(taken), (std::vector<BYTE>{'k', 'e', 'e', 'p'})) << "an existing file was taken";
    ExpectWaveFile(dir + L"\\limit (3).wav", Stream(2 * 5512, 2 * 5512));
    ExpectWaveFile(dir + L"\\limit (4).wav", Stream(4 * 5512, 5512 + 300));
    EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Запись сохранена в файлах:\n" + path + L"\n" + dir +
                                                  L"\\limit (3).wav\n" + dir + L"\\limit (4).wav"});
}

TEST_F(EngineTest, FailedAllocationIsReportedAndNoBufferReachesTheDevice)
{
    form->BufferSize = 0;
    try {
        form->StartRecording(dir + L"\\nomem.wav");
        FAIL() << "StartRecording went on without buffers";
    } catch (const EAppError& error) {
        EXPECT_NE(error.Message().find(L"memory"), std::wstring::npos);
    }
    EXPECT_TRUE(sim.openedDevices.empty());
}

TEST_F(EngineTest, DefaultSilenceLimitAllowsAPauseAndALateStart)
{
    // 8 s for a device that pauses and comes back, however long the ring; 10 s more before capture
    // has delivered anything.
    ASSERT_EQ(Start(dir + L"\\limit.wav"), MMSYSERR_NOERROR);
    EXPECT_EQ(form->SilenceLimitMs(), 18000u);
    Deliver(1);
    EXPECT_EQ(form->SilenceLimitMs(), 8000u);
    form->BitBtn2Click();
    Pump();
}

// A device that stops delivering audio, or delivers nonsense, ends the recording with everything
// written before, and the report says why.
TEST_F(EngineTest, DeviceThatGoesAwayEndsTheRecordingKeepingWhatCameBefore)
{
    using Op = SimWaveIn::Op;
    const std::wstring silent = std::wstring(L"Устройство аудиоввода перестало передавать звук.") + kStopped;
    enum class Fault { Silent, SilentCloseFails, EmptyBuffersInALoop, OversizedCount, RequeueRefused };
    const struct {
        const char* name;
        Fault fault;
        std::wstring report;
    } cases[] = {
        {"silent", Fault::Silent, silent},
        {"silent, close fails too", Fault::SilentCloseFails, silent},
        {"empty buffers in a loop", Fault::EmptyBuffersInALoop, silent},
        {"count larger than the buffer", Fault::OversizedCount,
         std::wstring(L"Устройство аудиоввода сообщило о большем числе байт, чем вмещает буфер.") + kStopped},
        {"queueing again refused: the device has gone", Fault::RequeueRefused,
         std::wstring(L"Устройство аудиоввода отключено или больше не доступно.") + kStopped},
    };
    int index = 0;
    std::vector<const WAVEHDR*> abandoned;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        form->SilenceLimitOverrideMs = 300;
        const std::wstring path = dir + L"\\gone" + std::to_wstring(index++) + L".wav";
        ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
        std::vector<const WAVEHDR*> current;
        for (const TCaptureBuffer& buffer : form->Buffers) {
            EXPECT_EQ(std::count(abandoned.begin(), abandoned.end(), &buffer.Header), 0)
                << "a buffer the device may still hold was given to a new recording";
            current.push_back(&buffer.Header);
        }
        const uint64_t from = sim.StreamPosition();
        Deliver(2);
        switch (c.fault) {
        case Fault::SilentCloseFails:
            sim.failures[Op::Close] = MMSYSERR_NODRIVER;
            [[fallthrough]];
        case Fault::Silent:
            sim.handsBackBuffers = false;
            break;
        case Fault::EmptyBuffersInALoop:
            sim.handsBackEmpty = true;
            sim.Deliver(0);
            break;
        case Fault::OversizedCount:
            sim.Deliver(22050 + 2);
            break;
        case Fault::RequeueRefused:
            sim.failures[Op::AddBuffer] = MMSYSERR_NODRIVER;
            sim.Deliver();
            break;
        }
        EXPECT_TRUE(PumpFor(3000, [&] { return !form->DeviceOpen(); }))
            << "the device went away, yet the recording did not end";
        EXPECT_EQ(errors, std::vector<std::wstring>{c.report});
        EXPECT_TRUE(deviceErrors.empty()) << "the start's device box is for failed starts only";
        EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
        EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
        // What came after a fault is not written: the file would skip audio.
        const uint64_t kept = c.fault == Fault::RequeueRefused ? 3 * 22050 : 2 * 22050;
        ExpectWaveFile(path, Stream(from, kept));
        if (c.fault == Fault::SilentCloseFails)
            abandoned = current;
        sim.handsBackBuffers = true;
        sim.handsBackEmpty = false;
        sim.failures.clear();
        if (sim.IsOpen())
            sim.Close(sim.CurrentHandle());
        Pump();
    }
}

// Unplugged and plugged back (or a driver restarting), the device is waited for by its identity,
// and the recording goes on into the next numbered file each time it returns.
TEST_F(EngineTest, ADeviceThatGoesAwayIsWaitedForByIdentityAndTheRecordingGoesOn)
{
    using Op = SimWaveIn::Op;
    const SimWaveIn::Device mic{L"Sim Mic", 0xFFF, L"{mic}"}, namesake{L"Sim Mic", 0xFFF, L"{other}"};
    const auto waiting = [&] { return form->State() == TRecordingState::WaitingForDevice; };
    const auto recording = [&] { return form->State() == TRecordingState::Recording; };
    sim.devices = {mic};
    form->SilenceLimitOverrideMs = 300;
    const std::wstring path = dir + L"\\away.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(2);
    // Unplugged: it will not take its buffers back, and leaves the list to a device of its name.
    sim.failures[Op::AddBuffer] = MMSYSERR_NODRIVER;
    sim.Deliver();
    sim.devices = {namesake};
    ASSERT_TRUE(PumpFor(3000, waiting));
    ExpectWaveFile(path, Stream(0, 3 * 22050));
    EXPECT_EQ(errors, std::vector<std::wstring>{L"Устройство аудиоввода отключено или больше не доступно.\nВсё "
                                                L"записанное сохранено в файле. Запись продолжится в следующий "
                                                L"файл, когда устройство вернётся."});
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn1));
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn2)) << "Stop ends a recording that waits";
    PumpFor(1500);
    EXPECT_TRUE(waiting()) << "another device of the same name was taken for it";

    // Back at another position: the system's device notification finds it.
    sim.failures.clear();
    sim.devices = {namesake, mic};
    SendMessageW(form->Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    ASSERT_TRUE(recording());
    EXPECT_EQ(sim.openedDevices.back(), 1u);
    EXPECT_EQ(sim.openedFormats.back().nSamplesPerSec, 22050u) << "reopened in another format";
    const uint64_t second = sim.StreamPosition();
    Deliver(1);
    EXPECT_EQ(LabelText(), FormatSize(22050));

    // Silent this time, and back without a notification: the once-a-second look finds it.
    sim.handsBackBuffers = false;
    ASSERT_TRUE(PumpFor(3000, waiting));
    sim.handsBackBuffers = true;
    ASSERT_TRUE(PumpFor(2500, recording)) << "the device came back and was not looked for";
    const uint64_t third = sim.StreamPosition();
    Deliver(1);
    EXPECT_EQ(errors.size(), 1u) << "told once a recording";

    // Stop while it waits ends the recording, as ever.
    sim.devices = {namesake};
    sim.failures[Op::AddBuffer] = MMSYSERR_BADDEVICEID;
    sim.Deliver();
    ASSERT_TRUE(PumpFor(3000, waiting));
    form->BitBtn2Click();
    Pump();
    EXPECT_EQ(form->State(), TRecordingState::Idle);
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    ExpectWaveFile(dir + L"\\away (2).wav", Stream(second, 22050));
    ExpectWaveFile(dir + L"\\away (3).wav", Stream(third, 2 * 22050));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(L"away (3).wav"), std::wstring::npos) << messages[0];
}

TEST_F(EngineTest, ClosingTheWindowMidRecordingCompletesTheFile)
{
    const std::wstring path = dir + L"\\closed.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(2);
    sim.bytesAtReset = 77;
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(form->Handle(), nullptr);
    ExpectWaveFile(path, Stream(0, 2 * 22050 + 77));
}

// The session around a recording. Windows sends these to every top-level window; here they come as
// sent messages do, ahead of the buffers the device has handed back and that still wait in the queue.
TEST_F(EngineTest, SleepAndTheEndOfTheSessionFindTheFileComplete)
{
    const auto executionState = [] {
        const EXECUTION_STATE state = SetThreadExecutionState(ES_CONTINUOUS);
        SetThreadExecutionState(state);
        return state;
    };
    const auto endSession = [&](UINT message, WPARAM wParam, LPARAM reason) {
        return SendMessageW(form->Handle(), message, wParam, reason);
    };
    form->SilenceLimitOverrideMs = 400;
    const std::wstring path = dir + L"\\session.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    EXPECT_EQ(executionState(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
        << "the idle timer may put the system to sleep mid-recording";

    // Before the system sleeps, what the device handed back is in the file.
    ASSERT_EQ(sim.DeliverFull(2), 2);
    endSession(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ExpectWaveFile(path, Stream(0, 2 * 22050));
    EXPECT_EQ(files.Unflushed(), std::vector<std::wstring>{}) << "a recording that never wakes is on the disk";
    // Waking, the device is given its time to deliver again: the silence around a sleep is no fault.
    PumpFor(300);
    endSession(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    PumpFor(300);
    EXPECT_TRUE(form->DeviceOpen()) << "the sleep counted as the device's silence";
    // Paused while the clock ran on (Modern Standby, a debugger): the timer that fell due meanwhile
    // comes before the resume notice, and the same file goes on.
    Sleep(2500);
    PumpFor(100);
    endSession(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(form->State(), TRecordingState::Recording) << "the pause counted as the device's silence";

    EXPECT_EQ(endSession(WM_QUERYENDSESSION, 0, 0), FALSE) << "shutdown while recording";
    EXPECT_EQ(endSession(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE) << "logoff while recording";
    EXPECT_EQ(endSession(WM_QUERYENDSESSION, 0, ENDSESSION_CRITICAL), TRUE);
    EXPECT_EQ(endSession(WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP), TRUE);
    // The session ends: once the message returns, the process may be ended at any moment.
    ASSERT_EQ(sim.DeliverFull(2), 2);
    sim.bytesAtReset = 300;
    endSession(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_FALSE(form->DeviceOpen());
    ExpectWaveFile(path, Stream(0, 4 * 22050 + 300));
    EXPECT_EQ(executionState(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS)) << "the system is kept awake still";
    EXPECT_EQ(endSession(WM_QUERYENDSESSION, 0, 0), TRUE) << "nothing recording, nothing to wait for";
    EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
}

// Appends that fail for real: a file system too small for the recording.
class EngineOnTinyDisk : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const wchar_t* tiny = _wgetenv(L"RECORDER_TINY_FS");
        ASSERT_TRUE(tiny) << "RECORDER_TINY_FS is not set: run through tests/bench/tinyfs.sh, as root";
        dir = tiny;
    }

    void TearDown() override
    {
        if (!filler.empty())
            DeleteFileW(filler.c_str());
        EngineTest::TearDown();
    }

    // Fills the disk so that only about `room` bytes stay free.
    void LeaveRoom(uint64_t room)
    {
        filler = dir + L"\\filler.bin";
        ULARGE_INTEGER freeBytes{};
        ASSERT_TRUE(GetDiskFreeSpaceExW(dir.c_str(), &freeBytes, nullptr, nullptr));
        ASSERT_GT(freeBytes.QuadPart, room);
        const HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::vector<BYTE> block(4096, 0xAA);
        uint64_t left = freeBytes.QuadPart - room;
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(left, block.size()));
            if (!WriteFile(file, block.data(), chunk, &written, nullptr) || written == 0)
                break;
            left -= written;
        }
        CloseHandle(file);
    }

    std::wstring filler;
};

TEST_F(EngineOnTinyDisk, AFailedAppendIsWrittenAgainBeforeLaterBuffersSoNothingIsLost)
{
    UseFormat(0); // 5512-byte buffers
    const std::wstring path = dir + L"\\full.wav";
    LeaveRoom(4096 * 3); // the header and two buffers fit, in 4 KiB pages
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(3);
    ASSERT_EQ(errors, std::vector<std::wstring>{L"Disk full."}) << "the disk filled up, yet no append failed";
    EXPECT_EQ(form->TotalBytes, 2 * 5512);
    EXPECT_EQ(sim.QueuedCount(), form->Buffers.size() - 1) << "the buffer that failed waits, not queued";

    DeleteFileW(filler.c_str()); // room again: the waiting buffer goes first, then the rest
    Deliver(2);
    EXPECT_EQ(sim.QueuedCount(), form->Buffers.size());
    form->BitBtn2Click();
    Pump();
    ExpectWaveFile(path, Stream(0, 5 * 5512));
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EngineOnTinyDisk, AppendFailingTwiceStopsTheRecordingAndReportsOnceTheBoxCloses)
{
    UseFormat(0);
    const std::wstring path = dir + L"\\nest.wav";
    LeaveRoom(4096 * 2); // the header and one buffer
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    boxes.onShow = [&](TBoxKind kind, const std::wstring& text) {
        (kind == TBoxKind::Message ? messages : errors).push_back(text);
        if (errors.size() == 1) {
            // While the first box is up its loop keeps delivering buffers: the retry fails too.
            for (int i = 0; i < 4; ++i) {
                sim.Deliver();
                Pump();
            }
        }
    };
    Deliver(2);
    Pump();
    EXPECT_EQ(errors, (std::vector<std::wstring>{
                          L"Disk full.", L"Disk full.",
                          L"Запись остановлена: звук не удаётся записать в файл. Файл содержит всё, что было "
                          L"записано до ошибки."}))
        << "the second failure and the stop, during the first box, are reported once it has closed";
    ASSERT_EQ(messages.size(), 1u) << "a disk this small is told once, as the recording starts";
    EXPECT_EQ(messages[0].rfind(L"На диске осталось места примерно на 1 мин записи.", 0), 0u) << messages[0];
    EXPECT_FALSE(form->DeviceOpen()) << "a disk that stays full stops the recording";
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
    // The file ends at the last buffer written in order: nothing after the one that failed.
    ExpectWaveFile(path, Stream(0, 5512));
}

// The classic dialog, which a thread outside a single-threaded apartment gets: a name longer than
// the file layer takes is reported rather than dropped as a cancel would be. (Under Wine the item
// dialog cuts such a name to 259 characters itself; the classic one crashed on 300.)
TEST_F(EngineTest, ClassicSaveDialogReportsANameTooLong)
{
    const std::wstring name = dir + L"\\" + std::wstring(260 - dir.size() - 4, L'n') + L".wav"; // 261
    std::wstring reported;
    std::thread dialog([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        try {
            form->SaveDialog1.Execute(nullptr);
        } catch (const EAppError& error) {
            reported = error.Message();
        }
        CoUninitialize();
    });
    save_dialog::AnswerNext(name).join();
    dialog.join();
    EXPECT_EQ(reported, L"The file name is too long: at most 259 characters");
}

// The final header goes through the handle the recording was written with. By the end the name may
// lead elsewhere (here: a relative name, and another current folder), and what is there now must
// not receive it.
TEST_F(EngineTest, FinalHeaderGoesThroughTheOpenFileNotItsName)
{
    const TempDir otherFolder;
    const std::wstring elsewhere = otherFolder.Path().wstring();
    const std::string other = "another program's file";
    ASSERT_TRUE(WriteAll(elsewhere + L"\\take.wav", std::vector<BYTE>(other.begin(), other.end())));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);

    SetCurrentDirectoryW(dir.c_str());
    ASSERT_EQ(Start(L"take.wav"), MMSYSERR_NOERROR);
    Deliver(2);
    SetCurrentDirectoryW(elsewhere.c_str());
    form->BitBtn2Click();
    Pump();
    SetCurrentDirectoryW(previous);

    EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    ExpectWaveFile(dir + L"\\take.wav", Stream(0, 2 * 22050));
    const std::vector<BYTE> there = ReadAll(elsewhere + L"\\take.wav");
    EXPECT_EQ(std::string(there.begin(), there.end()), other);
}

// ---- The device list following the system ----------------------------------------------------

std::wstring SelectedItem(HWND list, bool comboBox)
{
    const LRESULT index = SendMessageW(list, comboBox ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    wchar_t text[64]{};
    if (index >= 0)
        SendMessageW(list, comboBox ? CB_GETLBTEXT : LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

void DevicesChangeTo(TForm1& form, SimWaveIn& sim, std::vector<SimWaveIn::Device> devices)
{
    sim.devices = std::move(devices);
    SendMessageW(form.Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

void Choose(TForm1& form, int device, int format)
{
    SendMessageW(form.ComboBox1, CB_SETCURSEL, device, 0);
    form.ComboBox1Change();
    SendMessageW(form.ListBox1, LB_SETCURSEL, format, 0);
}

TEST_F(EngineTest, DeviceChangeRefillsTheListKeepingTheChoiceByIdentity)
{
    const std::wstring format = RecordingFormats[2].Name; // Mic B supports rows 0 to 3 only
    const SimWaveIn::Device a{L"Mic A", 0xFFF, L"{a}"}, b{L"Mic B", 0x00F, L"{b}"}, c{L"Mic C", 0xFFF, L"{c}"};
    const struct {
        const char* what;
        std::vector<SimWaveIn::Device> devices;
        const wchar_t* chosen;
        const wchar_t* format;
    } cases[] = {
        {"a device added in front", {{L"New", 0xFFF, L"{n}"}, a, b}, L"Mic B", format.c_str()},
        {"one of its name added in front", {{L"Mic B", 0xFFF, L"{n}"}, a, b}, L"Mic B (2)", format.c_str()},
        {"others removed", {b}, L"Mic B", format.c_str()},
        {"the chosen one removed", {a, c}, L"Mic A", L""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        DevicesChangeTo(*form, sim, {a, b, c});
        Choose(*form, 1, 2);
        DevicesChangeTo(*form, sim, row.devices);
        EXPECT_EQ(SendMessageW(form->ComboBox1, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(row.devices.size()));
        EXPECT_EQ(SelectedItem(form->ComboBox1, true), row.chosen);
        EXPECT_EQ(SelectedItem(form->ListBox1, false), row.format);
    }
}

TEST_F(EngineTest, DeviceChangeWhileRecordingRefillsTheListAtStop)
{
    ASSERT_EQ(Start(dir + L"\\take.wav"), MMSYSERR_NOERROR);
    DevicesChangeTo(*form, sim, {{L"New", 0xFFF}, {L"Sim Mic", 0xFFF}});
    EXPECT_EQ(SendMessageW(form->ComboBox1, CB_GETCOUNT, 0, 0), 1);
    form->BitBtn2Click();
    Pump();
    EXPECT_EQ(SendMessageW(form->ComboBox1, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SelectedItem(form->ComboBox1, true), L"Sim Mic");
}

// Device numbers shift when devices come and go and when the default changes, with no device
// change message for the latter: Record opens the device shown where it is at that moment, by its
// identity (by name where the system tells none), and never another device of the same name.
TEST_F(EngineTest, RecordOpensTheChosenDeviceWhereItIsNowAndEndsWhenItHasGone)
{
    constexpr int kGone = -1;
    const struct {
        const char* what;
        std::vector<SimWaveIn::Device> listed;
        int chosen;
        std::vector<SimWaveIn::Device> now;
        int opened;
    } cases[] = {
        {"moved, no identities", {{L"Mic A", 0xFFF}, {L"Mic B", 0xFFF}}, 1, {{L"Mic B", 0xFFF}, {L"Mic A", 0xFFF}}, 0},
        {"gone, no identities", {{L"Mic A", 0xFFF}, {L"Mic B", 0xFFF}}, 1, {{L"Mic A", 0xFFF}}, kGone},
        {"moved among devices of its name",
         {{L"Mic", 0xFFF, L"{a}"}, {L"Mic", 0xFFF, L"{b}"}}, 1, {{L"Mic", 0xFFF, L"{b}"}, {L"Mic", 0xFFF, L"{a}"}}, 0},
        {"gone, another of its name in its place", {{L"Mic", 0xFFF, L"{a}"}}, 0, {{L"Mic", 0xFFF, L"{b}"}}, kGone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DevicesChangeTo(*form, sim, c.listed);
        Choose(*form, c.chosen, 5);
        sim.devices = c.now;
        sim.openedDevices.clear();
        deviceErrors.clear();
        std::thread dialog = save_dialog::AnswerNext(dir + L"\\take.wav");
        form->BitBtn1Click();
        dialog.join();
        if (c.opened != kGone) {
            EXPECT_EQ(sim.openedDevices, std::vector<UINT>{static_cast<UINT>(c.opened)});
            form->BitBtn2Click();
            Pump();
            continue;
        }
        EXPECT_TRUE(sim.openedDevices.empty()) << "nothing opened for a device that has gone";
        EXPECT_EQ(deviceErrors, std::vector<std::wstring>{L"A device ID has been used that is out of range for your system."
                                                          L"\n\nВозможно, микрофон занят другой программой или доступ к "
                                                          L"нему выключен в Параметры → Конфиденциальность → Микрофон."});
        EXPECT_TRUE(TestApplication().Terminated());
        Pump(); // takes the quit that would end the program
    }
}

// The capabilities cut names at 31 characters: the list shows the endpoint's, tells devices of one
// name apart, and opens wide enough for the longest.
TEST_F(EngineTest, DeviceListShowsFullNamesToldApartInAListWideEnough)
{
    const std::wstring full = L"Microphone Array (Studio Capture Device 2000)";
    DevicesChangeTo(*form, sim,
                    {{full, 0xFFF, L"{a}", full}, {L"Mic", 0xFFF}, {L"Mic", 0xFFF, L"{c}"}, {L"Mic (2)", 0xFFF}, {L"Mic", 0xFFF}});
    std::vector<std::wstring> items;
    for (LRESULT i = 0; i < SendMessageW(form->ComboBox1, CB_GETCOUNT, 0, 0); ++i)
        items.push_back(ListItemText(form->ComboBox1, true, i));
    EXPECT_EQ(items, (std::vector<std::wstring>{full, L"Mic", L"Mic (3)", L"Mic (2)", L"Mic (4)"}));

    RECT box{};
    GetWindowRect(form->ComboBox1, &box);
    const HDC dc = GetDC(form->ComboBox1);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(form->ComboBox1, WM_GETFONT, 0, 0)));
    SIZE longest{};
    GetTextExtentPoint32W(dc, full.c_str(), static_cast<int>(full.size()), &longest);
    ReleaseDC(form->ComboBox1, dc);
    ASSERT_GT(longest.cx, box.right - box.left) << "the name must not fit the control";
    EXPECT_GT(SendMessageW(form->ComboBox1, CB_GETDROPPEDWIDTH, 0, 0), longest.cx);
}

} // namespace
