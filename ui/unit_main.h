#pragma once
// unit_main: the main window TForm1, whose fields and methods are also the recording engine and the
// WAVE file writer. What the class stands on lives beside it:
//   ui/formats.h          the format table, the PCM format of a row, the half-second buffer size
//   ui/wave_header.h      the 44-byte WAVE header
//   ui/size_readout.h     FormatSize and FileSizeByName, the texts of Label1
//   ui/save_dialog.h      SaveDialog1's settings and the dialog itself
//   ui/device_list.h      the devices (identity and name) and the list controls' items
//   ui/capture_buffer.h   the capture ring's buffers
//   ui/recording.h        what belongs to one recording
//   ui/recording_state.h  where a recording is, and every way it moves
//   ui/level_meter.h      LevelMeter1, the level of the samples as they are recorded
//   ui/recording_files.h  the numbered files a recording goes on into
//   frame/frame.h         what the window asks of the application frame
// Methods by concern: form.cpp, window_proc.cpp, handlers.cpp, engine.cpp, engine_stop.cpp,
// device_wait.cpp, session.cpp, wave_writer.cpp, size_readout.cpp.

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "platform/binary_file.h"
#include "platform/guards.h"
#include "platform/power.h"
#include "platform/wave_in.h"
#include "ui/capture_buffer.h"
#include "ui/device_list.h"
#include "ui/formats.h"
#include "ui/level_meter.h"
#include "ui/recording.h"
#include "ui/recording_state.h"
#include "ui/save_dialog.h"
#include "ui/wave_header.h"

class TForm1 {
public:
    explicit TForm1(IFrame& frame, IWaveIn& waveIn = SystemWaveIn());
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    void Create(); // the window and its controls, owned by the frame's window; runs FormCreate
    void Show();
    HWND Handle() const noexcept { return handle_; }

    // Controls
    HWND Label1 = nullptr;
    TSaveDialog SaveDialog1;
    HWND GroupBox1 = nullptr;
    HWND ComboBox1 = nullptr;
    HWND GroupBox2 = nullptr;
    HWND ListBox1 = nullptr;
    HWND BitBtn1 = nullptr;
    HWND BitBtn2 = nullptr;
    TLevelMeter LevelMeter1;

    // WAVE file writer
    TWaveFileHeader WaveHeader{};
    TBinaryFile WaveFile;

    // Recording engine
    int32_t TotalBytes = 0;
    std::vector<TCaptureBuffer> Buffers; // this recording's ring, released once the device has closed
    WAVEFORMATEX WaveFormat{};
    HWAVEIN WaveIn = nullptr;
    TRecordingState State() const noexcept { return state_; }
    bool Stopping() const noexcept { return state_ != TRecordingState::Recording; } // no buffer queued again
    int32_t Channels = 0;
    int32_t BitsPerSample = 0;
    int32_t SampleRate = 0;
    int32_t BufferSize = 0;
    int32_t DeviceId = 0;

    // Handlers
    void FormCreate();
    void FillDeviceList();
    void ComboBox1Change();
    void BitBtn1Click();
    void BitBtn2Click();
    void WimOpen(HWAVEIN device);
    void WimData(HWAVEIN device, WAVEHDR* header);
    void WimClose(HWAVEIN device);

    // Engine
    MMRESULT StartRecording(const std::wstring& fileName);
    MMRESULT StopRecording();
    // Stops the recording and gives the window back: Record enabled, the file's size shown. The
    // Stop button and the engine's own stops (size limit, write failure, device gone) come here.
    void EndRecording();
    bool DeviceOpen() const noexcept; // from a successful open until its close has been handled
    // Tests lower these: where the recording stops by itself, and how long a silent device may be.
    int32_t MaxTotalBytes = kMaxWaveDataBytes;
    DWORD SilenceLimitOverrideMs = 0; // 0 for the default
    DWORD SilenceLimitMs() const;

    // Writer
    void CreateWaveFile(const std::wstring& fileName);
    void AppendWaveData(const BYTE* bytes, int32_t count);
    void WriteWaveHeader(int32_t totalBytes);
    void CloseWaveFile();

    void ShowSize(int32_t n); // Label1 shows FormatSize(n)
    void ShowLevel(const BYTE* bytes, int32_t count); // LevelMeter1 takes the bytes just written
    // The lists follow the system's devices (after the recording, if one runs), keeping the choice.
    void DevicesChanged();
    void RefreshDeviceList();

private:
    // form.cpp: the window, its controls and their density.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void CreateLevelMeter(); // at the window's density; called again, it places the meter anew
    // The fonts, the controls' places and item heights, Label1's size: at creation, and whenever the
    // window moves to a monitor of another density (then placed where the system suggests).
    void ApplyDensity(UINT dpi);
    void DensityChanged(UINT dpi, const RECT& suggested);
    SIZE FrameSizeAt(UINT dpi) const; // the window whose client area is exactly scaled to `dpi`
    int Scale(int pixels) const;
    void FitLabel1(); // Label1 sized to its text in its font
    // window_proc.cpp: the messages; a handler's reports are shown once it is done with the fields.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    template <typename Handler>
    LRESULT HandleAndReport(Handler&& handler);
    // handlers.cpp
    std::wstring DeviceErrorText(MMRESULT result);
    std::optional<TDevice> ListedDevice(LRESULT item) const; // the device of ComboBox1's item
    void EndOnDeviceError(MMRESULT result);
    // engine.cpp: the ring through the device and into the file.
    MMRESULT OpenDevice(UINT deviceId);
    MMRESULT QueueAndStart();
    MMRESULT StopDevice(); // reset and close; the close notification completes the file
    TCaptureBuffer* OwnBuffer(HWAVEIN device, const WAVEHDR* header);
    int32_t BytesToKeep(const WAVEHDR& header) const;
    void WriteHandedBack();
    void QueueAgain(TCaptureBuffer& buffer);
    void ContinueInNextFile();
    void CheckRoom(); // the free space of the file's disk: the meter's tooltip, and a warning once
    bool EndWriting(const EInOutError& error); // stops on a write failure; true when nobody reports it
    // engine_stop.cpp: how a recording ends.
    bool StopByItself(std::vector<std::wstring> why); // false when it had stopped already
    void ShowReports();
    void CompleteRecording(bool deviceClosed);
    void RetryClose();
    void CheckForSilence();
    void RestartSilenceAllowance();
    void DeviceFailed(MMRESULT result);
    void WaitForPreviousRecording();
    void FinishRecordingBeforeClose();
    void CloseUnusedDevice();
    bool NextDeviceMessage(MSG& message, DWORD waitMs);
    // device_wait.cpp: a device that went away, waited for.
    void DeviceGone(const std::wstring& why);
    void StartWaiting();
    void EndWaiting();
    void LookForDevice();
    // session.cpp: sleep, logoff and shutdown.
    void PowerChanged(WPARAM event);
    bool QueryEndSession(LPARAM reason) const;
    void EndSession(bool ending);

    IFrame& frame_;
    IWaveIn& device_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    GdiObject<HFONT> font_;
    GdiObject<HFONT> labelFont_;
    std::vector<TDevice> listed_;  // ComboBox1's devices, item by item, with their identities
    bool deviceListStale_ = false; // the devices changed while recording: refill at the stop

    TRecordingState state_ = TRecordingState::Idle;
    TRecording recording_; // the current or last recording
    TSessionHold session_; // no idle sleep, and a reason on the shutdown screen, while recording
    // The device has the previous one's handle value: until its open notification, notifications
    // with that value are the previous device's.
    bool awaitingOpen_ = false;
    // Rings of devices that never confirmed their close: they may still be written, so never freed.
    std::vector<std::vector<TCaptureBuffer>> abandonedBuffers_;
};
