#pragma once
// The level of the samples as they are recorded: peaks per channel of 8- and 16-bit PCM, in dB of
// full scale, exact silence, and the meter's reading over time. Plain arithmetic: no window.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Peaks are kept on the 16-bit scale: 32768 is full scale, an 8-bit sample counts 256 per step.
inline constexpr int32_t kFullScalePeak = 32768;
inline constexpr int kMaxMeterChannels = 2;

struct TChannelPeaks {
    int32_t Peak[kMaxMeterChannels] = {};     // largest distance from the zero line
    bool FullScale[kMaxMeterChannels] = {};   // a sample at either end of the scale (clipped)
};

// The peaks of the whole frames in `data` (`channels` 1 or 2, `bits` 8 or 16); a partial frame at
// the end is left out.
TChannelPeaks MeasurePeaks(const BYTE* data, size_t count, int channels, int bits);

// Every 16-bit sample 0, every 8-bit sample 128: what a muted or blocked microphone delivers.
bool IsExactSilence(const BYTE* data, size_t count, int bits);

// 20 log10(peak / full scale); minus infinity for 0.
double PeakDb(int32_t peak);

// What the meter shows at one moment.
struct TLevelReading {
    int Channels = 0;                          // 0: nothing to show (not recording, no samples yet)
    double Db[kMaxMeterChannels] = {};         // peak, falling since it was reached; -infinity: none
    bool Silent[kMaxMeterChannels] = {};       // the samples shown now are exactly silent
    bool FullScale[kMaxMeterChannels] = {};    // a sample reached full scale in the last half second
};

// "Уровень: −12 дБ" for the louder channel's peak in whole dB, "Уровень: тишина" while every
// channel is exactly silent, "Уровень: перегрузка" after a clipped sample; empty with nothing shown.
std::wstring LevelText(const TLevelReading& reading);

// A count of audio bytes as recorded time, h:mm:ss.
std::wstring RecordedTimeText(int64_t bytes, int32_t bytesPerSecond);

// The meter's reading over time. A buffer comes back only when the device has filled it (half a
// second), so each is cut into short blocks that are replayed one after another over the buffer's
// own duration: the meter moves smoothly and stays one buffer behind the sound. The held peak
// falls at a steady rate between louder blocks.
class TLevelTrack {
public:
    static constexpr int kBlockMs = 40;
    static constexpr int kMaxBlocks = 32;
    static constexpr double kFallDbPerSecond = 20;
    static constexpr uint64_t kFullScaleHoldMs = 500;

    void Reset() { *this = TLevelTrack(); }
    // The samples of a buffer handed back at `nowMs`; `offset` is where they begin in the stream,
    // so a buffer that starts inside a frame keeps the channels apart.
    void Add(const BYTE* data, size_t count, uint64_t offset, int channels, int bits, int sampleRate, uint64_t nowMs);
    // The reading at `nowMs`, the blocks due by then taken in.
    TLevelReading Read(uint64_t nowMs);
    // The last buffer as a whole, unreplayed: its peaks, whether it was exactly silent or clipped.
    const TLevelReading& Latest() const noexcept { return latest_; }

private:
    void TakeBlocksDueBy(uint64_t nowMs, bool all);
    void TakeBlock(const TChannelPeaks& block, double atMs);

    int channels_ = 0;
    double floorDb_ = 0; // the quietest sample the format has: the held peak falls no lower
    TChannelPeaks blocks_[kMaxBlocks];
    int blockCount_ = 0;
    int nextBlock_ = 0;
    double blockMs_ = kBlockMs;
    uint64_t arrivalMs_ = 0;
    TLevelReading latest_;

    bool shown_ = false; // a block has been taken in
    bool held_[kMaxMeterChannels] = {};
    double heldDb_[kMaxMeterChannels] = {};
    double heldAtMs_[kMaxMeterChannels] = {};
    bool silent_[kMaxMeterChannels] = {};
    bool clipped_[kMaxMeterChannels] = {};
    double clippedAtMs_[kMaxMeterChannels] = {};
};

// Whether the first seconds of a recording are exactly silent, from its samples in order.
class TSilenceWatch {
public:
    static constexpr int kSeconds = 3;

    void Reset() { *this = TSilenceWatch(); }
    // True once, for the samples that complete the first seconds, when all of them were silent.
    bool Add(const BYTE* data, size_t count, uint64_t offset, int bits, int32_t bytesPerSecond);

private:
    bool heard_ = false;
    bool told_ = false;
};
