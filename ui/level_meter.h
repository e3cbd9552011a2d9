#pragma once
// The level meter: a static control drawn as one bar per channel, the peak of the samples as they
// are recorded, falling smoothly; its text says each buffer's level in words for screen readers,
// its tooltip the recorded time. It also watches for a recording whose first seconds are exactly
// silent.

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ui/level.h"

class TLevelMeter {
public:
    TLevelMeter() = default;
    ~TLevelMeter();
    TLevelMeter(const TLevelMeter&) = delete;
    TLevelMeter& operator=(const TLevelMeter&) = delete;

    // Makes the control at `bounds` (client pixels of `parent`), or moves it there, as at a new
    // density. It shows levels while `recording` says so. `firstSecondsSilent` runs once per
    // recording, from the control's own message rather than inside Samples' caller, when the
    // recording's first seconds were exactly silent.
    void Create(HWND parent, const RECT& bounds, int id, std::function<bool()> recording,
                std::function<void()> firstSecondsSilent);
    HWND Handle() const noexcept { return handle_; }

    // Samples as written, in order; `first` with the first of a recording, whose later files (past
    // the size limit, after the device came back) go on counting. `live` while recording: a stopped
    // recording's last buffer only adds to the recorded time.
    void Samples(const BYTE* data, size_t count, bool first, const WAVEFORMATEX& format, bool live);
    // While the recording waits for its device to come back, the empty strip says so.
    void ShowWaiting(bool waiting);
    // The tooltip's second line while recording: how long the disk will last; empty for none.
    void ShowRoom(const std::wstring& text);
    // The recording is over: the strip empties now, not at a tick that a minimized window no
    // longer gets.
    void Empty();

private:
    struct TBarLook {
        int width; // pixels of the bar inside its trough
        bool fullScale;
        bool silent;
        bool operator==(const TBarLook& other) const
        {
            return width == other.width && fullScale == other.fullScale && silent == other.silent;
        }
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Tick();
    void StartTicking();
    void StopTicking();
    void SetText(const std::wstring& text);
    void ShowBars(const TLevelReading& reading);
    void Paint();
    void Draw(HDC dc, const RECT& client) const;
    void SetTip(const std::wstring& recorded, const std::wstring& room);
    void Destroy();

    HWND handle_ = nullptr;
    HWND tooltip_ = nullptr;
    WNDPROC staticProc_ = nullptr;
    std::function<bool()> recording_;
    std::function<void()> firstSecondsSilent_;
    TLevelTrack track_;
    TSilenceWatch silence_;
    uint64_t recorded_ = 0; // bytes of this recording so far, in all its files
    int channels_ = 0; // bars drawn; 0: not recording
    bool ticking_ = false; // the tick timer runs
    bool waiting_ = false;
    TBarLook bars_[kMaxMeterChannels] = {};
    std::wstring text_;
    std::wstring recordedTip_ = L"Записано: " + RecordedTimeText(0, 0);
    std::wstring roomTip_;
    std::wstring tip_ = recordedTip_;
};
