#include "platform/system_dll.h"

#include <string>

void RestrictDllSearchToSystem()
{
    // Windows 8 and later, and Windows 7 with KB2533623, have SetDefaultDllDirectories; looked up
    // rather than imported, so a Windows 7 without the update still starts.
    const auto restrict = DllFunction<decltype(SetDefaultDllDirectories)>(GetModuleHandleW(L"kernel32.dll"),
                                                                          "SetDefaultDllDirectories");
    if (restrict && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // Without it the program's folder stays in the search; LoadSystemDll names full paths instead.
    SetDllDirectoryW(L"");
}

HMODULE LoadSystemDll(const wchar_t* name)
{
    if (const HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr; // the flag is understood: the DLL is not in the system folder
    // A system without the search flags: name the file in the system folder.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, length) + L'\\' + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
