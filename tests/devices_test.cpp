// The system's wave-input service, as the bench's sound server presents it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/application.h"
#include "tests/test_support.h"
#include "ui/unit_main.h"

using test_support::PumpFor;

namespace {

std::vector<std::wstring> BenchMicrophones()
{
    std::vector<std::wstring> names;
    const wchar_t* list = _wgetenv(L"RECORDER_MICS");
    if (!list)
        return names;
    std::wstring rest = list;
    for (size_t start = 0; start <= rest.size();) {
        const size_t end = rest.find(L';', start);
        const std::wstring name = rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!name.empty())
            names.push_back(name);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return names;
}

TEST(VirtualMicrophones, ListedByNameWithAllTwelveFormats)
{
    const std::vector<std::wstring> mics = BenchMicrophones();
    if (mics.empty())
        GTEST_SKIP() << "RECORDER_MICS is not set: run through the bench's mic.py";

    IWaveIn& waveIn = SystemWaveIn();
    const int count = static_cast<int>(waveIn.GetNumDevs());
    ASSERT_GT(count, 0) << "waveInGetNumDevs found no device";

    for (const std::wstring& mic : mics) {
        const std::wstring expected = L"Monitor of " + mic;
        bool found = false;
        for (int id = 0; id < count && !found; ++id) {
            WAVEINCAPSW caps{};
            ASSERT_EQ(waveIn.GetDevCaps(id, &caps), MMSYSERR_NOERROR) << "waveInGetDevCapsW on device " << id;
            if (expected != caps.szPname)
                continue;
            found = true;
            EXPECT_EQ(caps.dwFormats & 0xFFF, 0xFFFu) << "device " << id;
            EXPECT_EQ(SupportedFormatRows(waveIn, id).size(), static_cast<size_t>(kRecordingFormatCount));
        }
        EXPECT_TRUE(found) << "no wave-input device named \"" << testing::PrintToString(expected)
                           << "\" among " << count;
    }
}

} // namespace

namespace {

// The first device whose name is "Monitor of <the bench's first microphone>", or -1.
int BenchMicrophoneId()
{
    const std::vector<std::wstring> mics = BenchMicrophones();
    if (mics.empty())
        return -1;
    IWaveIn& waveIn = SystemWaveIn();
    const int count = static_cast<int>(waveIn.GetNumDevs());
    for (int id = 0; id < count; ++id) {
        WAVEINCAPSW caps{};
        if (waveIn.GetDevCaps(id, &caps) == MMSYSERR_NOERROR && L"Monitor of " + mics[0] == caps.szPname)
            return id;
    }
    return -1;
}

// Records about two seconds through the engine from the bench's microphone into RECORDER_OUT;
// the bench's script then checks the file against the ramp the microphone plays.
TEST(RealDevice, RecordsAboutTwoSecondsFromTheMicrophone)
{
    const wchar_t* out = _wgetenv(L"RECORDER_OUT");
    const wchar_t* rowText = _wgetenv(L"RECORDER_FORMAT_ROW");
    if (!out || !rowText)
        GTEST_SKIP() << "RECORDER_OUT and RECORDER_FORMAT_ROW are set by tests/bench/record_check.py";
    const int id = BenchMicrophoneId();
    ASSERT_GE(id, 0) << "the bench's microphone is not listed";

    static TApplication application;
    application.Initialize(GetModuleHandleW(nullptr));
    Application = &application;
    std::vector<std::wstring> errors;
    application.ErrorBoxHook = [&](const std::wstring& text) { errors.push_back(text); };

    TForm1 form(SystemWaveIn());
    form.Create(application.Handle());
    form.DeviceErrorBox = [&](const std::wstring& text) { errors.push_back(text); };
    const TRecordingFormat& format = RecordingFormats[_wtoi(rowText)];
    form.Channels = format.Channels;
    form.SampleRate = format.SampleRate;
    form.BitsPerSample = format.BitsPerSample;
    form.BufferSize = FormatBufferSize(format);
    form.DeviceId = id;

    ASSERT_EQ(form.StartRecording(out), MMSYSERR_NOERROR);
    // Capture may begin a couple of seconds late: wait for two seconds of audio, not of wall time.
    PumpFor(10000, [&] { return form.TotalBytes >= 4 * form.BufferSize; });
    EXPECT_GE(form.TotalBytes, 4 * form.BufferSize) << "less than two seconds of audio in ten seconds";
    form.BitBtn2Click();
    PumpFor(5000, [&] { return !form.DeviceOpen(); });
    EXPECT_FALSE(form.DeviceOpen()) << "the device's close notification never came";
    EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    printf("recorded %d bytes\n", form.TotalBytes);
}

} // namespace
