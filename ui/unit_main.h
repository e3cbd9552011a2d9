#pragma once
// unit_main: the main window TForm1 with its controls and handlers, the recording engine and the
// WAVE file writer (methods of the window), the format table and the size read-out routines.

#include <windows.h>
#include <mmsystem.h>

#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/binary_file.h"
#include "platform/wave_in.h"

// ---- Recording formats ------------------------------------------------------------------------

struct TRecordingFormat {
    int32_t Channels;
    int32_t SampleRate;
    int32_t BitsPerSample;
    uint32_t CapabilityBit; // the WAVEINCAPS dwFormats bit for this format
    const wchar_t* Name;
};

inline constexpr int kRecordingFormatCount = 12;
extern const TRecordingFormat RecordingFormats[kRecordingFormatCount];

// Rows of RecordingFormats the device supports, in table order; none when its capabilities
// cannot be read.
std::vector<int> SupportedFormatRows(IWaveIn& waveIn, UINT deviceId);
// Half a second of audio, rounded down to whole frames.
int32_t FormatBufferSize(const TRecordingFormat& format);

// ---- WAVE file header -------------------------------------------------------------------------

#pragma pack(push, 1)
struct TWaveFileHeader {
    char RiffTag[4];
    uint32_t RiffLength;
    char WaveTag[4];
    char FmtTag[4];
    uint32_t FmtLength;
    uint16_t FormatTag;
    uint16_t Channels;
    uint32_t SampleRate;
    uint32_t ByteRate;
    uint16_t BlockAlign;
    uint16_t BitsPerSample;
    char DataTag[4];
    uint32_t DataLength;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFileHeader) == 44, "the WAVE header is 44 bytes on disk");

// The largest audio length a header can carry: both TotalBytes and the RIFF length (TotalBytes + 36)
// must stay within the signed 32-bit range.
inline constexpr int32_t kMaxWaveDataBytes = INT32_MAX - 36;

TWaveFileHeader MakeWaveFileHeader(int32_t channels, int32_t sampleRate, int32_t bitsPerSample,
                                   int32_t totalBytes);

// ---- Size read-out ----------------------------------------------------------------------------

// "%d байт", or "%d КБ" of n div 1024 when that is not 0.
std::wstring FormatSize(int32_t n);
// The size in the file's directory entry (low 32 bits, signed), or -1 when there is none.
int32_t FileSizeByName(const std::wstring& name);

// ---- Save dialog ------------------------------------------------------------------------------

struct TSaveDialog {
    std::wstring Title;
    std::wstring DefaultExt;
    std::wstring Filter;
    std::wstring FileName; // the last accepted name
    // Shows the dialog; true when a name was accepted (FileName then holds it).
    bool Execute(HWND owner);
};

// ---- Capture buffers --------------------------------------------------------------------------

// Half-second buffers kept queued at the device. The window's thread writes the file and queues
// buffers again; while it is held up (a slow disk, a scanner, a network share) the device fills
// what it holds. Eight ride out a stall of 3 s: at least seven are waiting when it begins.
inline constexpr int kCaptureBufferCount = 8;

// One capture buffer and its header, which points into it. Neither may move or be freed while the
// device may still use them.
struct TCaptureBuffer {
    std::unique_ptr<BYTE[]> Data;
    WAVEHDR Header{};
    bool Prepared = false;
    bool FailedOnce = false; // its append failed once; it is tried again before any later buffer
};

// ---- The main window --------------------------------------------------------------------------

class TForm1 {
public:
    explicit TForm1(IWaveIn& waveIn = SystemWaveIn());
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Creates the window and its controls (running FormCreate), owned by `owner`; not yet shown.
    void Create(HWND owner);
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

    // WAVE file writer
    TWaveFileHeader WaveHeader{};
    TBinaryFile WaveFile;

    // Recording engine
    int32_t TotalBytes = 0;
    // The current recording's buffers, in the order they were first queued; fresh for each
    // recording, released once the device has closed.
    std::vector<TCaptureBuffer> Buffers;
    WAVEFORMATEX WaveFormat{};
    HWAVEIN WaveIn = nullptr;
    bool Stopping = false;
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
    // True from a successful open until the device's close notification has been handled.
    bool DeviceOpen() const noexcept { return deviceOpen_; }
    // The recording stops by itself before TotalBytes would pass this (tests lower it).
    int32_t MaxTotalBytes = kMaxWaveDataBytes;
    // No audio for this long while recording means the device has gone; 0 for the default
    // (SilenceLimitMs). Tests lower it.
    DWORD SilenceLimitOverrideMs = 0;
    DWORD SilenceLimitMs() const;

    // Writer
    void CreateWaveFile(const std::wstring& fileName);
    void AppendWaveData(const BYTE* bytes, int32_t count);
    void WriteWaveHeader(int32_t totalBytes);
    void CloseWaveFile();

    // Shows a device error in the "ОШИБКА!" box owned by the window; tests replace it.
    std::function<void(const std::wstring& text)> DeviceErrorBox;

    // Size read-out: Label1 shows FormatSize(n).
    void ShowSize(int32_t n);

    // The device list follows the system: refilled on a device change (once the recording has
    // stopped, if one is running), keeping the chosen device and format by name.
    void DevicesChanged();
    void RefreshDeviceList();

private:
    static constexpr UINT kDeviceFailedMessage = WM_APP + 1; // wParam: the device's result code
    static constexpr UINT kCloseRetryMessage = WM_APP + 2;
    static constexpr UINT_PTR kSilenceTimerId = 1;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    template <typename Handler>
    LRESULT EngineMessage(Handler&& handler);
    void CreateControls();
    HWND CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int left,
                       int top, int width, int height, int id);
    int Scale(int pixels) const;
    std::wstring DeviceErrorText(MMRESULT result);

    // Engine internals
    TCaptureBuffer* OwnBuffer(HWAVEIN device, const WAVEHDR* header);
    int32_t BytesToKeep(const WAVEHDR& header) const;
    void WriteHandedBack();
    void QueueAgain(TCaptureBuffer& buffer);
    void StopAutomatically(std::vector<std::wstring> why);
    void ReportAutomaticStop();
    void CompleteRecording(bool deviceClosed);
    void RetryClose();
    void CheckForSilence();
    void DeviceFailed(MMRESULT result);
    void WaitForPreviousRecording();
    void FinishRecordingBeforeClose();

    IWaveIn& device_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    bool deviceOpen_ = false;
    // The device got the handle value of the previous recording's: until its open notification,
    // notifications with that value are the previous device's.
    bool awaitingOpen_ = false;
    // Handed back by the device, not yet written, oldest first.
    std::deque<TCaptureBuffer*> unwritten_;
    // A buffer could not be written: nothing after it may be, or the file would skip audio.
    bool discardRest_ = false;
    bool dataSeen_ = false;
    DWORD lastDataTick_ = 0;
    // Why the recording stopped by itself, shown once the handler that stopped it has finished.
    std::vector<std::wstring> stopReports_;
    // Buffers of devices that never confirmed their close: they may still be written, so they are
    // kept, never freed or reused.
    std::vector<std::vector<TCaptureBuffer>> abandonedBuffers_;

    // Device list
    std::vector<std::wstring> DeviceNames();
    void EndOnDeviceError(MMRESULT result);
    bool deviceListStale_ = false;
};

// The one main window of the program.
extern TForm1* Form1;
