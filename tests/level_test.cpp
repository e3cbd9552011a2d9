// The level meter's arithmetic: peaks, dB, silence, full scale, the texts and the reading over time.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ui/disk_room.h"
#include "ui/level.h"

namespace {

std::vector<BYTE> Pcm16(const std::vector<int>& samples)
{
    std::vector<BYTE> bytes;
    for (const int s : samples) {
        bytes.push_back(static_cast<BYTE>(s & 0xFF));
        bytes.push_back(static_cast<BYTE>((s >> 8) & 0xFF));
    }
    return bytes;
}

// `seconds` of 44.1 kHz stereo 16-bit, appended: a square wave of the given peak per channel.
std::vector<BYTE>& Stereo(std::vector<BYTE>& to, double seconds, int left, int right)
{
    std::vector<int> samples;
    for (int i = 0; i < static_cast<int>(seconds * 44100); ++i)
        samples.insert(samples.end(), {i % 2 ? left : -left, i % 2 ? right : -right});
    const std::vector<BYTE> bytes = Pcm16(samples);
    to.insert(to.end(), bytes.begin(), bytes.end());
    return to;
}

TEST(Level, PeaksFullScaleAndSilencePerFormat)
{
    const struct {
        const char* what;
        std::vector<BYTE> data;
        int channels, bits;
        int32_t peak[2];
        bool fullScale[2];
        bool silent;
    } cases[] = {
        {"16-bit mono", Pcm16({0, 100, -200}), 1, 16, {200, 0}, {false, false}, false},
        {"16-bit lowest", Pcm16({5, -32768}), 1, 16, {32768, 0}, {true, false}, false},
        {"16-bit highest", Pcm16({32767}), 1, 16, {32767, 0}, {true, false}, false},
        {"16-bit below the top", Pcm16({32766, -32767}), 1, 16, {32767, 0}, {false, false}, false},
        {"16-bit stereo", Pcm16({10, -300, -5, 7}), 2, 16, {10, 300}, {false, false}, false},
        {"16-bit stereo, half a frame left out", {1, 0, 2, 0, 0xFF, 0x7F}, 2, 16, {1, 2}, {false, false}, false},
        {"16-bit zeros", Pcm16({0, 0, 0, 0}), 2, 16, {0, 0}, {false, false}, true},
        {"8-bit mono around 128", {128, 130, 120}, 1, 8, {8 * 256, 0}, {false, false}, false},
        {"8-bit 0 is full scale", {128, 0}, 1, 8, {32768, 0}, {true, false}, false},
        {"8-bit 255 is full scale", {255}, 1, 8, {127 * 256, 0}, {true, false}, false},
        {"8-bit stereo", {128, 0, 129, 128}, 2, 8, {256, 32768}, {false, true}, false},
        {"8-bit silence is 128", {128, 128, 128}, 1, 8, {0, 0}, {false, false}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TChannelPeaks peaks = MeasurePeaks(c.data.data(), c.data.size(), c.channels, c.bits);
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_EQ(peaks.Peak[ch], c.peak[ch]) << "channel " << ch;
            EXPECT_EQ(peaks.FullScale[ch], c.fullScale[ch]) << "channel " << ch;
        }
        EXPECT_EQ(IsExactSilence(c.data.data(), c.data.size(), c.bits), c.silent);
    }
}

TEST(Level, TextsInWholeDbOfTheLouderChannel)
{
    const double none = -INFINITY;
    const struct {
        TLevelReading reading;
        const wchar_t* text;
    } cases[] = {
        {{0, {-12, -12}, {}, {}}, L""},
        {{1, {PeakDb(8231), 0}, {}, {}}, L"Уровень: \u221212 дБ"}, // a -12 dBFS sine's peak
        {{2, {-30.2, -12.4}, {}, {}}, L"Уровень: \u221212 дБ"},
        {{1, {-12.5, 0}, {}, {}}, L"Уровень: \u221213 дБ"},
        {{1, {-0.4, 0}, {}, {}}, L"Уровень: 0 дБ"},
        {{1, {PeakDb(1), 0}, {}, {}}, L"Уровень: \u221290 дБ"},
        {{2, {none, none}, {true, true}, {}}, L"Уровень: тишина"},
        {{2, {-20, none}, {true, true}, {}}, L"Уровень: тишина"}, // falling, but the samples are zeros
        {{2, {-20, none}, {false, true}, {}}, L"Уровень: \u221220 дБ"},
        {{2, {-3, -1}, {}, {false, true}}, L"Уровень: перегрузка"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LevelText(c.reading), c.text);
    EXPECT_NEAR(PeakDb(8231), -12.0, 0.01);
    EXPECT_EQ(PeakDb(kFullScalePeak), 0.0);

    EXPECT_EQ(RecordedTimeText(0, 176400), L"0:00:00");
    EXPECT_EQ(RecordedTimeText(int64_t{3723} * 11025 + 11024, 11025), L"1:02:03");
}

TEST(DiskRoom, TimeTheDiskHoldsAndTheWarningUnderTenMinutes)
{
    const struct {
        uint64_t freeBytes;
        uint32_t bytesPerSecond;
        const wchar_t* holds;
        int warnedMinutes; // 0: no warning
    } cases[] = {
        {uint64_t{18720} * 176400 + 176399, 176400, L"5:12:00", 0},
        {600 * 11025, 11025, L"0:10:00", 0},
        {600 * 11025 - 1, 11025, L"0:09:59", 9},
        {119 * 88200, 88200, L"0:01:59", 1},
        {30 * 88200, 88200, L"0:00:30", 1}, // under a minute still reads as one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.holds));
        EXPECT_EQ(RoomText(c.freeBytes, c.bytesPerSecond), std::wstring(L"Места на диске хватит на ") + c.holds);
        const std::wstring warning = LowRoomText(c.freeBytes, c.bytesPerSecond);
        EXPECT_EQ(warning.empty() ? 0 : std::stoi(warning.substr(36)), c.warnedMinutes) << warning;
    }
    EXPECT_EQ(LowRoomText(9 * 60 * 44100, 44100),
              L"На диске осталось места примерно на 9 мин записи. Когда место кончится, запись остановится, а "
              L"всё записанное останется в файле.\nЗапись продолжается.");
}

TEST(Level, BuffersAreReplayedBlockByBlockAndThePeakFallsSmoothly)
{
    // Half a second, two bytes in: the first half frame belongs to an earlier buffer. 80 ms at -6 dB
    // (16384), then -40 dB (328), then the last 20 ms clipped on the right.
    std::vector<BYTE> buffer = {0x00, 0x80};
    Stereo(Stereo(buffer, 0.08, 16384, 16384), 0.38, 328, 328);
    const std::vector<BYTE> clip = Pcm16({328, 32767, -328, -32768});
    for (int i = 0; i < 441; ++i)
        buffer.insert(buffer.end(), clip.begin(), clip.end());

    TLevelTrack track;
    EXPECT_EQ(track.Read(1000).Channels, 0) << "nothing before the first buffer";
    track.Add(buffer.data(), buffer.size(), 2, 2, 16, 44100, 1000);
    TLevelReading r = track.Read(1000);
    EXPECT_NEAR(r.Db[0], -6.0, 0.1);
    EXPECT_FALSE(r.FullScale[1]) << "the clipped block is the buffer's last, due 440 ms later";
    EXPECT_EQ(LevelText(track.Latest()), L"Уровень: перегрузка") << "the words tell the whole buffer at once";
    EXPECT_TRUE(track.Latest().FullScale[1] && !track.Latest().FullScale[0]);
    r = track.Read(1000 + 400);
    EXPECT_NEAR(r.Db[0], -6.0 - 20 * 0.36, 0.2) << "held at 40 ms, falling 20 dB/s since";
    EXPECT_FALSE(r.FullScale[1]);
    r = track.Read(1000 + 480);
    EXPECT_TRUE(r.FullScale[1] && !r.FullScale[0]);
    EXPECT_EQ(LevelText(r), L"Уровень: перегрузка");
    EXPECT_FALSE(track.Read(1000 + 480 + 600).FullScale[1]) << "half a second after the clip";
    EXPECT_NEAR(track.Read(1000 + 60000).Db[0], PeakDb(1), 1e-9) << "no lower than the quietest sample";

    // A buffer that comes early cuts the replay short, but its peaks still count.
    TLevelTrack early;
    std::vector<BYTE> first;
    Stereo(Stereo(first, 0.46, 328, 328), 0.04, 16384, 16384);
    early.Add(first.data(), first.size(), 0, 2, 16, 44100, 0);
    EXPECT_NEAR(early.Read(0).Db[0], -40, 0.1);
    const std::vector<BYTE> zeros(1764 * 4, 0);
    early.Add(zeros.data(), zeros.size(), first.size(), 2, 16, 44100, 100);
    r = early.Read(100);
    EXPECT_NEAR(r.Db[0], -6.0, 0.1);
    EXPECT_TRUE(r.Silent[0] && r.Silent[1]);
    EXPECT_EQ(LevelText(r), L"Уровень: тишина");
    EXPECT_EQ(LevelText(early.Latest()), L"Уровень: тишина");
}

} // namespace
