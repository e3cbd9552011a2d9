#pragma once
// What the unit tests share: scratch folders, file reading, a known byte pattern, the message pump.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "frame/application.h"
#include "frame/boxes.h"
#include "ui/unit_main.h"

namespace test_support {

// Stands in for the system's boxes: keeps what each would have shown, by kind, or hands it to
// `onShow` when that is set.
struct TestBoxes final : IBoxes {
    std::function<void(TBoxKind kind, const std::wstring& text)> onShow;
    std::vector<std::wstring> errors, messages, deviceErrors;

    void Show(TBoxKind kind, HWND, const std::wstring&, const std::wstring& text) override
    {
        if (onShow)
            onShow(kind, text);
        else
            (kind == TBoxKind::Error ? errors : kind == TBoxKind::Message ? messages : deviceErrors).push_back(text);
    }
};

// A fresh folder under `base` (the system's temporary folder by default), removed with its content.
class TempDir {
public:
    explicit TempDir(std::filesystem::path base = std::filesystem::temp_directory_path())
    {
        static unsigned serial = 0;
        for (;;) {
            path_ = base / (L"recorder-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++serial));
            if (CreateDirectoryW(path_.c_str(), nullptr))
                return;
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                path_.clear();
                return;
            }
        }
    }
    ~TempDir()
    {
        if (path_.empty())
            return;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Valid() const { return !path_.empty(); }
    std::wstring File(const std::wstring& name) const { return (path_ / name).wstring(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The file's bytes, read through a handle that shares with a writer still holding it open.
inline std::vector<uint8_t> ReadAll(const std::wstring& name)
{
    std::vector<uint8_t> bytes;
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read,
                                         nullptr) ||
                               read != bytes.size()))
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

// Writes `bytes` as the whole file `name`; false when it cannot.
inline bool WriteAll(const std::wstring& name, const std::vector<uint8_t>& bytes)
{
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                                nullptr) &&
                                      written == bytes.size());
    FlushFileBuffers(file); // on the disk, as the recorder leaves its own files
    CloseHandle(file);
    return ok;
}

// Audio stand-in: byte i of a recording is i mod 251, so a lost, repeated or moved byte shows.
inline uint8_t PatternByte(int64_t i) { return static_cast<uint8_t>(i % 251); }

inline std::vector<BYTE> PatternBuffer(int64_t offset, int32_t count)
{
    std::vector<BYTE> bytes(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        bytes[i] = PatternByte(offset + i);
    return bytes;
}

inline bool HoldsPattern(const std::vector<uint8_t>& file, size_t from, int64_t count)
{
    if (file.size() < from + static_cast<size_t>(count))
        return false;
    for (int64_t i = 0; i < count; ++i)
        if (file[from + static_cast<size_t>(i)] != PatternByte(i))
            return false;
    return true;
}

inline TWaveFileHeader HeaderOf(const std::vector<uint8_t>& file)
{
    TWaveFileHeader header{};
    if (file.size() >= sizeof header)
        std::memcpy(&header, file.data(), sizeof header);
    return header;
}

inline std::wstring Env(const wchar_t* name)
{
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

// Records `buffers` of pattern bytes the way the engine drives the writer; returns TotalBytes.
inline int32_t RecordPattern(TForm1& form, const std::wstring& name, const std::vector<int32_t>& buffers)
{
    form.CreateWaveFile(name);
    form.TotalBytes = 0;
    for (int32_t count : buffers) {
        const auto bytes = PatternBuffer(form.TotalBytes, count);
        form.AppendWaveData(bytes.data(), count);
        form.TotalBytes += count;
    }
    form.WriteWaveHeader(form.TotalBytes);
    form.CloseWaveFile();
    return form.TotalBytes;
}

inline void SetFormat(TForm1& form, int32_t channels, int32_t sampleRate, int32_t bitsPerSample)
{
    form.Channels = channels;
    form.SampleRate = sampleRate;
    form.BitsPerSample = bitsPerSample;
}

// Handles the thread's messages until `done` or `milliseconds` have passed; true when done. A flood
// of messages cannot keep it from returning.
inline bool PumpFor(DWORD milliseconds, const std::function<bool()>& done = [] { return false; })
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (!done() && GetTickCount() - start < milliseconds && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Handles every message waiting now (and those they post in turn), for at most two seconds.
inline void Pump()
{
    MSG peeked;
    PumpFor(2000, [&] { return !PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE); });
}

} // namespace test_support
