#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "ui/unit_main.h"

using namespace test_support;

namespace {

std::vector<uint8_t> Bytes(const TWaveFileHeader& header)
{
    const auto* p = reinterpret_cast<const uint8_t*>(&header);
    return std::vector<uint8_t>(p, p + sizeof header);
}

// 22.05 kHz mono 16-bit with 44100 audio bytes, byte by byte.
const std::vector<uint8_t> kMono22k16Header = {
    0x52, 0x49, 0x46, 0x46, 0x68, 0xAC, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
    0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x22, 0x56, 0x00, 0x00, 0x44, 0xAC,
    0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x44, 0xAC, 0x00, 0x00};

void ExpectHeader(const TWaveFileHeader& h, int32_t channels, int32_t rate, int32_t bits,
                  uint32_t dataLength)
{
    EXPECT_EQ(0, std::memcmp(h.RiffTag, "RIFF", 4));
    EXPECT_EQ(dataLength + 36u, h.RiffLength);
    EXPECT_EQ(0, std::memcmp(h.WaveTag, "WAVE", 4));
    EXPECT_EQ(0, std::memcmp(h.FmtTag, "fmt ", 4));
    EXPECT_EQ(16u, h.FmtLength);
    EXPECT_EQ(1u, h.FormatTag);
    EXPECT_EQ(static_cast<uint16_t>(channels), h.Channels);
    EXPECT_EQ(static_cast<uint32_t>(rate), h.SampleRate);
    EXPECT_EQ(static_cast<uint32_t>(channels * rate * bits / 8), h.ByteRate);
    EXPECT_EQ(static_cast<uint16_t>(channels * bits / 8), h.BlockAlign);
    EXPECT_EQ(static_cast<uint16_t>(bits), h.BitsPerSample);
    EXPECT_EQ(0, std::memcmp(h.DataTag, "data", 4));
    EXPECT_EQ(dataLength, h.DataLength);
}

class WaveWriter : public ::testing::Test {
protected:
    TempDir dir;
    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};

    void SetUp() override { ASSERT_TRUE(dir.Valid()) << "no scratch folder"; }
};

} // namespace

struct WrittenCase {
    const char* what;
    int32_t channels, rate, bits;
    std::vector<int32_t> buffers;
    size_t fileSize;
};

TEST_F(WaveWriter, WrittenFilesAreExact)
{
    const WrittenCase cases[] = {
        {"22.05 kHz mono 16-bit, 44100 bytes", 1, 22050, 16, {22050, 22050}, 44144},
        {"no audio bytes", 1, 11025, 8, {}, 44},
        {"44.1 kHz stereo 16-bit, one second", 2, 44100, 16, {88200, 88200}, 176444},
        {"8-bit mono, odd length, no pad byte", 1, 11025, 8, {5512, 5513}, 11069},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring name = dir.File(L"take.wav");
        SetFormat(form, c.channels, c.rate, c.bits);
        const int32_t total = RecordPattern(form, name, c.buffers);
        const auto file = ReadAll(name);
        ASSERT_EQ(c.fileSize, file.size());
        ExpectHeader(HeaderOf(file), c.channels, c.rate, c.bits, static_cast<uint32_t>(total));
        if (c.rate == 22050) { // the example header, byte by byte
            EXPECT_EQ(kMono22k16Header, std::vector<uint8_t>(file.begin(), file.begin() + 44));
        }
        EXPECT_TRUE(HoldsPattern(file, 44, total)) << "audio bytes differ from those appended";
        EXPECT_FALSE(form.WaveFile.IsOpen());
    }
}

TEST_F(WaveWriter, ReservedHeaderIsAnEmptyFileOfTheCurrentFormat)
{
    const std::wstring name = dir.File(L"again.wav");
    SetFormat(form, 2, 44100, 16);
    RecordPattern(form, name, {1000});

    // The second recording's reserved header must not repeat the first one's format or lengths.
    SetFormat(form, 1, 11025, 8);
    form.CreateWaveFile(name);
    const auto file = ReadAll(name);
    EXPECT_EQ(Bytes(MakeWaveFileHeader(1, 11025, 8, 0)), file);
    form.CloseWaveFile();
}

TEST_F(WaveWriter, RecordingTwiceReplacesTheFirstFile)
{
    const std::wstring name = dir.File(L"twice.wav");
    SetFormat(form, 2, 44100, 16);
    RecordPattern(form, name, {88200, 88200});
    SetFormat(form, 1, 22050, 8);
    RecordPattern(form, name, {501});

    const auto file = ReadAll(name);
    ASSERT_EQ(44u + 501u, file.size());
    ExpectHeader(HeaderOf(file), 1, 22050, 8, 501);
    EXPECT_TRUE(HoldsPattern(file, 44, 501));
}

TEST_F(WaveWriter, HeaderFollowsEveryAppendBeforeClose)
{
    const std::wstring name = dir.File(L"live.wav");
    SetFormat(form, 1, 11025, 16);
    form.CreateWaveFile(name);
    int32_t total = 0;
    for (int32_t count : {11024, 11024, 7}) {
        const auto bytes = PatternBuffer(total, count);
        form.AppendWaveData(bytes.data(), count);
        total += count;

        // What a reader sees if the program died right now.
        const auto file = ReadAll(name);
        ASSERT_EQ(44u + total, file.size());
        ExpectHeader(HeaderOf(file), 1, 11025, 16, static_cast<uint32_t>(total));
        EXPECT_TRUE(HoldsPattern(file, 44, total));
        EXPECT_EQ(static_cast<uint32_t>(total), form.WaveHeader.DataLength);
    }
    form.WriteWaveHeader(total);
    form.CloseWaveFile();
    EXPECT_EQ(44u + total, ReadAll(name).size());
}

TEST_F(WaveWriter, LengthsPastTheSignedRangeAreRefused)
{
    const std::wstring name = dir.File(L"huge.wav");
    SetFormat(form, 2, 44100, 16);
    form.CreateWaveFile(name);

    // Stand in for a recording that has nearly filled the header's range.
    form.WaveHeader.DataLength = kMaxWaveDataBytes - 10;
    const BYTE bytes[11] = {};
    try {
        form.AppendWaveData(bytes, 11);
        ADD_FAILURE() << "an append past the range was accepted";
    } catch (const EInOutError& e) {
        EXPECT_EQ(ERROR_FILE_TOO_LARGE, e.Code());
    }
    EXPECT_EQ(44u, ReadAll(name).size()) << "a refused append must write nothing";
    EXPECT_EQ(static_cast<uint32_t>(kMaxWaveDataBytes - 10), form.WaveHeader.DataLength);

    for (int32_t total : {-1, kMaxWaveDataBytes + 1, INT32_MAX}) {
        try {
            form.WriteWaveHeader(total);
            ADD_FAILURE() << "header for " << total << " bytes was written";
        } catch (const EInOutError& e) {
            EXPECT_EQ(ERROR_FILE_TOO_LARGE, e.Code()) << total;
        }
    }
    EXPECT_TRUE(form.WaveFile.IsOpen()) << "a refused header must leave the file as it was";

    form.AppendWaveData(bytes, 10); // exactly at the limit
    const auto header = HeaderOf(ReadAll(name));
    EXPECT_EQ(0x7FFFFFFFu, header.RiffLength);
    EXPECT_EQ(static_cast<uint32_t>(kMaxWaveDataBytes), header.DataLength);
    form.CloseWaveFile();
}

// ---- Files for the independent reader (tests/bench/wave_check.py) ------------------------------
// The checker runs these with RECORDER_WAVE_OUT set to a folder it then reads with its own parser.

namespace {

std::wstring WaveOutDir()
{
    return Env(L"RECORDER_WAVE_OUT");
}

std::wstring FormatFileName(const wchar_t* prefix, int32_t ch, int32_t rate, int32_t bits, int32_t n)
{
    wchar_t name[96];
    std::swprintf(name, 96, L"%ls_%d_%d_%d_%d.wav", prefix, ch, rate, bits, n);
    return name;
}

} // namespace

TEST(WaveReaderFiles, Complete)
{
    const std::wstring out = WaveOutDir();
    if (out.empty())
        GTEST_SKIP() << "run by tests/bench/wave_check.py, which sets RECORDER_WAVE_OUT";
    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};
    for (const TRecordingFormat& f : RecordingFormats) {
        // Half-second buffers and a last, partly filled one, as a stopped recording has.
        const int32_t half = FormatBufferSize(f);
        const std::vector<int32_t> buffers = {half, half, half / 3 + 1};
        int32_t total = 0;
        for (int32_t n : buffers)
            total += n;
        SetFormat(form, f.Channels, f.SampleRate, f.BitsPerSample);
        RecordPattern(form, out + L"\\" + FormatFileName(L"complete", f.Channels, f.SampleRate,
                                                         f.BitsPerSample, total),
                      buffers);
    }
}

// Appends buffers until the checker kills this process; it prints each completed append.
TEST(WaveReaderFiles, KilledMidRecording)
{
    const std::wstring out = WaveOutDir();
    if (out.empty())
        GTEST_SKIP() << "run by tests/bench/wave_check.py, which sets RECORDER_WAVE_OUT";
    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};
    const int32_t buffer = 22050; // half a second of 22.05 kHz stereo 8-bit
    SetFormat(form, 2, 22050, 8);
    form.CreateWaveFile(out + L"\\" + FormatFileName(L"killed", 2, 22050, 8, buffer));
    form.TotalBytes = 0;
    for (int i = 1; i <= 2000; ++i) {
        const auto bytes = PatternBuffer(form.TotalBytes, buffer);
        form.AppendWaveData(bytes.data(), buffer);
        form.TotalBytes += buffer;
        std::printf("appended %d\n", i);
        std::fflush(stdout);
        Sleep(5);
    }
    FAIL() << "not killed: the checker should have ended this process";
}
