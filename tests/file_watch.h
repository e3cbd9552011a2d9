#pragma once
// Watches whether what the recorder writes reaches the disk: the product is linked into the test's
// executable, so its calls go through that executable's import slots, which the watch points at its
// own functions while it lives. A recording (.wav) left with writes that were never flushed is only
// in the system's cache, and a power cut would lose it.
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace test_support {

class FileWatch {
public:
    FileWatch() { Patch(true); }
    ~FileWatch() { Patch(false); }
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Recordings still open with writes not flushed since.
    std::vector<std::wstring> Unflushed() const
    {
        std::vector<std::wstring> names;
        for (const HANDLE file : dirty_)
            if (const std::wstring name = Recording(file); !name.empty())
                names.push_back(name);
        return names;
    }
    // Recordings closed with writes never flushed.
    std::vector<std::wstring> closedUnflushed;

private:
    enum { kWrite, kFlush, kClose, kCalls };

    static std::wstring Recording(HANDLE file)
    {
        wchar_t name[1024] = {};
        const DWORD length = GetFinalPathNameByHandleW(file, name, 1024, FILE_NAME_NORMALIZED);
        return length > 4 && length < 1024 && _wcsicmp(name + length - 4, L".wav") == 0 ? name : L"";
    }
    static FileWatch*& Active()
    {
        static FileWatch* active = nullptr;
        return active;
    }
    static void*& Real(int call)
    {
        static void* real[kCalls] = {};
        return real[call];
    }

    static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
    {
        Active()->dirty_.insert(file);
        return reinterpret_cast<decltype(&WriteFile)>(Real(kWrite))(file, data, count, written, overlapped);
    }
    static BOOL WINAPI Flush(HANDLE file)
    {
        const BOOL flushed = reinterpret_cast<decltype(&FlushFileBuffers)>(Real(kFlush))(file);
        if (flushed)
            Active()->dirty_.erase(file);
        return flushed;
    }
    static BOOL WINAPI Close(HANDLE handle)
    {
        if (Active()->dirty_.erase(handle))
            if (const std::wstring name = Recording(handle); !name.empty())
                Active()->closedUnflushed.push_back(name);
        return reinterpret_cast<decltype(&CloseHandle)>(Real(kClose))(handle);
    }

    // Points this executable's imports of the three calls at the watch's functions, or back.
    void Patch(bool watch)
    {
        static const char* const kNames[kCalls] = {"WriteFile", "FlushFileBuffers", "CloseHandle"};
        static void* const kHooks[kCalls] = {reinterpret_cast<void*>(&Write), reinterpret_cast<void*>(&Flush),
                                            reinterpret_cast<void*>(&Close)};
        Active() = watch ? this : nullptr;
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
            base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
        for (; module->Name; ++module) {
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots)
                for (int call = 0; call < kCalls; ++call) {
                    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                        std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                                    kNames[call]) != 0)
                        continue;
                    if (watch)
                        Real(call) = reinterpret_cast<void*>(slots->u1.Function);
                    DWORD protection = 0;
                    VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
                    slots->u1.Function = reinterpret_cast<ULONG_PTR>(watch ? kHooks[call] : Real(call));
                    VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
                }
        }
    }

    std::set<HANDLE> dirty_;
};

} // namespace test_support
