#include "ui/level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kNone = -std::numeric_limits<double>::infinity();

bool MeterFormat(int channels, int bits)
{
    return channels >= 1 && channels <= kMaxMeterChannels && (bits == 8 || bits == 16);
}

} // namespace

TChannelPeaks MeasurePeaks(const BYTE* data, size_t count, int channels, int bits)
{
    TChannelPeaks peaks;
    if (!MeterFormat(channels, bits))
        return peaks;
    const size_t frames = count / (static_cast<size_t>(channels) * bits / 8);
    for (size_t i = 0, at = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c, ++at) {
            int32_t magnitude;
            bool clipped;
            if (bits == 16) {
                const auto sample = static_cast<int16_t>(data[2 * at] | data[2 * at + 1] << 8);
                magnitude = sample < 0 ? -int32_t{sample} : sample;
                clipped = sample == -32768 || sample == 32767;
            } else {
                // Unsigned, with the zero line at 128.
                const int sample = data[at];
                magnitude = (sample < 128 ? 128 - sample : sample - 128) * 256;
                clipped = sample == 0 || sample == 255;
            }
            peaks.Peak[c] = std::max(peaks.Peak[c], magnitude);
            peaks.FullScale[c] = peaks.FullScale[c] || clipped;
        }
    }
    return peaks;
}

bool IsExactSilence(const BYTE* data, size_t count, int bits)
{
    const BYTE zeroLine = bits == 8 ? 128 : 0;
    return std::all_of(data, data + count, [zeroLine](BYTE b) { return b == zeroLine; });
}

double PeakDb(int32_t peak)
{
    return peak > 0 ? 20 * std::log10(static_cast<double>(peak) / kFullScalePeak) : kNone;
}

std::wstring LevelText(const TLevelReading& reading)
{
    if (reading.Channels == 0)
        return L"";
    bool clipped = false;
    bool silent = true;
    double loudest = kNone;
    for (int c = 0; c < reading.Channels; ++c) {
        clipped = clipped || reading.FullScale[c];
        silent = silent && reading.Silent[c];
        loudest = std::max(loudest, reading.Db[c]);
    }
    if (clipped)
        return L"Уровень: перегрузка";
    if (silent || loudest == kNone)
        return L"Уровень: тишина";
    const long db = std::lround(loudest);
    // A true minus sign, as the level is read out and shown, not a hyphen.
    return db < 0 ? L"Уровень: \u2212" + std::to_wstring(-db) + L" дБ" : L"Уровень: " + std::to_wstring(db) + L" дБ";
}

std::wstring RecordedTimeText(int64_t bytes, int32_t bytesPerSecond)
{
    const int64_t seconds = bytesPerSecond > 0 && bytes > 0 ? bytes / bytesPerSecond : 0;
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

void TLevelTrack::Add(const BYTE* data, size_t count, uint64_t offset, int channels, int bits, int sampleRate,
                      uint64_t nowMs)
{
    // What was not replayed yet of the previous buffer still counts: a peak is never skipped.
    TakeBlocksDueBy(nowMs, true);
    blockCount_ = 0;
    nextBlock_ = 0;
    latest_ = TLevelReading{};
    if (!MeterFormat(channels, bits) || sampleRate <= 0)
        return;
    channels_ = channels;
    floorDb_ = PeakDb(bits == 8 ? 256 : 1);

    const size_t frameBytes = static_cast<size_t>(channels) * bits / 8;
    const size_t skip = (frameBytes - offset % frameBytes) % frameBytes; // the rest of a frame begun before
    if (count <= skip)
        return;
    data += skip;
    const size_t frames = (count - skip) / frameBytes;
    size_t blockFrames = std::max<size_t>(1, static_cast<size_t>(sampleRate) * kBlockMs / 1000);
    if ((frames + blockFrames - 1) / blockFrames > kMaxBlocks)
        blockFrames = (frames + kMaxBlocks - 1) / kMaxBlocks;
    TChannelPeaks whole;
    for (size_t first = 0; first < frames; first += blockFrames) {
        const size_t n = std::min(blockFrames, frames - first);
        const TChannelPeaks& block = blocks_[blockCount_++] =
            MeasurePeaks(data + first * frameBytes, n * frameBytes, channels, bits);
        for (int c = 0; c < channels; ++c) {
            whole.Peak[c] = std::max(whole.Peak[c], block.Peak[c]);
            whole.FullScale[c] = whole.FullScale[c] || block.FullScale[c];
        }
    }
    latest_.Channels = channels;
    for (int c = 0; c < channels; ++c) {
        latest_.Db[c] = PeakDb(whole.Peak[c]);
        latest_.Silent[c] = whole.Peak[c] == 0;
        latest_.FullScale[c] = whole.FullScale[c];
    }
    blockMs_ = static_cast<double>(blockFrames) * 1000 / sampleRate;
    arrivalMs_ = nowMs;
}

void TLevelTrack::TakeBlocksDueBy(uint64_t nowMs, bool all)
{
    const double now = static_cast<double>(nowMs);
    while (nextBlock_ < blockCount_) {
        const double due = static_cast<double>(arrivalMs_) + nextBlock_ * blockMs_;
        // Within half a block counts as due: a timer tick that comes a little early still shows it.
        if (!all && due > now + blockMs_ / 2)
            break;
        TakeBlock(blocks_[nextBlock_++], std::min(due, now));
    }
}

void TLevelTrack::TakeBlock(const TChannelPeaks& block, double atMs)
{
    shown_ = true;
    for (int c = 0; c < channels_; ++c) {
        silent_[c] = block.Peak[c] == 0;
        if (block.FullScale[c]) {
            clipped_[c] = true;
            clippedAtMs_[c] = atMs;
        }
        if (block.Peak[c] == 0)
            continue;
        const double db = PeakDb(block.Peak[c]);
        const double falling = heldDb_[c] - kFallDbPerSecond * (atMs - heldAtMs_[c]) / 1000;
        if (!held_[c] || db >= falling) {
            held_[c] = true;
            heldDb_[c] = db;
            heldAtMs_[c] = atMs;
        }
    }
}

TLevelReading TLevelTrack::Read(uint64_t nowMs)
{
    TakeBlocksDueBy(nowMs, false);
    TLevelReading reading;
    if (!shown_)
        return reading;
    const double now = static_cast<double>(nowMs);
    reading.Channels = channels_;
    for (int c = 0; c < channels_; ++c) {
        reading.Db[c] = held_[c] ? std::max(floorDb_, heldDb_[c] - kFallDbPerSecond * (now - heldAtMs_[c]) / 1000)
                                 : kNone;
        reading.Silent[c] = silent_[c];
        reading.FullScale[c] = clipped_[c] && now - clippedAtMs_[c] < kFullScaleHoldMs;
    }
    return reading;
}

bool TSilenceWatch::Add(const BYTE* data, size_t count, uint64_t offset, int bits, int32_t bytesPerSecond)
{
    if (told_ || heard_ || bytesPerSecond <= 0)
        return false;
    const uint64_t limit = uint64_t{kSeconds} * static_cast<uint64_t>(bytesPerSecond);
    if (offset >= limit)
        return false;
    const size_t within = static_cast<size_t>(std::min<uint64_t>(count, limit - offset));
    if (!IsExactSilence(data, within, bits)) {
        heard_ = true;
        return false;
    }
    if (offset + within < limit)
        return false;
    told_ = true;
    return true;
}
