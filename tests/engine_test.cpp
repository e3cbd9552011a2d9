// The recording engine through the window's real message loop, with a simulated device.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <string>
#include <vector>

#include "app/application.h"
#include "tests/save_dialog_answerer.h"
#include "tests/sim_wave_in.h"
#include "ui/unit_main.h"

namespace {

// One application object for the whole test program: its window classes are registered once.
TApplication& TestApplication()
{
    static TApplication application;
    static bool initialized = false;
    if (!initialized) {
        application.Initialize(GetModuleHandleW(nullptr));
        Application = &application;
        initialized = true;
    }
    return application;
}

std::wstring TempDirectory()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    std::wstring dir = std::wstring(base) + L"engine_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                       std::to_wstring(++counter);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::vector<BYTE> ReadAll(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

uint32_t U32(const std::vector<BYTE>& bytes, size_t offset)
{
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
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
        app.ErrorBoxHook = [this](const std::wstring& text) { errors.push_back(text); };
        app.MessageBoxHook = [this](const std::wstring& text) { messages.push_back(text); };
        sim.devices = {{L"Sim Mic", 0xFFF}};
        form = std::make_unique<TForm1>(sim);
        form->Create(app.Handle());
        form->DeviceErrorBox = [this](const std::wstring& text) { deviceErrors.push_back(text); };
        dir = TempDirectory();
        UseFormat(5); // 22.05 kHz mono 16-bit: 22050-byte buffers
    }

    void TearDown() override
    {
        form.reset();
        Pump();
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

    static void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
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

    std::wstring LabelText() const
    {
        wchar_t text[64]{};
        GetWindowTextW(form->Label1, text, 64);
        return text;
    }

    // The file holds a valid header for the current format and exactly `data` after it.
    void ExpectWaveFile(const std::wstring& path, const std::vector<BYTE>& data)
    {
        const std::vector<BYTE> bytes = ReadAll(path);
        ASSERT_EQ(bytes.size(), 44 + data.size());
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(U32(bytes, 4), 36 + data.size());
        EXPECT_EQ(U32(bytes, 40), data.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 44)) << "audio bytes differ";
    }

    SimWaveIn sim;
    std::unique_ptr<TForm1> form;
    std::wstring dir;
    std::vector<std::wstring> errors;
    std::vector<std::wstring> messages;
    std::vector<std::wstring> deviceErrors;
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

TEST_F(EngineTest, BothBuffersQueuedAndWrittenInOrderWithoutGapOrRepeat)
{
    const std::wstring path = dir + L"\\five.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    EXPECT_EQ(sim.QueuedCount(), 2u) << "both buffers are at the device from the start";
    Deliver(5);
    EXPECT_EQ(sim.QueuedCount(), 2u) << "each handed-back buffer is queued again";
    sim.bytesAtReset = 1001;
    form->BitBtn2Click();
    Pump();
    const uint64_t expected = 5 * 22050 + 1001;
    EXPECT_EQ(form->TotalBytes, static_cast<int32_t>(expected));
    ExpectWaveFile(path, Stream(0, expected));
    EXPECT_EQ(ReadAll(path).size() - 44, static_cast<size_t>(form->TotalBytes));
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

TEST_F(EngineTest, SecondRecordingStartsFromZeroWithFreshBuffers)
{
    const std::wstring first = dir + L"\\first.wav";
    const std::wstring second = dir + L"\\second.wav";
    ASSERT_EQ(Start(first), MMSYSERR_NOERROR);
    Deliver(3);
    form->BitBtn2Click();
    Pump();
    EXPECT_EQ(form->Buffer1, nullptr) << "buffers are released when the device has closed";

    UseFormat(1); // another format: the first file's header must keep its own
    ASSERT_EQ(Start(second), MMSYSERR_NOERROR);
    EXPECT_EQ(form->TotalBytes, 0);
    ASSERT_NE(form->Buffer1, nullptr);
    EXPECT_EQ(form->BufferHeader1.lpData, reinterpret_cast<LPSTR>(form->Buffer1.get()));
    EXPECT_EQ(form->BufferHeader1.dwBufferLength, 11024u);
    Deliver(2);
    form->BitBtn2Click();
    Pump();
    ExpectWaveFile(second, Stream(3 * 22050, 2 * 11024));
    const std::vector<BYTE> firstBytes = ReadAll(first);
    ASSERT_EQ(firstBytes.size(), 44u + 3 * 22050);
    EXPECT_EQ(U32(firstBytes, 24), 22050u) << "the first file keeps its own format";
}

TEST_F(EngineTest, FailingStartStepReturnsItsResultUnchangedFirstOneWinning)
{
    using Op = SimWaveIn::Op;
    const struct {
        std::vector<std::pair<Op, MMRESULT>> failures;
        MMRESULT expected;
        bool opened;
    } cases[] = {
        {{{Op::Open, MMSYSERR_ALLOCATED}}, MMSYSERR_ALLOCATED, false},
        {{{Op::Open, WAVERR_BADFORMAT}, {Op::Start, MMSYSERR_NOMEM}}, WAVERR_BADFORMAT, false},
        {{{Op::PrepareHeader, MMSYSERR_NOMEM}, {Op::Start, MMSYSERR_ERROR}}, MMSYSERR_NOMEM, true},
        {{{Op::AddBuffer, MMSYSERR_INVALPARAM}, {Op::Start, MMSYSERR_ERROR}}, MMSYSERR_INVALPARAM, true},
        {{{Op::Start, MMSYSERR_NODRIVER}}, MMSYSERR_NODRIVER, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(index));
        sim.failures.clear();
        for (const auto& [op, result] : c.failures)
            sim.failures[op] = result;
        const size_t opensBefore = sim.openedDevices.size();
        const std::wstring path = dir + L"\\failed" + std::to_wstring(index++) + L".wav";
        EXPECT_EQ(Start(path), c.expected);
        EXPECT_EQ(sim.openedDevices.size(), opensBefore + 1);
        EXPECT_FALSE(sim.IsOpen()) << "a device opened for a failed start is closed again";
        EXPECT_FALSE(form->DeviceOpen());
        // The file is left as a valid, empty WAVE file.
        ExpectWaveFile(path, {});
        (void)c.opened;
    }
}

TEST_F(EngineTest, FileThatCannotBeCreatedRaisesIoErrorAndOpensNoDevice)
{
    const std::wstring path = dir + L"\\missing folder\\x.wav";
    try {
        form->StartRecording(path);
        FAIL() << "StartRecording succeeded on a missing folder";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), 3);
    }
    EXPECT_TRUE(sim.openedDevices.empty());
    // Stop afterwards only resets the buttons; the device calls fail and are ignored.
    form->SaveDialog1.FileName = path;
    form->BitBtn2Click();
    Pump();
    EXPECT_EQ(LabelText(), L"-1 байт");
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
}

TEST_F(EngineTest, FailureWhileCompletingIsReportedAndTheNextRecordingWorks)
{
    const std::wstring path = dir + L"\\header.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(1);
    form->WaveFile.Close(); // completing the file now fails: it is no longer open
    form->BitBtn2Click();
    Pump();
    // The last buffers' appends fail as well as the completion, each reported.
    ASSERT_FALSE(errors.empty()) << "the failed completion is reported";
    for (const std::wstring& error : errors)
        EXPECT_EQ(error, L"I/O error 103.");
    EXPECT_FALSE(form->DeviceOpen());
    EXPECT_EQ(form->Buffer1, nullptr) << "the closed device's buffers are released all the same";

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
    form->BitBtn2Click(); // its notifications are still queued when Record is clicked again

    SendMessageW(form->ListBox1, LB_SETCURSEL, 9, 0); // 44.1 kHz mono 16-bit
    dialog = save_dialog::AnswerNext(second);
    form->BitBtn1Click();
    dialog.join();
    ASSERT_TRUE(form->DeviceOpen());
    ExpectWaveFile(first, Stream(0, 2 * 22050 + 500));
    EXPECT_EQ(U32(ReadAll(first), 24), 22050u) << "the first file keeps its own format";

    // Late notifications from the first device must not touch the second recording.
    PostMessageW(form->Handle(), MM_WIM_DATA, reinterpret_cast<WPARAM>(firstHandle),
                 reinterpret_cast<LPARAM>(&form->BufferHeader1));
    PostMessageW(form->Handle(), MM_WIM_CLOSE, reinterpret_cast<WPARAM>(firstHandle), 0);
    Pump();
    EXPECT_TRUE(form->DeviceOpen());
    EXPECT_EQ(form->TotalBytes, 0);
    sim.bytesAtReset = 0;
    Deliver(1);
    form->BitBtn2Click();
    Pump();
    ExpectWaveFile(second, Stream(2 * 22050 + 500, 44100));
    EXPECT_EQ(U32(ReadAll(second), 24), 44100u);
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

TEST_F(EngineOnTinyDisk, FailedAppendLosesOnlyThatBufferAndRecordingGoesOn)
{
    UseFormat(0); // 5512-byte buffers
    const std::wstring path = dir + L"\\full.wav";
    LeaveRoom(4096 * 3); // the header and two buffers fit, in 4 KiB pages
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(3);
    ASSERT_FALSE(errors.empty()) << "the disk filled up, yet no append failed";
    EXPECT_EQ(errors[0], L"Disk full.");
    const int32_t kept = form->TotalBytes;
    EXPECT_EQ(kept % 5512, 0) << "only whole buffers are kept";
    EXPECT_EQ(sim.QueuedCount(), 2u) << "the buffer whose append failed is queued again";

    DeleteFileW(filler.c_str()); // room again: recording goes on
    const uint64_t resumed = sim.StreamPosition();
    Deliver(2);
    form->BitBtn2Click();
    Pump();
    std::vector<BYTE> expected = Stream(0, kept);
    const std::vector<BYTE> after = Stream(resumed, 2 * 5512);
    expected.insert(expected.end(), after.begin(), after.end());
    ExpectWaveFile(path, expected);
}

TEST_F(EngineOnTinyDisk, AppendFailuresInARowStopTheRecordingWithoutNestingBoxes)
{
    UseFormat(0);
    const std::wstring path = dir + L"\\nest.wav";
    LeaveRoom(4096); // a page: the header only
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    int depth = 0;
    int deepest = 0;
    TestApplication().ErrorBoxHook = [&](const std::wstring& text) {
        errors.push_back(text);
        deepest = std::max(deepest, ++depth);
        if (errors.size() == 1) {
            // While the first box is up its loop keeps delivering buffers, which fail too.
            for (int i = 0; i < 4; ++i) {
                sim.Deliver();
                Pump();
            }
        }
        --depth;
    };
    Deliver(1);
    Pump();
    EXPECT_EQ(deepest, 1) << "a second box opened on top of the first";
    EXPECT_EQ(errors, (std::vector<std::wstring>{L"Disk full.", L"Disk full."}))
        << "the second failure, during the first box, is reported once that box has closed";
    EXPECT_FALSE(form->DeviceOpen()) << "a disk that stays full stops the recording";
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
    EXPECT_EQ(sim.addCount, 3) << "two buffers at start and one re-queue after the first failure";
    ExpectWaveFile(path, {});
}

TEST_F(EngineTest, RecordingStopsByItselfBeforePassingTheSizeLimit)
{
    UseFormat(0); // 5512-byte buffers
    form->MaxTotalBytes = 5512 * 5 + 100;
    const std::wstring path = dir + L"\\limit.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    for (int i = 0; i < 10 && sim.Deliver(); ++i)
        Pump();
    EXPECT_FALSE(form->DeviceOpen()) << "the recording stopped and completed by itself";
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
    EXPECT_LE(form->TotalBytes, form->MaxTotalBytes);
    EXPECT_GE(form->TotalBytes, 5512 * 3);
    ExpectWaveFile(path, Stream(0, static_cast<uint64_t>(form->TotalBytes)));
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

TEST_F(EngineTest, DeviceThatRefusesTheRequeueEndsTheRecordingWithItsError)
{
    const std::wstring path = dir + L"\\gone.wav";
    ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
    Deliver(2);
    sim.failures[SimWaveIn::Op::AddBuffer] = MMSYSERR_NODRIVER;
    Deliver(1);
    Pump();
    ASSERT_EQ(deviceErrors.size(), 1u);
    EXPECT_EQ(deviceErrors[0], L"Simulated device error 6");
    EXPECT_FALSE(form->DeviceOpen());
    EXPECT_TRUE(IsWindowEnabled(form->BitBtn1));
    EXPECT_FALSE(IsWindowEnabled(form->BitBtn2));
    ExpectWaveFile(path, Stream(0, 3 * 22050)); // nothing captured before is lost
}

TEST_F(EngineTest, SilentDeviceIsDetectedAndTheFileCompleted)
{
    for (const bool closeFails : {false, true}) {
        SCOPED_TRACE(closeFails ? "close fails too" : "close works");
        sim.failures.clear();
        deviceErrors.clear();
        form->StallTimeoutMs = 300;
        const std::wstring path = dir + (closeFails ? L"\\silent2.wav" : L"\\silent1.wav");
        ASSERT_EQ(Start(path), MMSYSERR_NOERROR);
        const uint64_t from = sim.StreamPosition();
        Deliver(1);
        sim.handsBackBuffers = false;
        if (closeFails)
            sim.failures[SimWaveIn::Op::Close] = MMSYSERR_NODRIVER;
        const DWORD start = GetTickCount();
        while (form->DeviceOpen() && GetTickCount() - start < 3000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            Pump();
        }
        EXPECT_FALSE(form->DeviceOpen()) << "no buffer came back, yet the recording did not end";
        EXPECT_EQ(deviceErrors.size(), 1u);
        ExpectWaveFile(path, Stream(from, 22050));
        sim.handsBackBuffers = true;
        sim.failures.clear();
        if (sim.IsOpen())
            sim.Close(sim.CurrentHandle());
        Pump();
    }
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

} // namespace
