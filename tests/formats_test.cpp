#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/sim_wave_in.h"
#include "ui/unit_main.h"

namespace {

struct ExpectedRow {
    int32_t bufferSize;
    int32_t blockAlign;
    int32_t byteRate;
    int ringBuffers;
};

// Half a second rounded down to whole frames: rows 1 to 3 lose the odd bytes of 11025 and 22050,
// and rows 0 to 3 need a 125th buffer for a ring of 62 s.
const ExpectedRow kExpected[kRecordingFormatCount] = {
    {5512, 1, 11025, 125},  {11024, 2, 22050, 125}, {11024, 2, 22050, 125}, {22048, 4, 44100, 125},
    {11025, 1, 22050, 124}, {22050, 2, 44100, 124}, {22050, 2, 44100, 124}, {44100, 4, 88200, 124},
    {22050, 1, 44100, 124}, {44100, 2, 88200, 124}, {44100, 2, 88200, 124}, {88200, 4, 176400, 124},
};

TEST(RecordingFormats, EveryRowsSizesAndRates)
{
    for (int row = 0; row < kRecordingFormatCount; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const TRecordingFormat& f = RecordingFormats[row];
        EXPECT_EQ(FormatBufferSize(f), kExpected[row].bufferSize);
        // As the device is opened with them and the file header states them.
        const WAVEFORMATEX device = PcmWaveFormat(f.Channels, f.SampleRate, f.BitsPerSample);
        EXPECT_EQ(device.nBlockAlign, kExpected[row].blockAlign);
        EXPECT_EQ(device.nAvgBytesPerSec, static_cast<DWORD>(kExpected[row].byteRate));
        EXPECT_EQ(CaptureBufferCount(FormatBufferSize(f), device.nAvgBytesPerSec), kExpected[row].ringBuffers);
        const TWaveFileHeader header = MakeWaveFileHeader(f.Channels, f.SampleRate, f.BitsPerSample, 0);
        EXPECT_EQ(header.BlockAlign, kExpected[row].blockAlign);
        EXPECT_EQ(header.ByteRate, static_cast<uint32_t>(kExpected[row].byteRate));
        EXPECT_EQ(header.RiffLength, 36u) << "an empty recording";
    }
}

TEST(RecordingFormats, TableOrderBitsAndNames)
{
    const DWORD bits[] = {0x001, 0x004, 0x002, 0x008, 0x010, 0x040, 0x020, 0x080, 0x100, 0x400, 0x200, 0x800};
    const wchar_t* names[] = {
        L"11.025 кГц, моно, 8-бит",  L"11.025 кГц, моно, 16-бит", L"11.025 кГц, стерео, 8-бит",
        L"11.025 кГц, стерео, 16-бит", L"22.05 кГц, моно, 8-бит", L"22.05 кГц, моно, 16-бит",
        L"22.05 кГц, стерео, 8-бит", L"22.05 кГц, стерео, 16-бит", L"44.1 кГц, моно, 8-бит",
        L"44.1 кГц, моно, 16-бит",   L"44.1 кГц, стерео, 8-бит",  L"44.1 кГц, стерео, 16-бит",
    };
    std::set<std::wstring> distinct;
    for (int row = 0; row < kRecordingFormatCount; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_EQ(RecordingFormats[row].CapabilityBit, bits[row]);
        EXPECT_STREQ(RecordingFormats[row].Name, names[row]);
        EXPECT_LE(wcslen(RecordingFormats[row].Name), 35u);
        distinct.insert(RecordingFormats[row].Name);
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kRecordingFormatCount));
}

TEST(RecordingFormats, SupportedRowsFollowTheFormatBits)
{
    const struct {
        DWORD formats;
        std::vector<int> rows;
    } cases[] = {
        {0x000, {}},
        {0xFFF, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {0xFFFFF, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {0x801, {0, 11}},
        {0x006, {1, 2}}, // table order, not bit order
        {0x060, {5, 6}},
        {0x600, {9, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dwFormats 0x" << std::hex << c.formats);
        SimWaveIn sim;
        sim.devices = {{L"Mic", c.formats}};
        EXPECT_EQ(SupportedFormatRows(sim, 0), c.rows);
    }
}

TEST(RecordingFormats, FailedCapabilityQueryYieldsNoRows)
{
    SimWaveIn sim;
    sim.devices = {{L"Mic", 0xFFF}};
    sim.failures[SimWaveIn::Op::GetDevCaps] = MMSYSERR_NODRIVER;
    EXPECT_TRUE(SupportedFormatRows(sim, 0).empty());
    sim.failures.clear();
    EXPECT_TRUE(SupportedFormatRows(sim, 1).empty()) << "a device number past the list";
}

} // namespace
