#include "thread_stall.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "window_driver.h"

namespace e2e {
namespace {

// Where a thread waits without holding any lock of the platform's: the message loop's waits and a
// file write. Each is a system-call stub, so the suspended thread's instruction pointer is inside it.
const struct {
    const wchar_t* module;
    const char* name;
} kRestingPlaces[] = {
    {L"win32u.dll", "NtUserGetMessage"},
    {L"win32u.dll", "NtUserMsgWaitForMultipleObjectsEx"},
    {L"win32u.dll", "NtUserWaitMessage"},
    {L"ntdll.dll", "NtWriteFile"},
};

// A system-call stub is shorter than this.
constexpr uintptr_t kStubBytes = 32;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The export of a module loaded in this process nearest below `rva`, and its distance; empty when
// the module is not loaded here. System DLLs are the same files in both processes.
std::string NearestExport(const std::wstring& module, uintptr_t rva, uintptr_t* distance)
{
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(module.c_str()));
    if (!base)
        return {};
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!directory.VirtualAddress)
        return {};
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    std::string best;
    uintptr_t bestRva = 0;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const DWORD function = functions[ordinals[i]];
        if (function <= rva && function >= bestRva &&
            !(function >= directory.VirtualAddress && function < directory.VirtualAddress + directory.Size)) {
            bestRva = function;
            best = reinterpret_cast<const char*>(base + names[i]);
        }
    }
    *distance = rva - bestRva;
    return best;
}

std::string Hex(uintptr_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

RemoteCode::RemoteCode(HANDLE process) : process_(process)
{
    Load();
}

void RemoteCode::Load()
{
    modules_.clear();
    HMODULE handles[512];
    DWORD needed = 0;
    if (!EnumProcessModulesEx(process_, handles, sizeof handles, &needed, LIST_MODULES_ALL))
        Fail("EnumProcessModulesEx on the recorder failed, error " + std::to_string(GetLastError()));
    const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), 512);
    for (DWORD i = 0; i < count; ++i) {
        MODULEINFO info{};
        wchar_t name[MAX_PATH]{};
        if (!GetModuleInformation(process_, handles[i], &info, sizeof info) ||
            !GetModuleBaseNameW(process_, handles[i], name, MAX_PATH))
            continue;
        const auto base = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
        modules_.push_back({base, base + info.SizeOfImage, Lower(name)});
    }
}

const RemoteCode::Module* RemoteCode::Find(uintptr_t address) const
{
    for (const Module& module : modules_)
        if (address >= module.base && address < module.end)
            return &module;
    return nullptr;
}

std::string RemoteCode::Describe(uintptr_t address) const
{
    const Module* module = Find(address);
    if (!module) {
        const_cast<RemoteCode*>(this)->Load(); // loaded since the last look
        module = Find(address);
    }
    if (!module)
        return Hex(address);
    uintptr_t distance = 0;
    const std::string name = NearestExport(module->name, address - module->base, &distance);
    return Utf8(module->name) + (name.empty() ? "+" + Hex(address - module->base) : "!" + name + "+" + Hex(distance));
}

bool RemoteCode::InStub(uintptr_t address, const wchar_t* moduleName, const char* name) const
{
    const Module* module = Find(address);
    const HMODULE local = GetModuleHandleW(moduleName);
    const auto stub = local ? reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(local, name))) : 0;
    if (!module || module->name != moduleName || !stub)
        return false;
    // By name, not by the nearest export: an Nt stub shares its address with its Zw twin.
    return address - module->base - (stub - reinterpret_cast<uintptr_t>(local)) < kStubBytes;
}

std::string RemoteCode::Callers(uintptr_t rsp, int count) const
{
    uintptr_t stack[128]{};
    SIZE_T read = 0;
    ReadProcessMemory(process_, reinterpret_cast<const void*>(rsp), stack, sizeof stack, &read);
    std::string out;
    for (size_t i = 0; i < read / sizeof(uintptr_t) && count > 0; ++i) {
        if (!Find(stack[i]))
            continue;
        out += " < " + Describe(stack[i]);
        --count;
    }
    return out;
}

ThreadStaller::ThreadStaller(HANDLE process, DWORD threadId, Where where)
    : code_(process),
      thread_(OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, threadId)),
      where_(where)
{
    if (!thread_)
        Fail("OpenThread on the window thread failed, error " + std::to_string(GetLastError()));
}

ThreadStaller::~ThreadStaller()
{
    CloseHandle(thread_);
}

bool ThreadStaller::AtRest(uintptr_t rip) const
{
    return std::any_of(std::begin(kRestingPlaces), std::end(kRestingPlaces),
                       [&](const auto& place) { return code_.InStub(rip, place.module, place.name); });
}

Suspension ThreadStaller::Suspend(DWORD timeoutMs)
{
    Suspension result;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD tried = GetTickCount();
        if (SuspendThread(thread_) == static_cast<DWORD>(-1))
            Fail("SuspendThread failed, error " + std::to_string(GetLastError()));
        ++result.tries;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        if (!GetThreadContext(thread_, &context))
            Fail("GetThreadContext failed, error " + std::to_string(GetLastError()));
        result.held = code_.Describe(context.Rip);
        if (result.tries == 1)
            result.first = result.held + code_.Callers(context.Rsp, 3);
        if (where_ == Where::Anywhere || AtRest(context.Rip) == (where_ == Where::AtRest))
            break;
        Resume();
        if (GetTickCount() - start > timeoutMs)
            Fail(std::string(where_ == Where::AtRest ? "the window thread never waited in its message loop or a file write"
                                                     : "the window thread was never busy") +
                 " in " + std::to_string(timeoutMs) + " ms; last at " + result.held);
        // A try can keep the thread suspended for tens of milliseconds on a busy machine, maybe
        // holding a lock: it runs at least twice as long before the next, or the tries would add up
        // to a stall of their own inside the lock.
        result.triedMs += GetTickCount() - tried;
        if (where_ == Where::AtRest)
            Sleep(std::max<DWORD>(1, 2 * (GetTickCount() - tried)));
    }
    result.waitedMs = GetTickCount() - start;
    return result;
}

void ThreadStaller::Resume()
{
    if (ResumeThread(thread_) == static_cast<DWORD>(-1))
        Fail("ResumeThread failed, error " + std::to_string(GetLastError()));
}

} // namespace e2e
