// The capture benchmark's second peer: a minimal wave-input client with no window, so that the
// benchmark can tell the recorder's own cost from the platform's. It records a device through the
// same API, in the same format and with the same half-second buffers, into a file of raw frames,
// until a line (or the end) comes on standard input.
//
//   wave_in_peer DEVICE CHANNELS RATE BITS FILE
//       prints STARTED once capture runs, then RESULT json once the file is written
#include "window_driver.h"

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

DWORD WINAPI WaitForStopLine(void* stop)
{
    char line[64];
    std::fgets(line, sizeof line, stdin); // a line or the end: either asks to stop
    SetEvent(stop);
    return 0;
}

int Record(const std::wstring& device, int channels, int rate, int bits, const std::wstring& fileName)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const DWORD bufferSize = format.nAvgBytesPerSec / 2 / format.nBlockAlign * format.nBlockAlign;

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
            if (header.dwBytesRecorded > header.dwBufferLength)
                Fail("the device reported " + std::to_string(header.dwBytesRecorded) + " bytes in a buffer of " +
                     std::to_string(header.dwBufferLength));
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

} // namespace
} // namespace e2e

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() != 5) {
        e2e::Say("usage: wave_in_peer DEVICE CHANNELS RATE BITS FILE");
        return 2;
    }
    try {
        return e2e::Record(args[0], std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]), args[4]);
    } catch (const e2e::Failure& failure) {
        e2e::Say("FAIL " + failure.what);
        return 1;
    }
}
