#pragma once
// unit_main: the main window TForm1 with its controls and handlers, the recording engine and the
// WAVE file writer (methods of the window), the format table and the size read-out routines.

#include <windows.h>
#include <mmsystem.h>

#include <climits>
#include <cstdint>
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
    std::unique_ptr<BYTE[]> Buffer1;
    std::unique_ptr<BYTE[]> Buffer2;
    WAVEFORMATEX WaveFormat{};
    WAVEHDR BufferHeader1{};
    WAVEHDR BufferHeader2{};
    HWAVEIN WaveIn = nullptr;
    WAVEHDR* CurrentHeader = &BufferHeader1;
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
    // No buffer back for this long while recording means the device has gone (tests lower it).
    DWORD StallTimeoutMs = 0; // 0: three buffer lengths, counted from the first buffer

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
    static constexpr UINT_PTR kStallTimerId = 1;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int left,
                       int top, int width, int height, int id);
    int Scale(int pixels) const;
    std::wstring DeviceErrorText(MMRESULT result);

    // Engine internals
    void QueueAgain(WAVEHDR* header);
    void CompleteRecording();
    void AbandonDevice();
    void RetryClose();
    void CheckForStall();
    void DeviceFailed(MMRESULT result);
    void WaitForPreviousRecording();
    void FinishRecordingBeforeClose();

    IWaveIn& device_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    bool deviceOpen_ = false;
    int appendFailuresInRow_ = 0;
    bool firstBufferSeen_ = false;
    DWORD lastBufferTick_ = 0;
    // Buffers a device that would not close may still write into: kept, never freed under it.
    std::vector<std::unique_ptr<BYTE[]>> abandonedBuffers_;

    // Device list
    std::vector<std::wstring> DeviceNames();
    void EndOnDeviceError(MMRESULT result);
    bool deviceListStale_ = false;
};

// The one main window of the program.
extern TForm1* Form1;
