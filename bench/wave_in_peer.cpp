// The capture benchmark's peers beside the recorder, from this one source.
//
// wave_in_peer: a minimal wave-input client with no window, the platform's own floor. It records a
// device through the same API, in the same format and with the same half-second buffers, into a
// file of raw frames.
//
// windowed_peer (built with WINDOWED_PEER): the floor under the recorder's visible work. A window
// that records the same way (the recorder's ring of half-second buffers, each handed back to the
// window and written there), sets a label to the size written, draws a strip of the level meter's
// size 22 times a second while it is not minimized, and has shown the item save dialog once, whose
// shell components stay loaded; it records to the name given there.
//
//   wave_in_peer DEVICE CHANNELS RATE BITS FILE
//   windowed_peer DEVICE CHANNELS RATE BITS FILE shown|minimized
//       print STARTED once capture runs, then RESULT json once the file is written; a line (or the
//       end) on standard input stops them
#include "tests/e2e/window_driver.h"

#ifdef WINDOWED_PEER
#include <shobjidl.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "ui/capture_buffer.h"
#endif

namespace e2e {
namespace {

// Two seconds queued: this thread does nothing but hand buffers back, so the device never runs dry.
constexpr int kPeerBuffers = 4;

class OutputFile {
public:
    explicit OutputFile(const std::wstring& name)
        : handle_(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            Fail("cannot create " + Utf8(name) + ", error " + std::to_string(GetLastError()));
    }
    ~OutputFile() { CloseHandle(handle_); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const char* data, DWORD length)
    {
        DWORD written = 0;
        if (!WriteFile(handle_, data, length, &written, nullptr) || written != length)
            Fail("writing the frames failed, error " + std::to_string(GetLastError()));
    }

private:
    HANDLE handle_;
};

UINT FindDevice(const std::wstring& name)
{
    std::vector<std::wstring> names;
    for (UINT id = 0; id < waveInGetNumDevs(); ++id) {
        WAVEINCAPSW caps{};
        if (waveInGetDevCapsW(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
            continue;
        if (name == caps.szPname)
            return id;
        names.push_back(caps.szPname);
    }
    Fail("no wave-input device " + Utf8(name) + " in " + JsonList(names));
}

void Check(MMRESULT result, const char* what)
{
    if (result != MMSYSERR_NOERROR)
        Fail(std::string(what) + " failed, result " + std::to_string(result));
}

WAVEFORMATEX PcmFormat(int channels, int rate, int bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

// Half a second in whole frames, as the recorder's buffers.
DWORD HalfSecond(const WAVEFORMATEX& format)
{
    return format.nAvgBytesPerSec / 2 / format.nBlockAlign * format.nBlockAlign;
}

void CheckBytes(const WAVEHDR& header)
{
    if (header.dwBytesRecorded > header.dwBufferLength)
        Fail("the device reported " + std::to_string(header.dwBytesRecorded) + " bytes in a buffer of " +
             std::to_string(header.dwBufferLength));
}

#ifndef WINDOWED_PEER

DWORD WINAPI WaitForStopLine(void* stop)
{
    char line[64];
    std::fgets(line, sizeof line, stdin); // a line or the end: either asks to stop
    SetEvent(stop);
    return 0;
}

int Record(const std::wstring& device, int channels, int rate, int bits, const std::wstring& fileName)
{
    WAVEFORMATEX format = PcmFormat(channels, rate, bits);
    const DWORD bufferSize = HalfSecond(format);

    OutputFile out(fileName);
    const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWAVEIN wave = nullptr;
    Check(waveInOpen(&wave, FindDevice(device), &format, reinterpret_cast<DWORD_PTR>(ready), 0, CALLBACK_EVENT),
          "waveInOpen");
    std::vector<std::vector<char>> buffers(kPeerBuffers, std::vector<char>(bufferSize));
    std::vector<WAVEHDR> headers(kPeerBuffers);
    for (int i = 0; i < kPeerBuffers; ++i) {
        headers[i].lpData = buffers[i].data();
        headers[i].dwBufferLength = bufferSize;
        Check(waveInPrepareHeader(wave, &headers[i], sizeof(WAVEHDR)), "waveInPrepareHeader");
        Check(waveInAddBuffer(wave, &headers[i], sizeof(WAVEHDR)), "waveInAddBuffer");
    }
    Check(waveInStart(wave), "waveInStart");
    Say("STARTED");

    const HANDLE reader = CreateThread(nullptr, 0, WaitForStopLine, stop, 0, nullptr);

    // The device hands the buffers back in the order they were queued.
    int next = 0;
    long long bytes = 0;
    int handedBack = 0;
    const auto writeDone = [&](bool queueAgain) {
        for (int i = 0; i < kPeerBuffers && (headers[next].dwFlags & WHDR_DONE); ++i) {
            WAVEHDR& header = headers[next];
            CheckBytes(header);
            out.Write(header.lpData, header.dwBytesRecorded);
            bytes += header.dwBytesRecorded;
            ++handedBack;
            header.dwFlags &= ~WHDR_DONE;
            if (queueAgain)
                Check(waveInAddBuffer(wave, &header, sizeof(WAVEHDR)), "waveInAddBuffer");
            next = (next + 1) % kPeerBuffers;
        }
    };
    const HANDLE events[] = {ready, stop};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0)
        writeDone(true);
    Check(waveInReset(wave), "waveInReset");
    writeDone(false);
    for (WAVEHDR& header : headers)
        waveInUnprepareHeader(wave, &header, sizeof(WAVEHDR));
    Check(waveInClose(wave), "waveInClose");

    Say("RESULT " + JsonObject()
                        .Add("bytes", bytes)
                        .Add("buffers", handedBack)
                        .Add("buffer_size", static_cast<long long>(bufferSize))
                        .Str());
    CloseHandle(reader);
    CloseHandle(stop);
    CloseHandle(ready);
    return 0;
}


#else // WINDOWED_PEER

constexpr UINT kStopMessage = WM_APP + 1;
constexpr UINT_PTR kDrawTimerId = 1;
constexpr UINT kDrawMs = 45; // the level meter's tick
// The recorder's client area, its label's and its level meter's places there, at 96 ppi.
constexpr SIZE kClient{193, 241};
constexpr RECT kLabel{8, 221, 104, 237};
constexpr RECT kStrip{112, 221, 187, 237};

struct Floor {
    OutputFile* out = nullptr;
    HWAVEIN wave = nullptr;
    HWND label = nullptr;
    HWND strip = nullptr;
    std::vector<TCaptureBuffer> ring;
    std::wstring labelText;
    int channels = 0;
    int bits = 0;
    int32_t peak[2] = {}; // of the last buffer, on the 16-bit scale
    long long bytes = 0;
    bool stopping = false;
};

void Written(Floor& floor, WAVEHDR& header)
{
    CheckBytes(header);
    floor.out->Write(header.lpData, header.dwBytesRecorded);
    floor.bytes += header.dwBytesRecorded;
    // A level meter must read every sample: the peaks of the first two channels.
    floor.peak[0] = floor.peak[1] = 0;
    if (floor.bits == 16) {
        const auto* samples = reinterpret_cast<const int16_t*>(header.lpData);
        for (DWORD i = 0; i < header.dwBytesRecorded / 2; ++i)
            if (const int c = static_cast<int>(i % floor.channels); c < 2)
                floor.peak[c] = std::max(floor.peak[c], std::abs(int32_t{samples[i]}));
    }
    std::wstring text = std::to_wstring(floor.bytes / 1024) + L" КБ";
    if (text != floor.labelText)
        SetWindowTextW(floor.label, (floor.labelText = std::move(text)).c_str());
    if (!floor.stopping)
        Check(waveInAddBuffer(floor.wave, &header, sizeof(WAVEHDR)), "waveInAddBuffer");
}

// Two bars in sunken troughs, as the level meter draws them.
void Draw(const Floor& floor)
{
    RECT client{};
    GetClientRect(floor.strip, &client);
    const HDC dc = GetDC(floor.strip);
    for (int c = 0; c < 2; ++c) {
        RECT trough{0, c * client.bottom / 2, client.right, (c + 1) * client.bottom / 2};
        DrawEdge(dc, &trough, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        RECT filled = trough;
        filled.right = trough.left + MulDiv(trough.right - trough.left, floor.peak[c], 32768);
        RECT rest = trough;
        rest.left = filled.right;
        FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
        FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
    }
    ReleaseDC(floor.strip, dc);
}

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* floor = reinterpret_cast<Floor*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!floor)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case MM_WIM_DATA:
        Written(*floor, *reinterpret_cast<WAVEHDR*>(lParam));
        return 0;
    case MM_WIM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case kStopMessage:
        // The reset hands every buffer back, each through its own MM_WIM_DATA; the close comes after.
        floor->stopping = true;
        Check(waveInReset(floor->wave), "waveInReset");
        for (TCaptureBuffer& buffer : floor->ring)
            Check(waveInUnprepareHeader(floor->wave, &buffer.Header, sizeof(WAVEHDR)), "waveInUnprepareHeader");
        Check(waveInClose(floor->wave), "waveInClose");
        return 0;
    case WM_TIMER:
        Draw(*floor);
        return 0;
    case WM_SIZE:
        // Minimized, nothing is drawn.
        if (wParam == SIZE_MINIMIZED)
            KillTimer(window, kDrawTimerId);
        else
            SetTimer(window, kDrawTimerId, kDrawMs, nullptr);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND Child(HWND parent, const RECT& place)
{
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent, nullptr, nullptr, nullptr);
}

// The item save dialog, answered from a thread of this process with `fileName`; the name it gives.
std::wstring AskForName(HWND owner, const std::wstring& fileName)
{
    IFileSaveDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        Fail("cannot create the item save dialog");
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options & ~FOS_OVERWRITEPROMPT);
    dialog->SetTitle(save_dialog::kTitle);
    std::thread answer = save_dialog::AnswerNext(fileName);
    const HRESULT shown = dialog->Show(owner);
    answer.join();
    IShellItem* item = nullptr;
    wchar_t* path = nullptr;
    if (FAILED(shown) || FAILED(dialog->GetResult(&item)) || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)))
        Fail("the item save dialog gave no name");
    const std::wstring name = path;
    CoTaskMemFree(path);
    item->Release();
    dialog->Release();
    return name;
}

int RecordInWindow(const std::wstring& device, int channels, int rate, int bits, const std::wstring& fileName,
                   bool minimized)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        Fail("CoInitializeEx failed");
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FloorProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"WindowedPeer";
    if (!RegisterClassExW(&windowClass))
        Fail("cannot register the window class");
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kClient.cx, kClient.cy};
    AdjustWindowRect(&frame, style, FALSE);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Windowed peer", style, CW_USEDEFAULT,
                                        CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    if (!window)
        Fail("cannot create the window");
    Floor floor;
    floor.label = Child(window, kLabel);
    floor.strip = Child(window, kStrip);
    floor.channels = channels;
    floor.bits = bits;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    OutputFile out(AskForName(window, fileName));
    floor.out = &out;
    const WAVEFORMATEX format = PcmFormat(channels, rate, bits);
    Check(waveInOpen(&floor.wave, FindDevice(device), &format, reinterpret_cast<DWORD_PTR>(window), 0,
                     CALLBACK_WINDOW),
          "waveInOpen");
    // The recorder's ring; like its buffers, these are not zero-filled, so only what the device
    // has written is ever touched.
    const DWORD bufferSize = HalfSecond(format);
    floor.ring.resize(CaptureBufferCount(static_cast<int32_t>(bufferSize), format.nAvgBytesPerSec));
    for (TCaptureBuffer& buffer : floor.ring) {
        buffer.Data.reset(new BYTE[bufferSize]);
        buffer.Header.lpData = reinterpret_cast<LPSTR>(buffer.Data.get());
        buffer.Header.dwBufferLength = bufferSize;
        Check(waveInPrepareHeader(floor.wave, &buffer.Header, sizeof(WAVEHDR)), "waveInPrepareHeader");
        Check(waveInAddBuffer(floor.wave, &buffer.Header, sizeof(WAVEHDR)), "waveInAddBuffer");
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&floor));
    Check(waveInStart(floor.wave), "waveInStart");
    SetTimer(window, kDrawTimerId, kDrawMs, nullptr);
    if (minimized)
        ShowWindow(window, SW_MINIMIZE);
    Say("STARTED");

    std::thread reader([window] {
        char line[64];
        std::fgets(line, sizeof line, stdin); // a line or the end: either asks to stop
        PostMessageW(window, kStopMessage, 0, 0);
    });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    reader.join();
    Say("RESULT " + JsonObject()
                        .Add("bytes", floor.bytes)
                        .Add("ring", static_cast<long long>(floor.ring.size()))
                        .Str());
    DestroyWindow(window);
    CoUninitialize();
    return 0;
}

#endif

} // namespace
} // namespace e2e

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
#ifdef WINDOWED_PEER
    if (args.size() != 6 || (args[5] != L"shown" && args[5] != L"minimized")) {
        e2e::Say("usage: windowed_peer DEVICE CHANNELS RATE BITS FILE shown|minimized");
        return 2;
    }
#else
    if (args.size() != 5) {
        e2e::Say("usage: wave_in_peer DEVICE CHANNELS RATE BITS FILE");
        return 2;
    }
#endif
    try {
#ifdef WINDOWED_PEER
        return e2e::RecordInWindow(args[0], std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]), args[4],
                                   args[5] == L"minimized");
#else
        return e2e::Record(args[0], std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]), args[4]);
#endif
    } catch (const e2e::Failure& failure) {
        e2e::Say("FAIL " + failure.what);
        return 1;
    }
}
